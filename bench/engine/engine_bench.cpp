// engine_bench: what the capture engine costs when it records a moving 1920x1080 screen, beside ffmpeg's
// x11grab recording the same screen with the same codec in the same run.
//
// 1. One frame: the median time of a raw grab (ScreenGrabber) and of TScreenCam::GrabFrame (grab, arrow,
//    conversion to a DIB), beside a memcpy of the same 8 MB.
// 2. For each of the first four compressors of the engine's catalogue: a recording at the engine's
//    defaults, then ffmpeg with the same codec as ffmpeg picks its settings, then ffmpeg with the
//    settings the engine gives that codec; frames, skipped positions or dup/drop, CPU seconds, size,
//    ffprobe's count, and the ratios ours/ffmpeg.
// The screen is kept moving by engine_pattern, a child process, so its drawing is not counted.
//
// Usage (under scripts/xsession.sh): engine_bench [seconds per recording, default 10]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/engine/answeringdialogs.h"
#include "bench/engine/enginerun.h"
#include "bench/engine/ffmpegrun.h"
#include "bench/engine/patternprocess.h"
#include "capture/frame/bitmaptodib.h"
#include "capture/scrcam/scrcam.h"
#include "platform/clock.h"
#include "platform/screen/screengrabber.h"

namespace {

using namespace zelq;
using namespace zelq::bench;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kGrabRuns = 50;
constexpr int kCodecs = 4;

// ffmpeg's arguments for each of the engine's codecs: as the bench was asked to run it, and with the
// settings the engine's catalogue gives the codec at its defaults (quality 6550, a key frame every 5).
struct FfmpegCodec {
    FOURCC fourcc;
    QStringList asGiven;
    QStringList sameSettings;
};

const std::vector<FfmpegCodec>& ffmpegCodecs() {
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
    return codecs;
}

const FfmpegCodec* ffmpegCodecFor(FOURCC fourcc) {
    for (const FfmpegCodec& c : ffmpegCodecs())
        if (c.fourcc == fourcc) return &c;
    return nullptr;
}

QString fourccText(FOURCC code) {
    QString text;
    for (int i = 0; i < 4; ++i) text += QChar(static_cast<char>(code >> (8 * i)));
    return text;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Milliseconds of each of `runs` calls of body, after one unmeasured call.
template <typename Body>
std::vector<double> timesMs(int runs, Body&& body) {
    body();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        body();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return times;
}

void printGrabs(TScreenCam& cam, PatternProcess& pattern) {
    ScreenGrabber& grabber = ScreenGrabber::forCurrentThread();
    const std::size_t bytes = std::size_t{kWidth} * kHeight * 4;
    std::vector<char> from(bytes, 1), to(bytes, 0);
    const double copy = median(timesMs(kGrabRuns, [&] {
        std::memcpy(to.data(), from.data(), bytes);
        asm volatile("" : : "r"(to.data()) : "memory");  // the copy must happen
    }));
    QImage image;
    const long long paintedBefore = pattern.framesPainted();
    QElapsedTimer span;
    span.start();
    const double raw = median(timesMs(kGrabRuns, [&] { grabber.grab(0, 0, kWidth, kHeight, image); }));
    // GrabFrame's parts, to tell where its time goes: a new image each time, as it grabs into one; the
    // two questions to the server for the arrow; the conversion into a newly allocated DIB.
    const double rawFresh = median(timesMs(kGrabRuns, [&] {
        QImage fresh;
        grabber.grab(0, 0, kWidth, kHeight, fresh);
    }));
    const double pointer = median(timesMs(kGrabRuns, [&] {
        grabber.pointerPosition();
        grabber.cursorHotSpot();
    }));
    const double convert = median(timesMs(kGrabRuns, [&] { BitmapToDIB(image, cam.BitsPerPixel, cam.dialogs()); }));
    const double frame = median(timesMs(kGrabRuns, [&] { cam.GrabFrame(0, 0, kWidth, kHeight); }));
    const double patternFps = static_cast<double>(pattern.framesPainted() - paintedBefore) /
                              (static_cast<double>(span.nsecsElapsed()) / 1e9);

    std::printf("One %dx%d frame at %d bits per pixel (shared memory: %s), median of %d, the pattern "
                "painting %.1f frames/s meanwhile\n",
                kWidth, kHeight, cam.BitsPerPixel, grabber.usesSharedMemory() ? "yes" : "no", kGrabRuns,
                patternFps);
    std::printf("  %-44s %7.2f ms\n", "memcpy of 8 MB", copy);
    std::printf("  %-44s %7.2f ms  %5.1f x memcpy\n", "ScreenGrabber::grab, image reused", raw, raw / copy);
    std::printf("  %-44s %7.2f ms  %5.1f x memcpy\n", "ScreenGrabber::grab, a new image each time", rawFresh,
                rawFresh / copy);
    std::printf("  %-44s %7.2f ms\n", "pointer position and cursor hot spot", pointer);
    std::printf("  %-44s %7.2f ms  %5.1f x memcpy\n", "BitmapToDIB, a new DIB each time", convert, convert / copy);
    std::printf("  %-44s %7.2f ms  %5.1f x memcpy\n\n", "TScreenCam::GrabFrame (grab, arrow, DIB)", frame,
                frame / copy);
}

// One line of the recordings table.
struct Row {
    QString recorder;
    bool ok = false;
    QString failure;
    int frames = 0;     // frames stored, repeats included
    int distinct = 0;   // frames captured and stored once each
    QString gaps;       // skipped positions (ours) or dup/drop (ffmpeg)
    double cpu = 0;
    double wall = 0;
    double sizeMb = 0;
    Probe probe;
    double patternFps = 0;
};

void printRow(const QString& codec, const Row& r) {
    if (!r.ok) {
        std::printf("%-5s %-22s failed: %s\n", qPrintable(codec), qPrintable(r.recorder), qPrintable(r.failure));
        return;
    }
    std::printf("%-5s %-22s %6d %9s %7.2f %7.3f %7.2f %8.1f %6lld/%-6lld %6.1f\n", qPrintable(codec),
                qPrintable(r.recorder), r.frames, qPrintable(r.gaps), r.cpu, r.cpu / std::max(1, r.distinct),
                r.wall, r.sizeMb, r.probe.length, r.probe.packets, r.patternFps);
}

void printRatios(const Row& ours, const Row& theirs) {
    if (!ours.ok || !theirs.ok) return;
    const double perFrameOurs = ours.cpu / std::max(1, ours.distinct);
    const double perFrameTheirs = theirs.cpu / std::max(1, theirs.distinct);
    std::printf("      %-22s CPU %.2f x, CPU per captured frame %.2f x, size %.2f x\n",
                qPrintable(QStringLiteral("ours / ") + theirs.recorder), ours.cpu / theirs.cpu,
                perFrameOurs / perFrameTheirs, ours.sizeMb / theirs.sizeMb);
}

// Runs `record` with the pattern's painted count taken around it, then probes and removes the file.
template <typename Record>
Row measure(const QString& recorder, const QString& file, const QString& scratch, PatternProcess& pattern,
            Record&& record) {
    Row row;
    row.recorder = recorder;
    const long long before = pattern.framesPainted();
    record(row);
    const long long after = pattern.framesPainted();
    if (row.wall > 0) row.patternFps = static_cast<double>(after - before) / row.wall;
    row.sizeMb = static_cast<double>(QFileInfo(file).size()) / 1e6;
    row.probe = probeRecording(file, scratch);
    if (row.ok && !row.probe.ok) {
        row.ok = false;
        row.failure = QStringLiteral("ffprobe cannot read the file");
    }
    QFile::remove(file);
    return row;
}

Row ffmpegRow(const QString& recorder, const QStringList& args, int seconds, const QString& scratch,
              PatternProcess& pattern) {
    const QString file = scratch + QStringLiteral("/ffmpeg.avi");
    return measure(recorder, file, scratch, pattern, [&](Row& row) {
        const FfmpegRecording run = recordWithFfmpeg(args, seconds, file, scratch);
        row.ok = run.ok;
        row.failure = run.failure;
        row.frames = run.frames;
        row.distinct = run.frames - run.dup;
        row.gaps = QStringLiteral("%1/%2").arg(run.dup).arg(run.drop);
        row.cpu = run.cpuSeconds;
        row.wall = run.wallSeconds;
    });
}

Row engineRow(TScreenCam& cam, QWidget& source, int index, int seconds, const QString& scratch,
              PatternProcess& pattern, AnsweringDialogs& dialogs) {
    const QString file = scratch + QStringLiteral("/engine.avi");
    return measure(QStringLiteral("engine"), file, scratch, pattern, [&](Row& row) {
        const EngineRecording run = recordWithEngine(cam, source, index, seconds, file);
        const QStringList boxes = dialogs.takeMessages();
        row.ok = run.looped && run.ended && boxes.isEmpty();
        row.failure = !boxes.isEmpty() ? boxes.join(QStringLiteral("; "))
                      : !run.looped    ? QStringLiteral("the capture loop never began")
                                       : QStringLiteral("the worker did not end");
        row.frames = run.framesWritten;
        row.distinct = run.framesWritten;
        row.gaps = QString::number(run.skippedPositions);
        row.cpu = run.cpuSeconds;
        row.wall = run.wallSeconds;
    });
}

int secondsFromArguments(const QStringList& args) {
    if (args.size() < 2) return 10;
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
    PatternProcess pattern(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("engine_pattern")));
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

    printGrabs(cam, pattern);

    std::printf("Recordings of %d s of the whole screen at the engine's defaults (MsPerFrame %d, PlaybackRate "
                "%d, key frame every %d, quality %d)\n",
                seconds, cam.MsPerFrame, cam.PlaybackRate, cam.KeyFrameEvery, cam.Quality);
    std::printf("frames: stored; gaps: skipped positions (engine) or dup/drop (ffmpeg); CPU/f: CPU seconds per "
                "captured frame;\nprobe: ffprobe's stream length/packets; pattern: frames/s the pattern painted "
                "meanwhile\n");
    std::printf("%-5s %-22s %6s %9s %7s %7s %7s %8s %13s %6s\n", "codec", "recorder", "frames", "gaps", "CPU s",
                "CPU/f", "wall s", "size MB", "probe", "pattern");
    const int codecs = std::min(kCodecs, cam.CodecCount);
    for (int i = 0; i < codecs; ++i) {
        const QString codec = fourccText(cam.CodecList[static_cast<std::size_t>(i)].fccHandler);
        const Row ours = engineRow(cam, source, i, seconds, scratch.path(), pattern, dialogs);
        printRow(codec, ours);
        const FfmpegCodec* theirs = ffmpegCodecFor(cam.CodecList[static_cast<std::size_t>(i)].fccHandler);
        if (!theirs) {
            std::printf("      (ffmpeg has no counterpart here)\n");
            continue;
        }
        const Row given = ffmpegRow(QStringLiteral("ffmpeg ") + theirs->asGiven.mid(1).join(QLatin1Char(' ')),
                                    theirs->asGiven, seconds, scratch.path(), pattern);
        printRow(QString(), given);
        const Row same =
            ffmpegRow(QStringLiteral("ffmpeg, same settings"), theirs->sameSettings, seconds, scratch.path(), pattern);
        printRow(QString(), same);
        printRatios(ours, given);
        printRatios(ours, same);
        std::fflush(stdout);
    }
    return 0;
}
