#include "portalshortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

#include "platform/portalrequest.h"

namespace zelq {

namespace {

const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// One entry of the a(sa{sv}) lists BindShortcuts takes and answers with.
struct Shortcut {
    QString id;
    QVariantMap properties;
};
using ShortcutList = QList<Shortcut>;

QDBusArgument& operator<<(QDBusArgument& arg, const Shortcut& s) {
    arg.beginStructure();
    arg << s.id << s.properties;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, Shortcut& s) {
    arg.beginStructure();
    arg >> s.id >> s.properties;
    arg.endStructure();
    return arg;
}

QString shortcutName(int id) {
    return QStringLiteral("zelq-stop-%1").arg(id);
}

}  // namespace

}  // namespace zelq

Q_DECLARE_METATYPE(zelq::Shortcut)

namespace zelq {

bool PortalShortcuts::offered() {
    static const bool answer = [] {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QLatin1String(kPortalService), QLatin1String(kPortalObject),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call.setArguments({kShortcuts, QStringLiteral("version")});
        return QDBusConnection::sessionBus().call(call).type() == QDBusMessage::ReplyMessage;
    }();
    return answer;
}

PortalShortcuts::PortalShortcuts(QObject* parent) : QObject(parent) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<ShortcutList>();
    QDBusConnection::sessionBus().connect(
        QLatin1String(kPortalService), QLatin1String(kPortalObject), kShortcuts, QStringLiteral("Activated"),
        this, SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

PortalShortcuts::~PortalShortcuts() {
    if (!session_.isEmpty())
        QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(QLatin1String(kPortalService), session_,
                                           QStringLiteral("org.freedesktop.portal.Session"),
                                           QStringLiteral("Close")),
            QDBus::NoBlock);
}

bool PortalShortcuts::request(const QString& method, QVariantList arguments, QVariantMap options,
                              const char* slot) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = nextPortalToken();
    options.insert(QStringLiteral("handle_token"), token);
    requestPath_ = portalRequestPath(token);
    bus.connect(QLatin1String(kPortalService), requestPath_, QLatin1String(kPortalRequest),
                QStringLiteral("Response"), this, slot);
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kPortalService),
                                                       QLatin1String(kPortalObject), kShortcuts, method);
    arguments << options;
    call.setArguments(arguments);
    // Sent without waiting: only the immediate reply is skipped, the answer comes as the signal.
    if (!bus.send(call)) {
        bus.disconnect(QLatin1String(kPortalService), requestPath_, QLatin1String(kPortalRequest),
                       QStringLiteral("Response"), this, slot);
        requestPath_.clear();
        return false;
    }
    return true;
}

void PortalShortcuts::bind(int id, const QString& trigger) {
    if (isBound(id) && bound_.at(id) == trigger)
        return;
    bound_.erase(id);  // another key now: bound only once the desktop agrees to it
    wantedId_ = id;
    wantedTrigger_ = trigger;
    if (!requestPath_.isEmpty())
        return;  // asked when the answer in hand arrives
    if (session_.isEmpty()) {
        if (!sessionAsked_) {
            sessionAsked_ = request(QStringLiteral("CreateSession"), {},
                                    {{QStringLiteral("session_handle_token"), nextPortalToken()}},
                                    SLOT(onSessionCreated(uint, QVariantMap)));
        }
        return;
    }
    sendBind();
}

bool PortalShortcuts::isBound(int id) const {
    return bound_.count(id) != 0;
}

void PortalShortcuts::sendBind() {
    QVariantMap properties{{QStringLiteral("description"), QStringLiteral("停止录像")}};
    if (!wantedTrigger_.isEmpty())
        properties.insert(QStringLiteral("preferred_trigger"), wantedTrigger_);
    sentId_ = wantedId_;
    sentTrigger_ = wantedTrigger_;
    const ShortcutList shortcuts{Shortcut{shortcutName(sentId_), properties}};
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()}, {},
            SLOT(onBound(uint, QVariantMap)));
}

void PortalShortcuts::onSessionCreated(uint response, const QVariantMap& results) {
    QDBusConnection::sessionBus().disconnect(QLatin1String(kPortalService), requestPath_,
                                             QLatin1String(kPortalRequest), QStringLiteral("Response"), this,
                                             SLOT(onSessionCreated(uint, QVariantMap)));
    requestPath_.clear();
    session_ = response == 0 ? results.value(QStringLiteral("session_handle")).toString() : QString();
    // Refused: not asked again in this run, as a refused key is not grabbed again on X11 either.
    if (!session_.isEmpty())
        sendBind();
}

void PortalShortcuts::onBound(uint response, const QVariantMap& results) {
    QDBusConnection::sessionBus().disconnect(QLatin1String(kPortalService), requestPath_,
                                             QLatin1String(kPortalRequest), QStringLiteral("Response"), this,
                                             SLOT(onBound(uint, QVariantMap)));
    requestPath_.clear();
    bound_.clear();
    if (response == 0) {
        // The desktop lists what it bound: the user may have left the shortcut out.
        ShortcutList shortcuts;
        const QVariant listed = results.value(QStringLiteral("shortcuts"));
        if (listed.canConvert<QDBusArgument>())
            listed.value<QDBusArgument>() >> shortcuts;
        for (const Shortcut& s : shortcuts)
            if (s.id == shortcutName(sentId_))
                bound_[sentId_] = sentTrigger_;
    }
    // Another key was wished for while the desktop answered.
    if (wantedId_ != sentId_ || wantedTrigger_ != sentTrigger_)
        sendBind();
}

void PortalShortcuts::onActivated(const QDBusObjectPath& session, const QString& shortcut, qulonglong,
                                  const QVariantMap&) {
    if (session.path() != session_)
        return;
    for (const auto& [id, trigger] : bound_)
        if (shortcut == shortcutName(id))
            emit activated(id);
}

}  // namespace zelq
