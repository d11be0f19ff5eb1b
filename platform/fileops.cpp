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
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return FileLock(fd);
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
}

}  // namespace zelq
