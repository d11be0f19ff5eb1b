#include "app/picturekeeper.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace zelq {

PictureKeeper::PictureKeeper() = default;
PictureKeeper::~PictureKeeper() = default;  // QTemporaryDir removes the folder with what is left in it

namespace {

// Folders left by a run that ended without cleaning up (a crash, a power cut): named after a process
// that no longer exists.
void removeAbandoned(const QString& base) {
    const QStringList folders =
        QDir(base).entryList({QStringLiteral("pictures-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : folders) {
        const QString pid = name.section(QLatin1Char('-'), 1, 1);
        if (!pid.isEmpty() && !QFileInfo::exists(QStringLiteral("/proc/") + pid))
            QDir(base + QLatin1Char('/') + name).removeRecursively();
    }
}

}  // namespace

QString PictureKeeper::keep(const QString& file) {
    if (!dir_) {
        // Beside the user's own files (the cache under the home folder), so that hard links usually work.
        const QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QDir().mkpath(base);
        removeAbandoned(base);
        auto dir = std::make_unique<QTemporaryDir>(
            QStringLiteral("%1/pictures-%2-XXXXXX").arg(base).arg(QCoreApplication::applicationPid()));
        if (!dir->isValid())
            return {};
        dir_ = std::move(dir);
    }
    const QString kept = dir_->filePath(QString::number(++next_) + QStringLiteral(".bmp"));
    if (::link(QFile::encodeName(file).constData(), QFile::encodeName(kept).constData()) == 0)
        return kept;
    // Another file system (or one without hard links): the bytes are copied once.
    return QFile::copy(file, kept) ? kept : QString();
}

}  // namespace zelq
