#include "fileops.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
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

}  // namespace zelq
