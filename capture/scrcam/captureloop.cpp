#include "captureloop.h"

#include <cfenv>
#include <cmath>
#include <limits>

#include <QLoggingCategory>

namespace zelq {

Q_LOGGING_CATEGORY(lcCaptureTiming, "zelq.capture.timing", QtWarningMsg)

int sleepSliceFor(int msPerFrame) { return std::max(1, msPerFrame / 10); }

int positionFor(std::uint32_t elapsed, int msPerFrame) {
    // nearbyint rounds in the current mode, which is to-nearest-even unless someone changed it.
    const double position = std::nearbyint(static_cast<double>(elapsed) / static_cast<double>(msPerFrame));
    return position > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(position);
}

CaptureLoopEnd RunCaptureLoop(int msPerFrame, Clock& clock, const CaptureLoopSteps& steps, CaptureStats& stats) {
    const int slice = sleepSliceFor(msPerFrame);
    std::uint32_t lastWriteTime = 0;
    std::uint32_t lastNotifyTime = 0;
    int lastIndex = 0;
    stats.FramesWritten = 0;
    stats.FrameGap = 0.0;
    stats.StartTime = clock.timeGetTime();
    stats.SkippedFrames = 0;
    std::uint32_t start = stats.StartTime;
    if (steps.started)
        steps.started();
    const auto paused = [&] { return steps.paused && steps.paused(); };
    // A sleep ends early for a stop and for a pause, so that a pause holds the file's time where it was
    // asked for, not at the next grid point.
    const std::function<bool()> going = [&] { return steps.recording() && !paused(); };

    while (steps.recording()) {
        if (paused()) {
            const std::uint32_t pausedAt = clock.timeGetTime();
            if (steps.pausing) steps.pausing();
            const std::function<bool()> stillPaused = [&] { return steps.recording() && paused(); };
            while (stillPaused()) clock.sleepWhile(1000, static_cast<std::uint32_t>(slice), stillPaused);
            // The grid moves on by the time paused: the file goes on where it stopped.
            start += clock.timeGetTime() - pausedAt;
            stats.StartTime = start;
            if (steps.resumed) steps.resumed();
            continue;
        }
        // Unsigned 32-bit arithmetic: the millisecond counter may wrap during a recording.
        const std::uint32_t began = clock.timeGetTime() - start;
        Frame frame = steps.grab();
        if (!frame) return CaptureLoopEnd::NoFrame;
        // The frame shows the screen of when the server answered the read; on a busy machine that can be
        // hundreds of milliseconds after the pass began, and a frame placed by the pass's start would show
        // things before they happened, ahead of the sound recorded beside it.
        const std::uint32_t elapsed = frame.seenAt ? *frame.seenAt - start : began;
        if (elapsed - began > static_cast<std::uint32_t>(msPerFrame))
            qCDebug(lcCaptureTiming) << "a pass began at" << began << "ms; the screen answered at" << elapsed << "ms";
        // The file begins with a picture: the first frame is position 0 however late the screen answered.
        const bool first = stats.FramesWritten == 0;
        int index = first ? 0 : positionFor(elapsed, msPerFrame);
        // A pass late past the end still gives the last position its frame, so the file has its length.
        if (steps.positionLimit > 0 && index >= steps.positionLimit) index = steps.positionLimit - 1;
        stats.FrameIndex = index;
        if (index - lastIndex > 1) stats.SkippedFrames += index - lastIndex - 1;
        // Only the first pass may write position 0: a second pass landing there too (a capture faster
        // than half an interval) would write the same position twice.
        if (first || index > lastIndex) {
            if (!steps.write(index, frame)) return CaptureLoopEnd::WriteFailed;
            stats.FramesWritten += 1;
            stats.FrameGap = static_cast<double>(elapsed - lastWriteTime);
            lastWriteTime = elapsed;
            lastIndex = index;
        }
        FreeFrame(frame);
        if (steps.positionLimit > 0 && stats.FramesWritten > 0 && lastIndex >= steps.positionLimit - 1)
            return CaptureLoopEnd::Stopped;
        if (elapsed > lastNotifyTime + 500) {
            lastNotifyTime = elapsed;
            if (steps.progress) steps.progress();
        }
        // Sleep until the grid point of the next position, less the time this pass's screen took to
        // answer, so that the next answer lands on that point (at most one and a half intervals after this
        // pass began, as the position is the nearest one). Counting a whole interval from the pass's own
        // start instead would let every slice's small oversleep add up, until the passes drift half an
        // interval and land a position further on, leaving one empty.
        const std::int64_t now = static_cast<std::uint32_t>(clock.timeGetTime() - start);
        const std::int64_t answered = static_cast<std::int64_t>(elapsed) - static_cast<std::int64_t>(began);
        const std::int64_t wait = (static_cast<std::int64_t>(index) + 1) * msPerFrame - answered - now;
        if (wait > 0)
            clock.sleepWhile(static_cast<std::uint32_t>(wait), static_cast<std::uint32_t>(slice), going);
    }
    return CaptureLoopEnd::Stopped;
}

}  // namespace zelq
