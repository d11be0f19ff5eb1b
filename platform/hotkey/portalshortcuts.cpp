#include "portalshortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <utility>

#include "platform/portalrequest.h"

namespace zelq {

namespace {

const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// One entry of the a(sa{sv}) lists the portal takes and answers with.
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

// The stop key as the portal is asked for it.
ShortcutList stopShortcut(int id, const QString& trigger) {
    QVariantMap properties{{QStringLiteral("description"), QStringLiteral("停止录像")}};
    if (!trigger.isEmpty())
        properties.insert(QStringLiteral("preferred_trigger"), trigger);
    return {Shortcut{shortcutName(id), properties}};
}

QDBusMessage portalCall(const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(QLatin1String(kPortalService), QLatin1String(kPortalObject), interface,
                                          method);
}

}  // namespace

}  // namespace zelq

Q_DECLARE_METATYPE(zelq::Shortcut)

namespace zelq {

PortalShortcuts::PortalShortcuts(QObject* parent) : QObject(parent) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<ShortcutList>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(QLatin1String(kPortalService), QLatin1String(kPortalObject), kShortcuts, QStringLiteral("Activated"),
                this, SLOT(onActivated(QDBusMessage)));
    // The portal answers this itself; but a portal busy with a backend that does not answer would hold a
    // recording's start for as long as D-Bus waits, so the answer is taken when it comes.
    QDBusMessage call = portalCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call.setArguments({kShortcuts, QStringLiteral("version")});
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &PortalShortcuts::onOffered);
}

PortalShortcuts::~PortalShortcuts() {
    closeSession();
}

void PortalShortcuts::onOffered(QDBusPendingCallWatcher* reply) {
    reply->deleteLater();
    offer_ = reply->isError() ? Offer::No : Offer::Yes;
    if (offer_ == Offer::Yes && wantedId_ != 0 && requestPath_.isEmpty())
        openSession();
}

void PortalShortcuts::closeSession() {
    if (session_.isEmpty())
        return;
    QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(QLatin1String(kPortalService), session_,
                                       QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")),
        QDBus::NoBlock);
    session_.clear();
}

void PortalShortcuts::request(const QString& method, QVariantList arguments, QVariantMap options, Answer answer) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = nextPortalToken();
    options.insert(QStringLiteral("handle_token"), token);
    requestPath_ = portalRequestPath(token);
    answer_ = answer;
    bus.connect(QLatin1String(kPortalService), requestPath_, QLatin1String(kPortalRequest), QStringLiteral("Response"),
                this, SLOT(onResponse(uint, QVariantMap)));
    QDBusMessage call = portalCall(kShortcuts, method);
    arguments << options;
    call.setArguments(arguments);
    // The immediate reply only says the request was taken; the answer comes as the signal. A backend that
    // is missing or broken fails the call itself, and no signal ever comes.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    const QString path = requestPath_;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path](QDBusPendingCallWatcher* reply) {
        reply->deleteLater();
        if (reply->isError() && requestPath_ == path)
            onResponse(2, {});
    });
}

void PortalShortcuts::onResponse(uint response, const QVariantMap& results) {
    QDBusConnection::sessionBus().disconnect(QLatin1String(kPortalService), requestPath_,
                                             QLatin1String(kPortalRequest), QStringLiteral("Response"), this,
                                             SLOT(onResponse(uint, QVariantMap)));
    requestPath_.clear();
    if (const Answer answer = std::exchange(answer_, nullptr))
        (this->*answer)(response, results);
}

void PortalShortcuts::bind(int id, const QString& trigger) {
    const bool same = id == sentId_ && trigger == sentTrigger_;
    if (same && (isBound(id) || refused_))
        return;
    wantedId_ = id;
    wantedTrigger_ = trigger;
    // Asked when the portal's presence, or the answer in hand, arrives.
    if (offer_ == Offer::Yes && requestPath_.isEmpty())
        openSession();
}

bool PortalShortcuts::isBound(int id) const {
    return bound_.count(id) != 0;
}

PortalShortcuts::Standing PortalShortcuts::standing() const {
    if (offer_ == Offer::No)
        return Standing::NotOffered;
    if (!requestPath_.isEmpty() || offer_ == Offer::Unknown)
        return Standing::Asking;
    if (isBound(wantedId_))
        return Standing::Bound;
    return refused_ ? Standing::Refused : Standing::Asking;
}

void PortalShortcuts::openSession() {
    closeSession();
    bound_.clear();
    refused_ = false;
    sentId_ = wantedId_;
    sentTrigger_ = wantedTrigger_;
    const ShortcutList shortcuts = stopShortcut(sentId_, sentTrigger_);
    request(QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), nextPortalToken()},
             {QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts)}},
            &PortalShortcuts::onSessionCreated);
}

void PortalShortcuts::onSessionCreated(uint response, const QVariantMap& results) {
    session_ = response == 0 ? results.value(QStringLiteral("session_handle")).toString() : QString();
    if (session_.isEmpty()) {
        settle(false);
        return;
    }
    request(QStringLiteral("ListShortcuts"), {QVariant::fromValue(QDBusObjectPath(session_))}, {},
            &PortalShortcuts::onListed);
}

void PortalShortcuts::onListed(uint response, const QVariantMap& results) {
    if (listsSent(response, results)) {
        settle(true);
        return;
    }
    const ShortcutList shortcuts = stopShortcut(sentId_, sentTrigger_);
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()}, {},
            &PortalShortcuts::onBound);
}

void PortalShortcuts::onBound(uint response, const QVariantMap& results) {
    // The desktop lists what it bound: the user may have left the shortcut out.
    settle(listsSent(response, results));
}

bool PortalShortcuts::listsSent(uint response, const QVariantMap& results) const {
    if (response != 0)
        return false;
    ShortcutList shortcuts;
    const QVariant listed = results.value(QStringLiteral("shortcuts"));
    if (listed.canConvert<QDBusArgument>())
        listed.value<QDBusArgument>() >> shortcuts;
    for (const Shortcut& s : shortcuts)
        if (s.id == shortcutName(sentId_))
            return true;
    return false;
}

void PortalShortcuts::settle(bool bound) {
    if (bound)
        bound_[sentId_] = sentTrigger_;
    refused_ = !bound;
    // Another key was wished for while the desktop answered.
    if (wantedId_ != sentId_ || wantedTrigger_ != sentTrigger_)
        openSession();
}

void PortalShortcuts::onActivated(const QDBusMessage& message) {
    // Activated(o session, s shortcut, t timestamp, a{sv} options): read by hand, since QtDBus does not
    // match the signal to a slot of those types.
    const QVariantList args = message.arguments();
    if (args.size() < 2 || args[0].value<QDBusObjectPath>().path() != session_ || session_.isEmpty())
        return;
    const QString shortcut = args[1].toString();
    for (const auto& [id, trigger] : bound_)
        if (shortcut == shortcutName(id))
            emit activated(id);
}

}  // namespace zelq
