#include "platform/tilingipc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>

namespace zelq {

namespace {

// Every message, both ways: the magic, the payload's length and the message type, in the machine's own
// byte order.
constexpr char kMagic[] = "i3-ipc";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;
constexpr std::size_t kHeaderSize = kMagicSize + 2 * sizeof(std::uint32_t);
constexpr std::uint32_t kRunCommand = 0;
// A window manager that does not answer within this is treated as one that refused.
constexpr int kAnswerMs = 2000;

class SocketFd {
public:
    SocketFd() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~SocketFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SocketFd(const SocketFd&) = delete;
    SocketFd& operator=(const SocketFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool isSocket(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// Waits for the socket to be ready for `events` within what is left of the answer time.
bool ready(int fd, short events, const QElapsedTimer& since) {
    const qint64 left = kAnswerMs - since.elapsed();
    if (left <= 0)
        return false;
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, static_cast<int>(left));
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & events);
}

bool sendAll(int fd, const QByteArray& bytes, const QElapsedTimer& since) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        if (!ready(fd, POLLOUT, since))
            return false;
        const ssize_t n =
            ::send(fd, bytes.constData() + sent, static_cast<std::size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

bool receiveAll(int fd, char* into, std::size_t size, const QElapsedTimer& since) {
    std::size_t got = 0;
    while (got < size) {
        if (!ready(fd, POLLIN, since))
            return false;
        const ssize_t n = ::recv(fd, into + got, size - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// The answer to a command list: one object a command, {"success": false, "error": …} for a failed one.
QString failureIn(const QByteArray& answer) {
    const QJsonDocument doc = QJsonDocument::fromJson(answer);
    if (!doc.isArray() || doc.array().isEmpty())
        return QStringLiteral("the window manager's answer makes no sense");
    for (const QJsonValue& result : doc.array()) {
        const QJsonObject o = result.toObject();
        if (!o.value(QStringLiteral("success")).toBool()) {
            const QString error = o.value(QStringLiteral("error")).toString();
            return error.isEmpty() ? QStringLiteral("a command failed") : error;
        }
    }
    return {};
}

}  // namespace

QString tilingIpcSocket() {
    for (const char* name : {"SWAYSOCK", "I3SOCK"}) {
        const QString path = qEnvironmentVariable(name);
        if (isSocket(path))
            return path;
    }
    return {};
}

QString runTilingCommand(const QString& socket, const QString& command) {
    SocketFd fd;
    if (fd.get() < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socket);
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path)
        return QStringLiteral("no usable socket");
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));

    const QByteArray payload = command.toUtf8();
    QByteArray message(kMagic, kMagicSize);
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), sizeof length);
    message.append(reinterpret_cast<const char*>(&kRunCommand), sizeof kRunCommand);
    message.append(payload);
    QElapsedTimer since;
    since.start();
    if (!sendAll(fd.get(), message, since))
        return QStringLiteral("the window manager took no command");

    char header[kHeaderSize];
    if (!receiveAll(fd.get(), header, kHeaderSize, since) || std::memcmp(header, kMagic, kMagicSize) != 0)
        return QStringLiteral("the window manager did not answer");
    std::uint32_t answerLength = 0;
    std::memcpy(&answerLength, header + kMagicSize, sizeof answerLength);
    // An answer to a few commands is a few hundred bytes; anything near this is not an answer.
    if (answerLength > (1u << 20))
        return QStringLiteral("the window manager's answer makes no sense");
    QByteArray answer(static_cast<qsizetype>(answerLength), Qt::Uninitialized);
    if (!receiveAll(fd.get(), answer.data(), answerLength, since))
        return QStringLiteral("the window manager did not answer");
    return failureIn(answer);
}

QString floatWindowCommand(std::uint32_t windowId, const QRect& bounds) {
    // "px" is understood by both; i3 would take a bare number for a share of the screen in some commands.
    return QStringLiteral(
               "[id=%1] floating enable, border none, resize set %2 px %3 px, "
               "move absolute position %4 px %5 px")
        .arg(windowId)
        .arg(bounds.width())
        .arg(bounds.height())
        .arg(bounds.x())
        .arg(bounds.y());
}

}  // namespace zelq
