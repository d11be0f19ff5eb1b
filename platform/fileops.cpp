#include "fileops.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <thread>

namespace zelq {

bool MoveFileNoReplace(const QString& from, const QString& to) {
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without RENAME_NOREPLACE: link refuses an existing target just the same.
    if (::link(src.constData(), dst.constData()) != 0) return false;
    if (::unlink(src.constData()) != 0) {
        const int why = errno;
        ::unlink(dst.constData());
        errno = why;
        return false;
    }
    return true;
}

bool CreateNewFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

namespace {

// The home trash, made if this user never had one.
QString homeTrash() {
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    QDir().mkpath(trash + QStringLiteral("/files"));
    QDir().mkpath(trash + QStringLiteral("/info"));
    return trash;
}

}  // namespace

bool TrashReaches(const QString& folder) {
    // Only files on the home trash's file system go there: for others Qt 6.4 looks for the volume's own
    // trash and, failing that, makes one in the working folder.
    struct stat place {
    }, trash{};
    return ::stat(QFile::encodeName(folder).constData(), &place) == 0 &&
           ::stat(QFile::encodeName(homeTrash()).constData(), &trash) == 0 && place.st_dev == trash.st_dev;
}

bool MoveToTrash(const QString& path) {
    if (!QFileInfo::exists(path))
        return false;
    if (!TrashReaches(path)) {
        errno = EXDEV;
        return false;
    }
    return QFile::moveToTrash(path);
}

bool TrashOrDelete(const QString& path) {
    return MoveToTrash(path) || QFile::remove(path);
}

QString CreateTemporaryBeside(const QString& path) {
    const QFileInfo target(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate =
            target.absolutePath() + QStringLiteral("/.") + target.fileName() + QLatin1Char('.') +
            QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".part");
        if (CreateNewFile(candidate))
            return candidate;
        if (errno != EEXIST)
            break;
    }
    return {};
}

bool PutInPlace(const QString& temporary, const QString& path) {
    struct stat old {};
    if (::lstat(QFile::encodeName(path).constData(), &old) == 0 && !MoveToTrash(path))
        return false;
    return MoveFileNoReplace(temporary, path);
}

std::optional<FileLock> FileLock::tryLock(const QString& path) {
    // Opening a FIFO for reading waits for a writer that may never come, and opening a device can do
    // anything: only what is a regular file is opened, and O_NONBLOCK covers a swap in between.
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return FileLock(fd);
}

std::optional<FileLock> FileLock::tryLockFor(const QString& path, std::chrono::milliseconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    for (;;) {
        std::optional<FileLock> lock = tryLock(path);
        if (lock || std::chrono::steady_clock::now() >= until) return lock;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool FileLock::isAt(const QString& path) const {
    struct stat locked {}, named{};
    return ::fstat(fd_, &locked) == 0 && ::lstat(QFile::encodeName(path).constData(), &named) == 0 &&
           locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
}

}  // namespace zelq
