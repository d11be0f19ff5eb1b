#include "media/exportnames.h"

#include <QDir>
#include <QFileInfo>
#include <limits>

#include "platform/textnum.h"

namespace zelq {

QString exportTargetPath(const QString& recording, ExportFormat format) {
    const QFileInfo source(recording);
    const QString suffix = exportSuffix(format);
    const QDir folder = source.absoluteDir();
    const QString beside = folder.filePath(source.completeBaseName() + QLatin1Char('.') + suffix);
    if (!QFileInfo::exists(beside) && !QFileInfo(beside).isSymLink())
        return beside;
    long long highest = 0;
    const QStringList names =
        folder.entryList({QStringLiteral("*.") + suffix}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QString stem = name.left(name.size() - suffix.size() - 1);
        if (const auto number = parseInteger64(stem); number && *number > highest)
            highest = *number;
    }
    if (highest == std::numeric_limits<long long>::max())
        highest = 0;
    // The number may still be taken by a file whose stem is not a plain number ("7 copy"): count on.
    for (long long n = highest + 1;; ++n) {
        const QString candidate = folder.filePath(QStringLiteral("%1.%2").arg(n).arg(suffix));
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
    }
}

}  // namespace zelq
