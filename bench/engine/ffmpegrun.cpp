#include "ffmpegrun.h"

#include <QRegularExpression>

#include "bench/engine/childprocess.h"

namespace zelq::bench {

namespace {

int field(const QString& line, const QString& name) {
    const QRegularExpression re(QStringLiteral("\\b%1=\\s*(\\d+)").arg(name));
    const QRegularExpressionMatch m = re.match(line);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

}  // namespace

bool parseProgress(const QString& messages, FfmpegRecording& into) {
    // Progress lines end in a carriage return, the final one in a newline; the last "frame=" starts it.
    const qsizetype at = messages.lastIndexOf(QStringLiteral("frame="));
    if (at < 0)
        return false;
    QString line = messages.mid(at);
    line = line.left(line.indexOf(QRegularExpression(QStringLiteral("[\r\n]"))));
    into.frames = field(line, QStringLiteral("frame"));
    into.dup = field(line, QStringLiteral("dup"));
    into.drop = field(line, QStringLiteral("drop"));
    return true;
}

FfmpegRecording recordWithFfmpeg(const QStringList& codecArgs, int seconds, const QString& file,
                                 const QString& scratchFolder) {
    QStringList args{QStringLiteral("-hide_banner"),  QStringLiteral("-nostdin"),   QStringLiteral("-f"),
                     QStringLiteral("x11grab"),       QStringLiteral("-framerate"), QStringLiteral("10"),
                     QStringLiteral("-video_size"),   QStringLiteral("1920x1080"),  QStringLiteral("-i"),
                     qEnvironmentVariable("DISPLAY"), QStringLiteral("-t"),         QString::number(seconds)};
    args << codecArgs << QStringLiteral("-y") << file;
    const ChildRun run = runChild(QStringLiteral("ffmpeg"), args, scratchFolder);
    FfmpegRecording result;
    result.cpuSeconds = run.cpuSeconds;
    result.wallSeconds = run.wallSeconds;
    const QString messages = QString::fromLocal8Bit(run.errors);
    result.ok = run.exitCode == 0 && parseProgress(messages, result);
    if (!result.ok)
        result.failure = run.started ? messages.right(400).trimmed() : QStringLiteral("ffmpeg not found");
    return result;
}

Probe probeRecording(const QString& file, const QString& scratchFolder) {
    const ChildRun run =
        runChild(QStringLiteral("ffprobe"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                  QStringLiteral("v:0"), QStringLiteral("-count_packets"), QStringLiteral("-show_entries"),
                  QStringLiteral("stream=codec_name,nb_frames,nb_read_packets"), QStringLiteral("-of"),
                  QStringLiteral("default=noprint_wrappers=1"), file},
                 scratchFolder);
    Probe probe;
    if (run.exitCode != 0)
        return probe;
    for (const QString& line : QString::fromLocal8Bit(run.output).split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const QString value = line.section(QLatin1Char('='), 1).trimmed();
        if (key == QLatin1String("codec_name"))
            probe.codec = value;
        if (key == QLatin1String("nb_frames"))
            probe.length = value.toLongLong();
        if (key == QLatin1String("nb_read_packets"))
            probe.packets = value.toLongLong();
    }
    probe.ok = !probe.codec.isEmpty();
    return probe;
}

}  // namespace zelq::bench
