#include "recordingtable.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

#include "bench/engine/answeringdialogs.h"
#include "bench/engine/enginerun.h"
#include "bench/engine/ffmpegrun.h"
#include "bench/engine/patternprocess.h"
#include "capture/scrcam/scrcam.h"

namespace zelq::bench {

namespace {

// Runs `record`, counting the pattern's frames around it, then reads the file with ffprobe and deletes it.
template <typename Record>
Row measure(const RecordingSetup& setup, const QString& recorder, const QString& file, Record&& record) {
    Row row;
    row.recorder = recorder;
    const long long before = setup.pattern.framesPainted();
    record(row);
    const long long after = setup.pattern.framesPainted();
    if (row.wall > 0)
        row.patternFps = static_cast<double>(after - before) / row.wall;
    row.sizeMb = static_cast<double>(QFileInfo(file).size()) / 1e6;
    const Probe probe = probeRecording(file, setup.scratchFolder);
    QFile::remove(file);
    if (row.ok && !probe.ok) {
        row.ok = false;
        row.failure = QStringLiteral("ffprobe cannot read the file");
    }
    row.length = probe.length;
    row.packets = probe.packets;
    return row;
}

double perFrame(const Row& row) {
    return row.cpu / std::max(1, row.captured);
}

}  // namespace

Row engineRow(const RecordingSetup& setup, TScreenCam& cam, QWidget& source, int index,
              AnsweringDialogs& dialogs) {
    const QString file = setup.scratchFolder + QStringLiteral("/engine.avi");
    Row row = measure(setup, QStringLiteral("engine"), file, [&](Row& r) {
        const EngineRecording run = recordWithEngine(cam, source, index, setup.seconds, file);
        const QStringList boxes = dialogs.takeMessages();
        r.ok = run.looped && run.ended && boxes.isEmpty();
        r.failure = !boxes.isEmpty() ? boxes.join(QStringLiteral("; "))
                    : !run.looped    ? QStringLiteral("the capture loop never began")
                                     : QStringLiteral("the worker did not end");
        r.frames = run.framesWritten;
        r.captured = run.framesWritten;
        r.skipped = run.skippedPositions;
        r.dupDrop = QStringLiteral("-");
        r.cpu = run.cpuSeconds;
        r.wall = run.wallSeconds;
    });
    // The engine's counters say what it wrote; ffprobe must read the same.
    if (row.ok && (row.packets != row.frames || row.length != row.frames + row.skipped))
        row.note =
            QStringLiteral("but ffprobe reads %1 frames in %2 positions").arg(row.packets).arg(row.length);
    return row;
}

Row ffmpegRow(const RecordingSetup& setup, const QString& recorder, const QStringList& codecArgs) {
    const QString file = setup.scratchFolder + QStringLiteral("/ffmpeg.avi");
    Row row = measure(setup, recorder, file, [&](Row& r) {
        const FfmpegRecording run = recordWithFfmpeg(codecArgs, setup.seconds, file, setup.scratchFolder);
        r.ok = run.ok;
        r.failure = run.failure;
        r.frames = run.frames;
        r.captured = run.frames - run.dup;
        r.dupDrop = QStringLiteral("%1/%2").arg(run.dup).arg(run.drop);
        r.cpu = run.cpuSeconds;
        r.wall = run.wallSeconds;
    });
    // ffmpeg leaves a late frame's missed positions empty, as the engine does; only ffprobe counts them.
    row.skipped = static_cast<int>(std::max(0LL, row.length - row.packets));
    return row;
}

void printHeader(const RecordingSetup& setup, const TScreenCam& cam) {
    std::printf(
        "Recordings of %d s of the whole screen at the engine's defaults (MsPerFrame %d, PlaybackRate %d, "
        "key frame every %d, quality %d)\n",
        setup.seconds, cam.MsPerFrame, cam.PlaybackRate, cam.KeyFrameEvery, cam.Quality);
    std::printf(
        "frames: stored; skipped: positions left empty; CPU/f: CPU seconds per captured frame; length: "
        "positions (ffprobe);\npattern: frames/s the test pattern painted meanwhile\n");
    std::printf("%-5s %-28s %6s %7s %8s %7s %6s %6s %7s %6s %7s\n", "codec", "recorder", "frames", "skipped",
                "dup/drop", "CPU s", "CPU/f", "wall s", "size MB", "length", "pattern");
}

void printRow(const QString& codec, const Row& r) {
    if (!r.ok) {
        std::printf("%-5s %-28s failed: %s\n", qPrintable(codec), qPrintable(r.recorder),
                    qPrintable(r.failure));
        return;
    }
    std::printf("%-5s %-28s %6d %7d %8s %7.2f %6.3f %6.2f %7.1f %6lld %7.1f%s%s\n", qPrintable(codec),
                qPrintable(r.recorder), r.frames, r.skipped, qPrintable(r.dupDrop), r.cpu, perFrame(r),
                r.wall, r.sizeMb, r.length, r.patternFps, r.note.isEmpty() ? "" : "  ", qPrintable(r.note));
}

void printRatios(const Row& ours, const Row& theirs) {
    if (!ours.ok || !theirs.ok || theirs.cpu <= 0 || theirs.sizeMb <= 0)
        return;
    std::printf("      ours / %-26s CPU %.2f x, CPU per captured frame %.2f x, frames %.2f x, size %.2f x\n",
                qPrintable(theirs.recorder), ours.cpu / theirs.cpu, perFrame(ours) / perFrame(theirs),
                static_cast<double>(ours.captured) / std::max(1, theirs.captured),
                ours.sizeMb / theirs.sizeMb);
}

}  // namespace zelq::bench
