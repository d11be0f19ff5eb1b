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
    }
    if (!value.endsWith(QLatin1Char('/'))) value += QLatin1Char('/');
    root() = value;
}

QString SiteAddress(const QString& path) { return root() + path; }

QString BrowserAddress(const QString& address) {
    // A scheme is letters, digits, "+", "-" or "." after a first letter, then ":/"; "host:8080/x" has
    // a port, not a scheme.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:/"));
    if (address.contains(QStringLiteral("http://")) || scheme.match(address).hasMatch()) return address;
    return QStringLiteral("http://") + address;
}

void OpenUrlInBrowser(const QString& address, const ShellOpener& open) {
    open(DesktopAddress(BrowserAddress(address)));
}

}  // namespace zelq
