#include "shellopen.h"

#include <QDesktopServices>
#include <QUrl>

namespace zelq {

void ShellOpen(const QString& target) {
    const QUrl url = target.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(target) : QUrl(target);
    QDesktopServices::openUrl(url);
}

}  // namespace zelq
