#include "web/bundledsite.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace zelq {

namespace {

QByteArray schemeName() { return QByteArrayLiteral("zelq-site"); }

// The resource (or copied file) behind a path of the site, relative to the site's top folder; empty for
// a path that climbs out of the site.
QString sitePath(const QString& urlPath) {
    QString path = QDir::cleanPath(QStringLiteral("/") + urlPath);
    if (path.split(QLatin1Char('/')).contains(QStringLiteral(".."))) return {};
    if (urlPath.isEmpty() || urlPath.endsWith(QLatin1Char('/'))) path += QStringLiteral("/index.html");
    return QDir::cleanPath(path).mid(1);
}

class BundledSiteHandler final : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QString path = sitePath(job->requestUrl().path());
        QFile file(QStringLiteral(":/site/") + path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        // The job owns the buffer, so the bytes live as long as the engine reads them.
        auto* body = new QBuffer(job);
        body->setData(file.readAll());
        body->open(QIODevice::ReadOnly);
        const QString mime = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
        job->reply(mime.toUtf8(), body);
    }
};

// Copies the site into the cache folder each time, so that the copy always matches this program.
QString exportSite() {
    const QString top = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                        QStringLiteral("/zelq-screenrec/site");
    QDirIterator it(QStringLiteral(":/site"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString resource = it.next();
        const QString target = top + resource.mid(QStringLiteral(":/site").size());
        QDir().mkpath(QFileInfo(target).path());
        QFile::remove(target);
        QFile::copy(resource, target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return top;
}

}  // namespace

void registerBundledSiteScheme() {
    QWebEngineUrlScheme scheme(schemeName());
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    // Pages of our own: a secure context like https, free of the mixed-content rules.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

void installBundledSite() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    profile->installUrlSchemeHandler(schemeName(), new BundledSiteHandler(profile));
}

QString DesktopAddress(const QString& address) {
    const QString root = QString::fromLatin1(kBundledSiteRoot);
    if (!address.startsWith(root)) return address;
    const QString path = sitePath(QUrl(address).path());
    if (path.isEmpty()) return address;
    return QUrl::fromLocalFile(exportSite() + QLatin1Char('/') + path).toString();
}

}  // namespace zelq
