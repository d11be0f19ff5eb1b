// sound_sync: whether the sound of a long whole-screen recording stays in step with its picture. The
// screen moves everywhere (engine_pattern, every pixel changing); a square near its corner turns white
// for as long as each tone of a pattern is heard, by the speaker's own clock (a 1 kHz tone of 150 ms
// every 0.8 s); the capture engine records the whole screen with the computer's sound. Then ffmpeg reads
// the file back: the tones' onsets from the sound, the square's flashes from its pixels alone, and for
// each tone how far it lies outside the span between the last dark and the first bright frame of its
// flash. Measuring against that span keeps a dropped position (a longer span) from being counted as
// sound out of step.
//
// Usage (on the display in $DISPLAY, the sound server of $PULSE_SERVER):
//   sound_sync FPS SECONDS FILE PATTERN
//       PATTERN is engine_pattern's path. Prints a line for each tone, then the summary: tones shown,
//       found in the sound and missing, the worst and the last tone's distance outside its flash, the
//       recording's frames and empty positions, how often the speaker ran dry, and the load average
//       over the run. Exit status 1 when the recording or the speaker failed.
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/engine/enginerun.h"
#include "bench/engine/patternprocess.h"
#include "common/flashsquare.h"
#include "common/soundprobe.h"
#include "common/tonespeaker.h"
#include "platform/screen/screengrabber.h"

namespace {

using namespace zelq;

// The square, away from the screen's edges where the engine's frame window is drawn, on the 4-pixel
// blocks of the MSVC coder; only its inside is read back, clear of whatever the coder blends at its rim.
const QRect kMarker(64, 64, 128, 128);
const QRect kMarkerInside = kMarker.adjusted(16, 16, -16, -16);
// The tones start a while after the speaker, so the recording is under way before the first.
constexpr double kFirstTone = 5.0;

double loadAverage() {
    QFile f("/proc/loadavg");
    return f.open(QIODevice::ReadOnly) ? f.readLine().split(' ').value(0).toDouble() : -1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int fps = args.size() == 5 ? args.at(1).toInt() : 0;
    const int seconds = args.size() == 5 ? args.at(2).toInt() : 0;
    if (fps < 1 || fps > 100 || seconds < 10) {
        std::fprintf(stderr, "usage: sound_sync FPS SECONDS FILE PATTERN (at least 10 s)\n");
        return 2;
    }
    const QString file = args.at(3);
    ScreenGrabber& screen = ScreenGrabber::forCurrentThread();
    if (!screen.isConnected()) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    bench::PatternProcess pattern(args.at(4));
    if (!pattern.isRunning()) {
        std::fprintf(stderr, "the pattern did not start\n");
        return 1;
    }
    soundsync::FlashSquare marker(kMarker);
    // Tones up to two seconds before the recording's end, so the last is heard, flashed and recorded.
    const int tones = static_cast<int>((seconds - kFirstTone - 2) / 0.8);
    soundsync::ToneSpeaker speaker({kFirstTone, 0.8, 0.15, tones});
    if (!speaker.waitReady(20000)) {
        std::fprintf(stderr, "no sound server\n");
        return 1;
    }

    std::vector<double> loads{loadAverage()};
    QTimer loadTimer;
    QObject::connect(&loadTimer, &QTimer::timeout, [&] {
        loads.push_back(loadAverage());
        // Nothing of the pattern's may ever cover the square.
        marker.raise();
    });
    loadTimer.start(60000);
    // The square follows what the speaker has played, checked every millisecond on this thread while the
    // engine records on its own; how late each flash was drawn is noted and allowed for.
    QTimer flashTimer;
    flashTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&flashTimer, &QTimer::timeout, [&] {
        if (const std::optional<bool> bright = speaker.turn()) {
            marker.set(*bright);
            if (*bright)
                speaker.markShown();
        }
    });
    flashTimer.start(1);
    speaker.start();

    bench::WholeScreenEngine engine(screen.width(), screen.height(), fps, sound::SoundChoice::Computer);
    const bench::EngineRecording r = engine.record(seconds, file);
    flashTimer.stop();
    loads.push_back(loadAverage());
    for (const QString& message : engine.dialogs.takeMessages())
        std::fprintf(stderr, "%s\n", qPrintable(message));
    if (!engine.cam.SoundNotice().isEmpty())
        std::printf("the engine said: %s\n", qPrintable(engine.cam.SoundNotice()));
    if (!r.looped || !r.ended) {
        std::fprintf(stderr, "the recording failed\n");
        return 1;
    }

    const std::vector<double> onsets = soundprobe::toneOnsets(file);
    const std::vector<soundprobe::Span> flashes = soundprobe::flashSpans(file, kMarkerInside);
    const soundprobe::Matches matches = soundprobe::matchTones(onsets, flashes, speaker.shownLate(), 0.8);
    int noFlash = 0;
    const soundprobe::Match* worst = nullptr;
    const soundprobe::Match* last = nullptr;
    for (const soundprobe::Match& m : matches.tones) {
        if (!m.found) {
            std::printf("tone %d at %.3f s: no flash in the pictures\n", m.index, m.tone);
            ++noFlash;
            continue;
        }
        // Signed, from the middle of the span: where within the span's allowance the tone fell.
        const double offset = m.tone + (m.late.from + m.late.to) / 2 - (m.seen.from + m.seen.to) / 2;
        std::printf(
            "tone %d at %.4f s, flashed %.1f to %.1f ms after it, seen between %.3f and %.3f s: %.1f ms "
            "outside, %+.1f ms from the middle\n",
            m.index, m.tone, m.late.from * 1000, m.late.to * 1000, m.seen.from, m.seen.to, m.apart * 1000,
            offset * 1000);
        if (!worst || m.apart > worst->apart)
            worst = &m;
        last = &m;
    }
    for (const double at : matches.flashesWithoutTone)
        std::printf("flash at %.3f s: no tone in the sound\n", at);
    std::sort(loads.begin(), loads.end());
    std::printf("%dx%d, %d positions a second, %d s: %d frames written, %d positions empty\n", screen.width(),
                screen.height(), fps, seconds, r.framesWritten, r.skippedPositions);
    std::printf(
        "tones played %d, flashes shown %d, flashes in the file %zu, tones in the sound %zu, "
        "tones with no flash %d, flashes with no tone %zu, the speaker ran dry %d times\n",
        tones, speaker.shown(), flashes.size(), onsets.size(), noFlash, matches.flashesWithoutTone.size(),
        speaker.underflows());
    std::printf("the device stood still %.3f s in all beyond the clock's reckoning\n", speaker.stoodStill());
    if (worst)
        std::printf("worst: %.1f ms outside (tone at %.3f s); last: %.1f ms outside (tone at %.3f s)\n",
                    worst->apart * 1000, worst->tone, last->apart * 1000, last->tone);
    std::printf("load average (1 min) over the run: min %.2f, median %.2f, max %.2f\n", loads.front(),
                loads[loads.size() / 2], loads.back());
    return 0;
}
