// engine_bench: what the capture engine costs when it records a moving 1920x1080 screen, beside ffmpeg's
// x11grab recording the same screen with the same codec in the same run.
//
// 1. One frame: the median time of a raw grab (ScreenGrabber) and of TScreenCam::GrabFrame (grab, arrow,
//    conversion to a DIB), with GrabFrame's steps, beside a memcpy of the same 8 MB.
// 2. For each of the first four compressors of the engine's catalogue: a recording at the engine's
//    defaults, then ffmpeg with the same codec and ffmpeg's own settings, then ffmpeg with the settings
//    the engine gives that codec; frames, skipped positions, dup/drop, CPU seconds, size, ffprobe's count,
//    and the ratios ours/ffmpeg.
// The screen is kept moving by engine_pattern, a child process, so its drawing is counted for neither.
//
// Usage (under scripts/xsession.sh): engine_bench [seconds per recording, default 10]
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/engine/answeringdialogs.h"
#include "bench/engine/grabfigures.h"
#include "bench/engine/patternprocess.h"
#include "bench/engine/recordingtable.h"
#include "capture/scrcam/scrcam.h"
#include "platform/clock.h"
#include "platform/screen/screengrabber.h"

namespace {

using namespace zelq;
using namespace zelq::bench;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kCodecs = 4;

// ffmpeg's codec arguments for each of the engine's codecs: with ffmpeg's own settings, and with those the
// engine's catalogue gives the codec at the engine's defaults (quality 6550, a key frame every 5 frames).
struct FfmpegCodec {
    FOURCC fourcc;
    QStringList ownSettings;
    QStringList engineSettings;
};

const FfmpegCodec* ffmpegCodecFor(FOURCC fourcc) {
    static const std::vector<FfmpegCodec> codecs{
        {mmioFOURCC('M', 'S', 'V', 'C'), {"-c:v", "msvideo1"}, {"-c:v", "msvideo1", "-keyint_min", "4"}},
        {mmioFOURCC('Z', 'M', 'B', 'V'), {"-c:v", "zmbv"}, {"-c:v", "zmbv", "-keyint_min", "5"}},
        {mmioFOURCC('H', '2', '6', '4'),
         {"-c:v", "libx264", "-bf", "0"},
         {"-c:v", "libx264", "-bf", "0", "-preset", "veryfast", "-tune", "zerolatency", "-crf", "22.35", "-g",
          "5"}},
        {mmioFOURCC('M', 'J', 'P', 'G'),
         {"-c:v", "mjpeg"},
         {"-c:v", "mjpeg", "-q:v", "5", "-pix_fmt", "yuvj420p"}},
    };
    const auto found =
        std::find_if(codecs.begin(), codecs.end(), [&](const FfmpegCodec& c) { return c.fourcc == fourcc; });
    return found == codecs.end() ? nullptr : &*found;
}

QString fourccText(FOURCC code) {
    QString text;
    for (int i = 0; i < 4; ++i) text += QChar(static_cast<char>(code >> (8 * i)));
    return text;
}

int secondsFromArguments(const QStringList& args) {
    if (args.size() < 2)
        return 10;
    bool ok = false;
    const int seconds = args.at(1).toInt(&ok);
    return ok && seconds >= 1 && seconds <= 600 ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = secondsFromArguments(app.arguments());
    if (seconds < 0) {
        std::fprintf(stderr, "usage: engine_bench [seconds per recording, 1 to 600, default 10]\n");
        return 2;
    }
    ScreenGrabber& screen = ScreenGrabber::forCurrentThread();
    if (!screen.isConnected() || screen.width() != kWidth || screen.height() != kHeight) {
        std::fprintf(stderr, "needs a %dx%d display (run it under scripts/xsession.sh)\n", kWidth, kHeight);
        return 1;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    PatternProcess pattern(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("engine_pattern")));
    if (!pattern.isRunning()) {
        std::fprintf(stderr, "the test pattern (engine_pattern, beside this program) did not start\n");
        return 1;
    }

    AnsweringDialogs dialogs;
    QWidget owner;
    // Never shown: the engine only reads its bounds, the whole screen.
    QWidget source;
    source.setGeometry(0, 0, kWidth, kHeight);
    TScreenCam cam(&owner, dialogs, systemClock());
    cam.EnumerateCodecs();

    printGrabFigures(cam, pattern, kWidth, kHeight);

    const RecordingSetup setup{scratch.path(), pattern, seconds};
    printHeader(setup, cam);
    int failures = 0;
    for (int i = 0; i < std::min(kCodecs, cam.CodecCount); ++i) {
        const FOURCC fourcc = cam.CodecList[static_cast<std::size_t>(i)].fccHandler;
        const Row ours = engineRow(setup, cam, source, i, dialogs);
        printRow(fourccText(fourcc), ours);
        failures += ours.ok ? 0 : 1;
        const FfmpegCodec* theirs = ffmpegCodecFor(fourcc);
        if (!theirs) {
            std::printf("      (no ffmpeg counterpart)\n");
            continue;
        }
        const Row own =
            ffmpegRow(setup, QStringLiteral("ffmpeg ") + theirs->ownSettings.mid(1).join(QLatin1Char(' ')),
                      theirs->ownSettings);
        printRow(QString(), own);
        const Row same =
            ffmpegRow(setup, QStringLiteral("ffmpeg, engine's settings"), theirs->engineSettings);
        printRow(QString(), same);
        printRatios(ours, own);
        printRatios(ours, same);
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
