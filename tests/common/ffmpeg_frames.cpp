#include "common/ffmpeg_frames.h"

#include <QProcess>

namespace zelq::test {

QImage lastFrameByFfmpeg(const QString& path, int width, int height) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    if (!ffmpeg.waitForFinished(60000)) return {};
    const QByteArray all = ffmpeg.readAllStandardOutput();
    const qsizetype frame = qsizetype(width) * height * 3;
    if (all.size() < frame || all.size() % frame != 0) return {};
    return QImage(reinterpret_cast<const uchar*>(all.constData() + all.size() - frame), width, height, width * 3,
                  QImage::Format_RGB888)
        .copy();
}

}  // namespace zelq::test
