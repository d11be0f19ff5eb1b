#include "web/sitelinks.h"

#include <QDir>
#include <QRegularExpression>
#include <QUrl>

#include "web/bundledsite.h"

namespace zelq {

namespace {

QString& root() {
    static QString value = QString::fromLatin1(kBundledSiteRoot);
    return value;
}

}  // namespace

QString SiteRoot() { return root(); }

void SetSiteRoot(const QString& given) {
    QString value = given.trimmed();
    if (value.isEmpty()) {
        value = QString::fromLatin1(kBundledSiteRoot);
    } else if (QDir::isAbsolutePath(value) && !value.startsWith(QStringLiteral("//"))) {
        value = QUrl::fromLocalFile(value).toString();
    } else {
        // "127.0.0.1:8765" is a web address as the user means it; the browser would take it for nothing.
        value = BrowserAddress(value);
    }
    if (!value.endsWith(QLatin1Char('/'))) value += QLatin1Char('/');
    root() = value;
}

QString SiteAddress(const QString& path) {
    return folderPage(root() + path);
}

QString folderPage(const QString& address) {
    // A web server answers a folder with its index page; a browser shows a local folder as a listing.
    if (address.startsWith(QStringLiteral("file:")) && address.endsWith(QLatin1Char('/')))
        return address + QStringLiteral("index.html");
    return address;
}

QString BrowserAddress(const QString& address) {
    // A scheme is letters, digits, "+", "-" or "." after a first letter, then ":/"; "host:8080/x" has
    // a port, not a scheme.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:/"));
    if (address.contains(QStringLiteral("http://")) || scheme.match(address).hasMatch()) return address;
    return QStringLiteral("http://") + address;
}

void OpenUrlInBrowser(const QString& address, const ShellOpener& open) {
    open(DesktopAddress(folderPage(BrowserAddress(address))));
}

}  // namespace zelq
