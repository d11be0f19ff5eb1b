#pragma once
// The capture loop of a recording: one capture per interval, each written at the stream position of the
// moment its screen was read (the frame's seenAt; the pass's start when the grab does not say), until the
// recording is stopped or a write fails. Positions come from the time elapsed since the loop began, not
// from a count of passes, so a late pass does not push later frames back: the position jumps and the jump
// is counted as skipped positions.
//
// The loop takes its clock and its sleep from a Clock, and its captures and writes from the caller, so
// that its time grid can be driven without real waiting. Called by the recording worker.

#include <atomic>
#include <cstdint>
#include <functional>

#include "capture/frame/frame.h"
#include "platform/clock.h"

namespace zelq {

// What the loop reports while it runs; the engine's statistics fields.
struct CaptureStats {
    std::atomic<std::uint32_t> StartTime{0};
    std::atomic<double> FrameGap{0.0};
    std::atomic<int> SkippedFrames{0};
    std::atomic<int> FrameIndex{0};
    std::atomic<int> FramesWritten{0};
};

struct CaptureLoopSteps {
    std::function<bool()> recording;                       // the stop signal, read before passes and after sleeps
    std::function<Frame()> grab;                           // none ends the loop (the grabber has told the user)
    std::function<bool(int position, Frame&)> write;       // false: the write failed; may take the frame
    std::function<void()> progress;                        // at most every 500 ms
    std::function<void()> started;                         // optional: the clock's start, position 0, is now
    // Optional pause: while `paused` answers true nothing is grabbed and the file's time stands still;
    // `pausing` runs when the loop stops for it and `resumed` when it goes on (the sound follows them).
    std::function<bool()> paused;
    std::function<void()> pausing;
    std::function<void()> resumed;
    // When above 0, the recording ends by itself once the file holds this many positions.
    int positionLimit = 0;
};

enum class CaptureLoopEnd { Stopped, WriteFailed, NoFrame };

// After each pass the loop sleeps until the grid point of the next position, so that small oversleeps do
// not add up. The pause is Clock::sleepWhile with slices of a tenth of the interval (at least 1 ms): a stop
// is noticed within a slice, or at once by a clock that the stop wakes.
int sleepSliceFor(int msPerFrame);

// The stream position of a screen read `elapsed` ms into the loop: elapsed / msPerFrame rounded
// to the nearest integer, halves to even.
int positionFor(std::uint32_t elapsed, int msPerFrame);

CaptureLoopEnd RunCaptureLoop(int msPerFrame, Clock& clock, const CaptureLoopSteps& steps, CaptureStats& stats);

}  // namespace zelq
