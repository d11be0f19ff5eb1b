#include "enginerun.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "bench/engine/childprocess.h"
#include "capture/scrcam/recordthread.h"
#include "capture/scrcam/scrcam.h"
#include "platform/clock.h"

namespace zelq::bench {

namespace {

// How long the engine may take to open the file and the compressor, and to close them after the stop.
constexpr int kSetUpMs = 30000;

}  // namespace

EngineRecording recordWithEngine(TScreenCam& cam, QWidget& source, int index, int seconds,
                                 const QString& file) {
    EngineRecording result;
    cam.SelectCodec(index);

    QEventLoop loop;
    QTimer stopTimer;
    stopTimer.setSingleShot(true);
    stopTimer.setTimerType(Qt::PreciseTimer);  // a coarse timer may fire 5 % early
    QObject::connect(&stopTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
    bool looped = false;
    // Raised on the worker just before its first capture: start counting the recorded time there. The
    // call is queued to the timer's (UI) thread; should it still be pending when this function returns,
    // the timer's end discards it.
    cam.OnRecordStart = [&stopTimer, &looped, seconds](TScreenCam&) {
        QMetaObject::invokeMethod(
            &stopTimer,
            [&stopTimer, &looped, seconds] {
                looped = true;
                stopTimer.start(seconds * 1000);
            },
            Qt::QueuedConnection);
    };
    QTimer allowance;  // the loop never began
    allowance.setSingleShot(true);
    QObject::connect(&allowance, &QTimer::timeout, &loop, &QEventLoop::quit);

    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    cam.StartRecording(&source, file);
    if (cam.Thread) {
        QObject::connect(cam.Thread.data(), &QThread::finished, &loop, &QEventLoop::quit);
        allowance.start(kSetUpMs + seconds * 1000);
        if (!cam.Thread->isFinished())
            loop.exec();
    }
    cam.StopRecording();
    result.ended = cam.waitForWorker(kSetUpMs);
    result.looped = looped;
    result.wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    result.cpuSeconds = processCpuSeconds() - cpuBefore;
    cam.OnRecordStart = nullptr;
    result.framesWritten = cam.Stats.FramesWritten;
    result.skippedPositions = cam.Stats.SkippedFrames;
    return result;
}

WholeScreenEngine::WholeScreenEngine(int width, int height, int fps, sound::SoundChoice sound)
    : cam(&owner, dialogs, systemClock()) {
    source.setGeometry(0, 0, width, height);
    cam.EnumerateCodecs();
    cam.MsPerFrame = 1000 / fps;
    cam.PlaybackRate = fps;
    cam.Sound = sound;
}

}  // namespace zelq::bench
