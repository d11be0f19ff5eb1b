#include "portalsession.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTimer>

#include "platform/portalrequest.h"

namespace zelq {

namespace {

const QString kService = QLatin1String(kPortalService);
const QString kObject = QLatin1String(kPortalObject);
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
constexpr uint kSourceMonitor = 1;
constexpr uint kCursorHidden = 1;
constexpr uint kCursorEmbedded = 2;
constexpr uint kPersistUntilRevoked = 2;
// Response codes of org.freedesktop.portal.Request.
constexpr uint kResponseSuccess = 0;
constexpr uint kResponseCancelled = 1;

// Receives the Response signal of one request on the thread that waits for it.
class ResponseWaiter final : public QObject {
    Q_OBJECT
public:
    bool answered = false;
    uint response = 2;
    QVariantMap results;
public slots:
    void onResponse(uint code, const QVariantMap& values) {
        answered = true;
        response = code;
        results = values;
    }
};

// A question the user had not answered when the recording was stopped. Taking it away (Request.Close), or
// closing its session under it, kills GNOME 43's portal backend; so it is left for the user to answer or
// cancel, and the answer is dropped when it comes: then the session, if there is one, is closed.
// Lives on the application's thread, which outlives the recording's worker; deletes itself.
class UnansweredQuestion final : public QObject {
    Q_OBJECT
public:
    UnansweredQuestion(const QString& request, const QString& session) : request_(request), session_(session) {
        moveToThread(QCoreApplication::instance()->thread());
        QDBusConnection::sessionBus().connect(kService, request_, QLatin1String(kPortalRequest),
                                              QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
    }
public slots:
    void onResponse(uint, const QVariantMap& results) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.disconnect(kService, request_, QLatin1String(kPortalRequest), QStringLiteral("Response"), this,
                       SLOT(onResponse(uint, QVariantMap)));
        // A question of CreateSession brings its session only with the answer.
        const QString session =
            session_.isEmpty() ? results.value(QStringLiteral("session_handle")).toString() : session_;
        if (!session.isEmpty())
            bus.call(QDBusMessage::createMethodCall(kService, session, QStringLiteral("org.freedesktop.portal.Session"),
                                                    QStringLiteral("Close")),
                     QDBus::NoBlock);
        deleteLater();
    }

private:
    const QString request_;
    const QString session_;
};

struct Answer {
    bool answered = false;  // false: the call failed, or the wait was given up
    bool leftOpen = false;  // given up while the desktop asked: the question, and the session, are left to it
    uint response = 2;
    QVariantMap results;
    QString callError;  // the D-Bus error of a call that failed outright
};

bool connectResponse(QDBusConnection& bus, const QString& path, ResponseWaiter& waiter, bool on) {
    const QString iface = QLatin1String(kPortalRequest);
    const QString name = QStringLiteral("Response");
    const char* slot = SLOT(onResponse(uint, QVariantMap));
    return on ? bus.connect(kService, path, iface, name, &waiter, slot)
              : bus.disconnect(kService, path, iface, name, &waiter, slot);
}

// Calls a ScreenCast method whose answer comes as a Response signal, and waits for that signal while
// keepWaiting() is true. The handle token is added to the options (the last argument). `session` is the
// session the request belongs to (empty for CreateSession).
Answer request(const QString& method, QVariantList arguments, QVariantMap options,
               const std::function<bool()>& keepWaiting, const QString& session = {}) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = nextPortalToken();
    options.insert(QStringLiteral("handle_token"), token);
    QString path = portalRequestPath(token);
    ResponseWaiter waiter;
    connectResponse(bus, path, waiter, true);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kObject, kScreenCast, method);
    arguments << options;
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call);
    Answer answer;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        connectResponse(bus, path, waiter, false);
        answer.callError = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
        return answer;
    }
    // Portals older than the predictable path answer on a path of their own choosing.
    const QString returned = qdbus_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
    if (!returned.isEmpty() && returned != path) {
        connectResponse(bus, path, waiter, false);
        path = returned;
        connectResponse(bus, path, waiter, true);
    }
    // The user may take minutes to answer; the tick lets a stop end the wait within a tenth of a second.
    QTimer tick;
    tick.start(100);
    while (!waiter.answered && keepWaiting()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    connectResponse(bus, path, waiter, false);
    if (!waiter.answered) {
        answer.response = kResponseCancelled;
        if (QCoreApplication::instance()) {
            new UnansweredQuestion(path, session);
            answer.leftOpen = true;
        } else {
            // Nothing would be left to take the answer: the desktop takes its question away.
            bus.call(QDBusMessage::createMethodCall(kService, path, QLatin1String(kPortalRequest),
                                                    QStringLiteral("Close")));
        }
        return answer;
    }
    answer.answered = true;
    answer.response = waiter.response;
    answer.results = waiter.results;
    return answer;
}

// A property of the ScreenCast interface; an invalid variant with `error` set when it cannot be read.
QVariant screenCastProperty(const QString& name, QString* errorName) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kObject, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call.setArguments({kScreenCast, name});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (errorName)
            *errorName = reply.errorName();
        return {};
    }
    return qdbus_cast<QDBusVariant>(reply.arguments().value(0)).variant();
}

// Reads an (ii) pair of the stream properties.
bool readPair(const QVariant& value, int& a, int& b) {
    if (!value.canConvert<QDBusArgument>())
        return false;
    const QDBusArgument arg = value.value<QDBusArgument>();
    arg.beginStructure();
    arg >> a >> b;
    arg.endStructure();
    return true;
}

QString readToken() {
    QFile file(PortalSession::restoreTokenPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

void writeToken(const QString& token) {
    const QString path = PortalSession::restoreTokenPath();
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(token.toUtf8());
        file.commit();
    }
}

// Why a request did not succeed, in words for the user; empty when it did.
QString refusal(const Answer& answer) {
    if (!answer.callError.isEmpty())
        return QStringLiteral("桌面没能开始屏幕共享：%1").arg(answer.callError);
    if (answer.answered && answer.response == kResponseSuccess)
        return {};
    return answer.response == kResponseCancelled
               ? QStringLiteral("没有得到录制屏幕的许可（已取消），录像没有开始。")
               : QStringLiteral("桌面拒绝了录制屏幕的请求，录像没有开始。");
}

// Takes a request's outcome: false, with `error` saying why, when it did not succeed. A session whose
// question is left open now belongs to that question (closed when its answer comes, not before).
bool settle(const Answer& answer, QString& error, QString& session) {
    error = refusal(answer);
    if (answer.leftOpen)
        session.clear();
    return error.isEmpty();
}

}  // namespace

QString PortalSession::restoreTokenPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/zelq-screenrec/screencast-restore-token");
}

PortalSession::~PortalSession() {
    close();
    if (fd_ >= 0)
        ::close(fd_);
}

int PortalSession::takePipeWireFd() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void PortalSession::close() {
    if (sessionHandle_.isEmpty())
        return;
    QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        kService, sessionHandle_, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")));
    sessionHandle_.clear();
}

bool PortalSession::open(const std::function<bool()>& keepWaiting) {
    if (!QDBusConnection::sessionBus().isConnected()) {
        error_ = QStringLiteral("连接不上桌面的会话总线（D-Bus），无法在 Wayland 桌面上录像。");
        return false;
    }
    QString errorName;
    const QVariant version = screenCastProperty(QStringLiteral("version"), &errorName);
    if (!version.isValid()) {
        // The portal answered that it has no such interface; anything else (no such service, no answer,
        // a portal that went away while asked) is a portal not there to ask.
        const bool noScreenCast = errorName == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs") ||
                                  errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
                                  errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownProperty");
        error_ =
            noScreenCast
                ? QStringLiteral(
                      "桌面的屏幕共享服务不提供录制屏幕的功能（ScreenCast），无法在 Wayland 桌面上录像。")
                : QStringLiteral(
                      "找不到桌面的屏幕共享服务（xdg-desktop-portal），无法在 Wayland 桌面上录像。");
        return false;
    }
    const uint types = screenCastProperty(QStringLiteral("AvailableSourceTypes"), nullptr).toUInt();
    if (!(types & kSourceMonitor)) {
        error_ = QStringLiteral("桌面的屏幕共享服务不能共享整个显示器，无法录像。");
        return false;
    }
    const uint cursorModes = screenCastProperty(QStringLiteral("AvailableCursorModes"), nullptr).toUInt();
    pointerEmbedded_ = cursorModes & kCursorEmbedded;

    const Answer created =
        request(QStringLiteral("CreateSession"), {},
                {{QStringLiteral("session_handle_token"), nextPortalToken()}}, keepWaiting);
    if (!settle(created, error_, sessionHandle_))
        return false;
    sessionHandle_ = created.results.value(QStringLiteral("session_handle")).toString();
    const QDBusObjectPath session(sessionHandle_);

    QVariantMap select{{QStringLiteral("types"), QVariant::fromValue(kSourceMonitor)},
                       {QStringLiteral("multiple"), false},
                       {QStringLiteral("cursor_mode"),
                        QVariant::fromValue(pointerEmbedded_ ? kCursorEmbedded : kCursorHidden)}};
    // Version 4 remembers the user's answer: asked once, then restored from the token.
    const bool persists = version.toUInt() >= 4;
    if (persists) {
        select.insert(QStringLiteral("persist_mode"), QVariant::fromValue(kPersistUntilRevoked));
        const QString token = readToken();
        if (!token.isEmpty())
            select.insert(QStringLiteral("restore_token"), token);
    }
    const Answer selected = request(QStringLiteral("SelectSources"), {QVariant::fromValue(session)}, select,
                                    keepWaiting, sessionHandle_);
    if (!settle(selected, error_, sessionHandle_))
        return false;
    const Answer started = request(QStringLiteral("Start"), {QVariant::fromValue(session), QString()}, {},
                                   keepWaiting, sessionHandle_);
    if (!settle(started, error_, sessionHandle_))
        return false;
    if (persists && started.results.contains(QStringLiteral("restore_token")))
        writeToken(started.results.value(QStringLiteral("restore_token")).toString());

    // One monitor was asked for: the first stream is it.
    bool haveStream = false;
    const QVariant streams = started.results.value(QStringLiteral("streams"));
    if (streams.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = streams.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            uint node = 0;
            QVariantMap properties;
            arg.beginStructure();
            arg >> node >> properties;
            arg.endStructure();
            if (haveStream)
                continue;
            haveStream = true;
            nodeId_ = node;
            int x = 0, y = 0, w = 0, h = 0;
            if (readPair(properties.value(QStringLiteral("position")), x, y))
                position_ = QPoint(x, y);
            if (readPair(properties.value(QStringLiteral("size")), w, h) && w > 0 && h > 0)
                logicalSize_ = QSize(w, h);
        }
        arg.endArray();
    }
    if (!haveStream) {
        error_ = QStringLiteral("桌面没有给出显示器的画面，录像没有开始。");
        return false;
    }

    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kObject, kScreenCast, QStringLiteral("OpenPipeWireRemote"));
    call.setArguments({QVariant::fromValue(session), QVariantMap()});
    const QDBusMessage remote = QDBusConnection::sessionBus().call(call);
    const QDBusUnixFileDescriptor fd = qdbus_cast<QDBusUnixFileDescriptor>(remote.arguments().value(0));
    // The descriptor object closes its own copy; PipeWire takes ours.
    fd_ = remote.type() == QDBusMessage::ReplyMessage && fd.isValid()
              ? ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0)
              : -1;
    if (fd_ < 0) {
        error_ = QStringLiteral("无法连接屏幕画面流（PipeWire），录像没有开始。");
        return false;
    }
    return true;
}

}  // namespace zelq

#include "portalsession.moc"
