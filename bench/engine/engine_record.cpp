// engine_record: one recording of the whole screen by the capture engine with its frame window, at a rate
// of the caller's choosing, for the rate bench (bench/rates) to set beside ffmpeg on the same screen; or,
// with "grab", what one frame costs to read on this screen, beside a memcpy of the same bytes.
//
// Usage (on the display in $DISPLAY):
//   engine_record grab
//       prints: memcpy ms, whole grab ms, grab of what changed 1/60 s after the last ms (medians of 50)
//   engine_record passes
//       prints what a pass costs each thread, two ways each (see passcosts.h)
//   engine_record FPS SECONDS FILE [none|computer|microphone|both]
//       records with MSVC at MsPerFrame 1000 / FPS and PlaybackRate FPS, with the sound chosen (none by
//       default, from the sound server of $PULSE_SERVER or the desktop's); prints on one line: frames
//       written, skipped positions, CPU per cent of one core (the whole process, all threads, from the
//       start to the worker's end), wall seconds. Exit status 1 when the recording failed.
#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "bench/engine/enginerun.h"
#include "bench/engine/grabfigures.h"
#include "bench/engine/passcosts.h"
#include "capture/scrcam/scrcam.h"
#include "platform/screen/screengrabber.h"

namespace {

using namespace zelq;
using namespace zelq::bench;

int grabFigures(ScreenGrabber& grabber) {
    const int w = grabber.width(), h = grabber.height();
    const std::size_t bytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4;
    std::vector<char> from(bytes, 1), to(bytes, 0);
    const double copy = medianMs([&] {
        std::memcpy(to.data(), from.data(), bytes);
        asm volatile("" : : "r"(to.data()) : "memory");  // the copy must happen
    });
    QImage whole, kept;
    const double grab = medianMs([&] { grabber.grab(0, 0, w, h, whole); });
    // What changed is read a recording's interval apart (at 60 a second), or there would be nothing to read.
    grabber.grabChanges(0, 0, w, h, kept);
    std::vector<double> times(50);
    for (double& ms : times) {
        std::this_thread::sleep_for(std::chrono::microseconds(16667));
        QElapsedTimer timer;
        timer.start();
        grabber.grabChanges(0, 0, w, h, kept);
        ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
    std::nth_element(times.begin(), times.begin() + 25, times.end());
    const double changes = times[25];
    std::printf("%.3f %.3f %.3f\n", copy, grab, changes);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    ScreenGrabber& screen = ScreenGrabber::forCurrentThread();
    if (!screen.isConnected()) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    if (args.size() == 2 && args.at(1) == QLatin1String("grab"))
        return grabFigures(screen);
    if (args.size() == 2 && args.at(1) == QLatin1String("passes"))
        return printPassCosts(screen);
    const bool recording = args.size() == 4 || args.size() == 5;
    const int fps = recording ? args.at(1).toInt() : 0;
    const int seconds = recording ? args.at(2).toInt() : 0;
    const QStringList sounds{"none", "computer", "microphone", "both"};
    const auto sound = static_cast<int>(args.size() == 5 ? sounds.indexOf(args.at(4)) : 0);
    if (fps < 1 || fps > 1000 || seconds < 1 || sound < 0) {
        std::fprintf(stderr,
                     "usage: engine_record grab | engine_record passes | engine_record FPS SECONDS FILE "
                     "[none|computer|microphone|both]\n");
        return 2;
    }
    WholeScreenEngine engine(screen.width(), screen.height(), fps, static_cast<sound::SoundChoice>(sound));
    const EngineRecording r = engine.record(seconds, args.at(3));
    for (const QString& message : engine.dialogs.takeMessages())
        std::fprintf(stderr, "%s\n", qPrintable(message));
    std::printf("%d %d %.1f %.2f\n", r.framesWritten, r.skippedPositions,
                100.0 * r.cpuSeconds / r.wallSeconds, r.wallSeconds);
    return r.looped && r.ended ? 0 : 1;
}
