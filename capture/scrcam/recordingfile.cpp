#include "capture/scrcam/recordingfile.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <limits>

#include "platform/fileops.h"
#include "platform/textnum.h"

namespace zelq {

namespace {

// Far more than any folder holds; a bound, so that a folder refusing every name cannot loop forever.
constexpr int kMaxTries = 100000;

}  // namespace

QString nextRecordingName(const QString& name) {
    const QFileInfo info(name);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString stem = name.left(name.size() - suffix.size());
    const auto number = parseInteger64(stem);
    if (number && *number >= 0 && *number < std::numeric_limits<long long>::max())
        return QString::number(*number + 1) + suffix;
    static const QRegularExpression numbered(QStringLiteral("^(.*)\\((\\d{1,18})\\)$"));
    const QRegularExpressionMatch m = numbered.match(stem);
    if (m.hasMatch()) return QStringLiteral("%1(%2)%3").arg(m.captured(1)).arg(m.captured(2).toLongLong() + 1).arg(suffix);
    return QStringLiteral("%1(2)%2").arg(stem, suffix);
}

QString claimRecordingFile(const QString& wanted) {
    const QFileInfo info(wanted);
    const QString folder = wanted.left(wanted.size() - info.fileName().size());
    QString name = info.fileName();
    for (int i = 0; i < kMaxTries; ++i) {
        if (CreateNewFile(folder + name)) return folder + name;
        if (errno != EEXIST) return {};
        name = nextRecordingName(name);
    }
    errno = EEXIST;
    return {};
}

}  // namespace zelq
