#include "control/recordrequest.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include "platform/screenpixels.h"

namespace zelq::control {

namespace {

const QStringList kSoundNames = {QStringLiteral("none"), QStringLiteral("computer"),
                                 QStringLiteral("microphone"), QStringLiteral("both")};

bool positiveInt(const QVariant& value, int most, int& out) {
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok);
    if (!ok || n <= 0 || n > most) return false;
    out = static_cast<int>(n);
    return true;
}

}  // namespace

std::optional<sound::SoundChoice> soundChoiceFromName(const QString& name) {
    const qsizetype i = kSoundNames.indexOf(name.trimmed().toLower());
    if (i < 0) return std::nullopt;
    return static_cast<sound::SoundChoice>(i);
}

QString optionsFromMap(const QVariantMap& map, RecordOptions& options) {
    for (auto it = map.begin(); it != map.end(); ++it) {
        const QString& key = it.key();
        const QVariant& value = it.value();
        if (key == QLatin1String("sound")) {
            options.sound = soundChoiceFromName(value.toString());
            if (!options.sound) return QStringLiteral("声音选项只能是 none、computer、microphone 或 both：%1").arg(value.toString());
        } else if (key == QLatin1String("compressor")) {
            options.compressor = value.toString().trimmed();
            if (options.compressor.isEmpty()) return QStringLiteral("压缩器名称不能为空");
        } else if (key == QLatin1String("interval")) {
            if (!positiveInt(value, 60000, options.intervalMs))
                return QStringLiteral("捕获间隔必须是 1 到 60000 毫秒：%1").arg(value.toString());
        } else if (key == QLatin1String("rate")) {
            if (!positiveInt(value, 1000, options.rate))
                return QStringLiteral("帧率必须是 1 到 1000 帧/秒：%1").arg(value.toString());
        } else if (key == QLatin1String("output")) {
            options.output = value.toString();
            const QString why = checkOutputFolder(options.output);
            if (!why.isEmpty()) return why;
        } else if (key == QLatin1String("duration")) {
            bool ok = false;
            options.durationSeconds = value.toDouble(&ok);
            if (!ok || !(options.durationSeconds > 0) || options.durationSeconds > 86400.0 * 365)
                return QStringLiteral("录像时长必须大于 0 秒：%1").arg(value.toString());
        } else if (key == QLatin1String("countdown")) {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (!ok || n < 0 || n > 3600) return QStringLiteral("倒计时必须是 0 到 3600 秒：%1").arg(value.toString());
            options.countdownSeconds = n;
        } else {
            return QStringLiteral("不认识的录像选项：%1").arg(key);
        }
    }
    return {};
}

QVariantMap optionsToMap(const RecordOptions& options) {
    QVariantMap map;
    if (options.sound) map.insert(QStringLiteral("sound"), kSoundNames.at(static_cast<int>(*options.sound)));
    if (!options.compressor.isEmpty()) map.insert(QStringLiteral("compressor"), options.compressor);
    if (options.intervalMs > 0) map.insert(QStringLiteral("interval"), options.intervalMs);
    if (options.rate > 0) map.insert(QStringLiteral("rate"), options.rate);
    // A relative path means the caller's folder, not the recorder's.
    if (!options.output.isEmpty()) map.insert(QStringLiteral("output"), QFileInfo(options.output).absoluteFilePath());
    if (options.durationSeconds > 0) map.insert(QStringLiteral("duration"), options.durationSeconds);
    if (options.countdownSeconds > 0) map.insert(QStringLiteral("countdown"), options.countdownSeconds);
    return map;
}

QString checkRectangle(const QRect& rect) {
    const QString shown = QStringLiteral("%1,%2,%3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
    if (rect.width() <= 0 || rect.height() <= 0) return QStringLiteral("录像区域的宽和高必须大于 0：%1").arg(shown);
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (toScreenPixels(QRectF(screen->geometry()), pixelScaleOf(screen)).contains(rect)) return {};
    }
    return QStringLiteral("录像区域不在任何一个显示器上：%1").arg(shown);
}

QString checkOutputFolder(const QString& file) {
    if (file.trimmed().isEmpty()) return QStringLiteral("输出文件名不能为空");
    const QFileInfo info(file);
    if (info.isDir()) return QStringLiteral("输出文件是一个文件夹：%1").arg(file);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir()) return QStringLiteral("输出文件的文件夹不存在：%1").arg(folder.filePath());
    if (!folder.isWritable()) return QStringLiteral("输出文件的文件夹不能写入：%1").arg(folder.filePath());
    return {};
}

}  // namespace zelq::control
