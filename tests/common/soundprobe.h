#pragma once
// An independent reader's view of a recording's sound and its timing: ffprobe and ffmpeg read the file,
// our code does not.

#include <QRect>
#include <QString>
#include <vector>

namespace soundprobe {

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
// The amplitude (of full scale) of a sine of `hertz` in the sound from `from` to `to` seconds (the
// median of its amplitude in each 50 ms).
double toneAmplitude(const QString& path, double hertz, double from, double to);
// Where in the file (seconds) the picture turns bright: after the last dark frame, by the first bright one.
// Only the part `within` counts when it is given (a marker on a screen that moves all around it).
struct Span {
    double from = 0, to = 0;
};
std::vector<Span> flashSpans(const QString& path, const QRect& within = {});

// A flash set beside the tone nearest it in the sound (none within half the tones' spacing: the tone is
// missing). The flash happened `late` seconds after its tone by the player's clock; `apart` is how far
// the tone plus that lies outside the span the pictures allow, 0 when inside.
struct Match {
    Span seen;
    double late = 0;
    bool found = false;
    double tone = 0;
    double apart = 0;
};
std::vector<Match> matchFlashes(const std::vector<double>& tones, const std::vector<Span>& flashes,
                                const std::vector<double>& late, double spacing);

}  // namespace soundprobe
