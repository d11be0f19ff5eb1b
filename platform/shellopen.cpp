#include "shellopen.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace zelq {

bool IsDesktopTarget(const QString& target) {
    if (target.startsWith(QLatin1Char('/')))
        return true;
    const QUrl url(target, QUrl::StrictMode);
    // One letter before the colon is a Windows drive ("D:\Rec"), which is no address here.
    return url.isValid() && url.scheme().size() > 1 && !url.isRelative();
}

bool ShellOpen(const QString& target) {
    if (!IsDesktopTarget(target))
        return false;
    const QUrl url =
        target.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(QDir::cleanPath(target)) : QUrl(target);
    QDesktopServices::openUrl(url);
    return true;
}

}  // namespace zelq
