#include "captureloop.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace zelq {

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
    const std::uint32_t start = stats.StartTime;
    if (steps.started)
        steps.started();

    while (steps.recording()) {
        // Unsigned 32-bit arithmetic: the millisecond counter may wrap during a recording.
        const std::uint32_t elapsed = clock.timeGetTime() - start;
        Frame frame = steps.grab();
        if (!frame) return CaptureLoopEnd::NoFrame;
        const int index = positionFor(elapsed, msPerFrame);
        stats.FrameIndex = index;
        if (index - lastIndex > 1) stats.SkippedFrames += index - lastIndex - 1;
        // Only the first pass may write position 0: a second pass landing there too (a capture faster
        // than half an interval) would write the same position twice.
        const bool first = stats.FramesWritten == 0;
        if ((first && index == 0) || index > lastIndex) {
            if (!steps.write(index, frame)) return CaptureLoopEnd::WriteFailed;
            stats.FramesWritten += 1;
            stats.FrameGap = static_cast<double>(elapsed - lastWriteTime);
            lastWriteTime = elapsed;
            lastIndex = index;
        }
        FreeFrame(frame);
        if (elapsed > lastNotifyTime + 500) {
            lastNotifyTime = elapsed;
            if (steps.progress) steps.progress();
        }
        // Sleep until the grid point of the next position (at most one and a half intervals, as the
        // position is the nearest one). Counting a whole interval from the pass's own start instead would
        // let every slice's small oversleep add up, until the passes drift half an interval and land a
        // position further on, leaving one empty.
        const std::int64_t now = static_cast<std::uint32_t>(clock.timeGetTime() - start);
        const std::int64_t wait = (static_cast<std::int64_t>(index) + 1) * msPerFrame - now;
        if (wait > 0)
            clock.sleepWhile(static_cast<std::uint32_t>(wait), static_cast<std::uint32_t>(slice), steps.recording);
    }
    return CaptureLoopEnd::Stopped;
}

}  // namespace zelq
