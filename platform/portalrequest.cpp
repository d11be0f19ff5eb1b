#include "portalrequest.h"

#include <unistd.h>

#include <QDBusConnection>
#include <atomic>

namespace zelq {

QString nextPortalToken() {
    static std::atomic<int> counter{0};
    return QStringLiteral("zelq%1_%2").arg(::getpid()).arg(++counter);
}

QString portalRequestPath(const QString& token) {
    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

}  // namespace zelq
