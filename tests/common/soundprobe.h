#pragma once
// An independent reader's view of a recording's sound and its timing: ffprobe and ffmpeg read the file,
// our code does not.

#include <QString>
#include <vector>

namespace test {

struct StreamFacts {
    QString type;   // "video", "audio"
    QString codec;  // "pcm_s16le", ...
    int sampleRate = 0;
    int channels = 0;
    double duration = -1;  // seconds
};
std::vector<StreamFacts> probeStreams(const QString& path);

// Seconds into the file where the sound rises out of silence (at least 100 ms quiet before each).
std::vector<double> toneOnsets(const QString& path);
// Seconds into the file where the picture turns bright, each placed halfway between the last dark frame
// and the first bright one (the change happened somewhere between the two grabs).
std::vector<double> flashOnsets(const QString& path);

}  // namespace test
