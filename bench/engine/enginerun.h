#pragma once
// One recording of the whole screen by the capture engine, measured: what the engine reports, its
// process's CPU time and the wall time from the start to the worker's end.
//
// Thread rules: UI thread only (the engine's own rule for StartRecording and waitForWorker).

#include <QString>
#include <QWidget>

#include "bench/engine/answeringdialogs.h"
#include "capture/scrcam/scrcam.h"

namespace zelq::bench {

struct EngineRecording {
    bool looped = false;  // the capture loop ran (the file was opened and the compressor took the frames)
    bool ended = false;   // the worker ended within its allowance after the stop
    int framesWritten = 0;
    int skippedPositions = 0;
    double cpuSeconds = 0;   // the whole process, all threads, from StartRecording to the worker's end
    double wallSeconds = 0;  // the same span
};

// Selects catalogue entry `index`, records `source`'s bounds into `file` and stops `seconds` seconds after
// the capture loop began (so that opening the compressor does not eat into the recorded time).
EngineRecording recordWithEngine(TScreenCam& cam, QWidget& source, int index, int seconds,
                                 const QString& file);

// The engine set up to record the whole screen at `fps` positions a second (MsPerFrame 1000 / fps,
// PlaybackRate fps) with the sound chosen, its boxes answered and kept by the bench. The source window
// is never shown: the engine only reads its bounds.
struct WholeScreenEngine {
    WholeScreenEngine(int width, int height, int fps, sound::SoundChoice sound);
    EngineRecording record(int seconds, const QString& file) {
        return recordWithEngine(cam, source, 0, seconds, file);
    }

    AnsweringDialogs dialogs;
    QWidget owner;
    QWidget source;
    TScreenCam cam;
};

}  // namespace zelq::bench
