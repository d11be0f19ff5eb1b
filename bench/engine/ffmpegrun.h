#pragma once
// ffmpeg's x11grab recording the same screen with the same codec, and ffprobe's view of a recording.
//
// Thread rules: any thread; each call blocks until its tool has ended.

#include <QString>
#include <QStringList>

namespace zelq::bench {

struct FfmpegRecording {
    bool ok = false;
    QString failure;  // the end of ffmpeg's messages when it failed
    int frames = 0;   // frames written, duplicates included, from ffmpeg's last progress line
    int dup = 0;      // frames written again to fill the rate (ffmpeg captured too few)
    int drop = 0;     // frames captured and thrown away (too many for their positions)
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

// Records the display in $DISPLAY, 1920x1080 at 10 frames a second for `seconds` seconds, into `file`,
// encoding with codecArgs (for instance {"-c:v", "zmbv"}).
FfmpegRecording recordWithFfmpeg(const QStringList& codecArgs, int seconds, const QString& file,
                                 const QString& scratchFolder);

// The frame, dup and drop counts of ffmpeg's last progress line ("frame=  100 fps=... dup=2 drop=1 ...");
// dup and drop are only printed when not zero. False when there is no such line.
bool parseProgress(const QString& messages, FfmpegRecording& into);

struct Probe {
    bool ok = false;
    QString codec;          // ffprobe's codec name
    long long length = 0;   // positions in the stream, as the header says
    long long packets = 0;  // frames actually stored (empty positions are no packets)
};

Probe probeRecording(const QString& file, const QString& scratchFolder);

}  // namespace zelq::bench
