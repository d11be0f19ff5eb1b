#include "app/picturekeeper.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace zelq {

PictureKeeper::PictureKeeper() = default;
PictureKeeper::~PictureKeeper() = default;  // QTemporaryDir removes the folder with what is left in it

QString PictureKeeper::keep(const QString& file) {
    if (!dir_) {
        // Beside the user's own files (the cache under the home folder), so that hard links usually work.
        const QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QDir().mkpath(base);
        auto dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/pictures-XXXXXX"));
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
