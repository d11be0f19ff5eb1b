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
// The amplitude (of full scale) of a sine of `hertz` in each 50 ms of the sound from `from` to `to`
// seconds.
std::vector<double> toneSpans(const QString& path, double hertz, double from, double to);
// Where in the file (seconds) the picture turns bright: after the last dark frame, by the first bright one.
// Only the part `within` counts when it is given (a marker on a screen that moves all around it).
struct Span {
    double from = 0, to = 0;
};
std::vector<Span> flashSpans(const QString& path, const QRect& within = {});

// Each tone of the sound set beside its flash in the pictures. A tone is numbered by its distance from
// the one before (a stall of the sound server moves the later ones, never by half the spacing), so it is
// given the lateness its own flash was shown with (`late`, by the pattern's numbers: a span, as the
// player's clock can only bound the moment the flash reached the screen); its flash is the one nearest
// where the tone plus that lateness puts it, within half the spacing, unless another tone lies nearer
// it. `apart` is how far the tone plus its lateness lies outside the span the pictures allow, 0 when
// they meet.
struct Match {
    int index = 0;  // the tone's number in the pattern
    double tone = 0;
    Span late;
    bool found = false;  // a flash near it in the pictures
    Span seen;
    double apart = 0;
};
struct Matches {
    std::vector<Match> tones;
    std::vector<double> flashesWithoutTone;  // where a flash is that no tone claimed: sound lost there
};
Matches matchTones(const std::vector<double>& tones, const std::vector<Span>& flashes,
                   const std::vector<Span>& late, double spacing);

}  // namespace soundprobe
