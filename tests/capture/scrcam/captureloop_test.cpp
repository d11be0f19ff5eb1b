#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/scrcam/captureloop.h"

using namespace zelq;

namespace {

// A clock that only moves when told: sleeping moves it by the time slept (times a factor, to play a
// coarse timer), and a capture can be made to take time.
class ScriptedClock final : public Clock {
public:
    explicit ScriptedClock(std::uint32_t start = 1000) : now(start) {}
    std::uint32_t timeGetTime() override { return now; }
    void sleep(std::uint32_t ms) override {
        sleeps.push_back(ms);
        now += static_cast<std::uint32_t>(ms * sleepFactor);
    }
    std::uint32_t now;
    double sleepFactor = 1.0;
    std::vector<std::uint32_t> sleeps;
};

struct Observed {
    std::vector<int> written;    // positions written
    std::vector<std::uint32_t> progressAt;
    std::vector<std::uint32_t> answeredAt;  // the clock at the end of each capture
    int passes = 0;
};

// A loop of `passes` passes; capture i takes captureCost(i) ms. A `stamped` capture says its screen
// answered at its end, as a grab of the screen does.
template <typename Cost>
CaptureLoopEnd runPasses(ScriptedClock& clock, int msPerFrame, int passes, Cost captureCost, Observed& run, CaptureStats& stats,
                         int failWriteAt = -1, bool stamped = false) {
    CaptureLoopSteps steps;
    steps.recording = [&] { return run.passes < passes; };
    steps.grab = [&] {
        clock.now += static_cast<std::uint32_t>(captureCost(run.passes));
        ++run.passes;
        run.answeredAt.push_back(clock.now);
        Frame frame = Frame::allocate(4, 4, 32);
        if (stamped) frame.seenAt = clock.now;
        return frame;
    };
    steps.write = [&](int position, const Frame& frame) {
        EXPECT_TRUE(frame);
        if (position == failWriteAt) return false;
        run.written.push_back(position);
        return true;
    };
    steps.progress = [&] { run.progressAt.push_back(clock.now - stats.StartTime); };
    return RunCaptureLoop(msPerFrame, clock, steps, stats);
}

}  // namespace

TEST(TimeGrid, SlicesAndPositionsRoundHalvesToEven) {
    EXPECT_EQ(sleepSliceFor(100), 10);
    EXPECT_EQ(sleepSliceFor(5), 1);
    EXPECT_EQ(sleepSliceFor(1), 1);
    EXPECT_EQ(sleepSliceFor(60000), 6000);
    EXPECT_EQ(positionFor(150, 100), 2);
    EXPECT_EQ(positionFor(250, 100), 2);
    EXPECT_EQ(positionFor(350, 100), 4);
    EXPECT_EQ(positionFor(50, 100), 0);
    EXPECT_EQ(positionFor(420, 100), 4);
    EXPECT_EQ(positionFor(0, 100), 0);
    EXPECT_EQ(positionFor(0xFFFFFFFFu, 1), 2147483647);  // saturates instead of going negative
}

TEST(TimeGrid, ALatePassSkipsPositionsWithoutPushingLaterFramesBack) {
    ScriptedClock clock;
    CaptureStats stats;
    Observed run;
    // The second capture takes 320 ms: the third pass starts at 420 ms.
    const auto end = runPasses(clock, 100, 4, [](int i) { return i == 1 ? 320 : 0; }, run, stats);
    EXPECT_EQ(end, CaptureLoopEnd::Stopped);
    EXPECT_EQ(run.written, (std::vector<int>{0, 1, 4, 5}));
    EXPECT_EQ(stats.SkippedFrames.load(), 2);
    EXPECT_EQ(stats.FramesWritten.load(), 4);
    EXPECT_EQ(stats.FrameIndex.load(), 5);
    EXPECT_EQ(stats.StartTime.load(), 1000u);
    // After the late pass the loop waits for the next grid point only: the last write is at 500 ms.
    EXPECT_DOUBLE_EQ(stats.FrameGap.load(), 80.0);
}

TEST(TimeGrid, AFrameIsPlacedByWhenTheScreenAnswered) {
    {
        // Every answer takes 70 ms: the first frame still opens the file, the next passes begin early
        // enough for their answers to land on the grid, and no position is left empty.
        ScriptedClock clock;
        CaptureStats stats;
        Observed run;
        runPasses(clock, 100, 5, [](int) { return 70; }, run, stats, -1, true);
        EXPECT_EQ(run.written, (std::vector<int>{0, 1, 2, 3, 4}));
        EXPECT_EQ(stats.SkippedFrames.load(), 0);
        // Once settled, each answer comes at its position's grid point.
        EXPECT_EQ(run.answeredAt[3] - stats.StartTime, 300u);
        EXPECT_EQ(run.answeredAt[4] - stats.StartTime, 400u);
    }
    {
        // One answer 260 ms late shows the screen of 460 ms: position 5, not the position its pass
        // began at (2), where it would show things before they happened.
        ScriptedClock clock;
        CaptureStats stats;
        Observed run;
        runPasses(clock, 100, 5, [](int i) { return i == 2 ? 260 : 0; }, run, stats, -1, true);
        EXPECT_EQ(run.written, (std::vector<int>{0, 1, 5, 6}));
        EXPECT_EQ(stats.SkippedFrames.load(), 3);
    }
}

TEST(TimeGrid, PassesLandingOnTheSamePositionWriteOnlyTheFirst) {
    ScriptedClock clock;
    clock.sleepFactor = 0.3;  // a coarse timer: each 100 ms of sleep is 30 ms of clock
    CaptureStats stats;
    Observed run;
    runPasses(clock, 100, 6, [](int) { return 0; }, run, stats);
    // Passes at 0, 30, 51, 95, 126 and 148 ms: positions 0, 0, 1, 1, 1, 1. Six passes, two writes.
    EXPECT_EQ(run.passes, 6);
    EXPECT_EQ(run.written, (std::vector<int>{0, 1}));
    EXPECT_EQ(stats.FramesWritten.load(), 2);
    EXPECT_EQ(stats.SkippedFrames.load(), 0);
}

TEST(TimeGrid, SleepsInSlicesAndNoticesAStopWithinOne) {
    ScriptedClock clock;
    CaptureStats stats;
    int sleepsSeen = 0;
    CaptureLoopSteps steps;
    // Stop is requested during the third slice of the first pass.
    steps.recording = [&] { return clock.sleeps.size() < 3; };
    steps.grab = [&] {
        clock.now += 4;  // the capture takes 4 ms: 96 ms are left to sleep
        return Frame::allocate(2, 2, 24);
    };
    steps.write = [](int, const Frame&) { return true; };
    EXPECT_EQ(RunCaptureLoop(100, clock, steps, stats), CaptureLoopEnd::Stopped);
    sleepsSeen = static_cast<int>(clock.sleeps.size());
    EXPECT_EQ(sleepsSeen, 3);  // neither the other slices nor the 6 ms remainder
    EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{10, 10, 10}));

    // Uninterrupted, the remainder is slept after the slices: 96 = 9 x 10 + 6. The second pass is the
    // last: its stop is seen after its first slice.
    ScriptedClock whole;
    CaptureStats s2;
    Observed run;
    runPasses(whole, 100, 2, [](int) { return 4; }, run, s2);
    EXPECT_EQ(whole.sleeps, (std::vector<std::uint32_t>{10, 10, 10, 10, 10, 10, 10, 10, 10, 6, 10}));
    // At 5 ms a frame the slices are 1 ms.
    ScriptedClock fast;
    CaptureStats s3;
    Observed run3;
    runPasses(fast, 5, 2, [](int) { return 0; }, run3, s3);
    EXPECT_EQ(fast.sleeps, (std::vector<std::uint32_t>{1, 1, 1, 1, 1, 1}));

    // A stop during a pass that leaves less than a slice to wait: the remainder is not slept either.
    ScriptedClock late;
    CaptureStats s4;
    bool stop = false;
    CaptureLoopSteps lateSteps;
    lateSteps.recording = [&] { return !stop; };
    lateSteps.grab = [&] {
        late.now += 95;
        stop = true;
        return Frame::allocate(2, 2, 24);
    };
    lateSteps.write = [](int, const Frame&) { return true; };
    EXPECT_EQ(RunCaptureLoop(100, late, lateSteps, s4), CaptureLoopEnd::Stopped);
    EXPECT_TRUE(late.sleeps.empty());
}

TEST(TimeGrid, ProgressComesOnlyAfterHalfASecondAndEndsAreReported) {
    ScriptedClock clock;
    CaptureStats stats;
    Observed run;
    runPasses(clock, 100, 13, [](int) { return 0; }, run, stats);
    // Passes at 0, 100, ..., 1200: the first after more than 500 ms is at 600, the next after 1100.
    EXPECT_EQ(run.progressAt, (std::vector<std::uint32_t>{600, 1200}));

    ScriptedClock c2;
    CaptureStats s2;
    Observed failing;
    EXPECT_EQ(runPasses(c2, 100, 5, [](int) { return 0; }, failing, s2, 2), CaptureLoopEnd::WriteFailed);
    EXPECT_EQ(failing.written, (std::vector<int>{0, 1}));
    EXPECT_EQ(s2.FramesWritten.load(), 2);

    ScriptedClock c3;
    CaptureStats s3;
    CaptureLoopSteps none;
    none.recording = [] { return true; };
    none.grab = [] { return Frame(); };
    none.write = [](int, const Frame&) {
        ADD_FAILURE() << "nothing to write";
        return true;
    };
    EXPECT_EQ(RunCaptureLoop(100, c3, none, s3), CaptureLoopEnd::NoFrame);
}

TEST(TimeGrid, TheMillisecondCounterMayWrapDuringARecording) {
    ScriptedClock clock(0xFFFFFF00u);  // wraps 256 ms in
    CaptureStats stats;
    Observed run;
    runPasses(clock, 100, 5, [](int) { return 0; }, run, stats);
    EXPECT_EQ(run.written, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(stats.SkippedFrames.load(), 0);
}

TEST(TimeGrid, APauseHoldsTheFilesTimeAndALimitEndsTheFileAtItsLength) {
    // Passes at 0, 100, 200; a pause of 5 s asked during the third pass's capture; then passes on.
    ScriptedClock clock;
    CaptureStats stats;
    Observed run;
    bool paused = false;
    std::vector<std::string> events;
    CaptureLoopSteps steps;
    steps.recording = [&] { return run.passes < 6; };
    steps.paused = [&] {
        // Time goes by only in sleeps: five seconds of them end the pause.
        if (paused && clock.now - stats.StartTime >= 5200) paused = false;
        return paused;
    };
    steps.pausing = [&] { events.push_back("pause at " + std::to_string(clock.now - stats.StartTime)); };
    steps.resumed = [&] { events.push_back("resume at " + std::to_string(clock.now - stats.StartTime)); };
    steps.grab = [&] {
        if (++run.passes == 3) paused = true;
        return Frame::allocate(4, 4, 32);
    };
    steps.write = [&](int position, const Frame&) {
        run.written.push_back(position);
        return true;
    };
    EXPECT_EQ(RunCaptureLoop(100, clock, steps, stats), CaptureLoopEnd::Stopped);
    // The third pass's frame is written; the sleep after it ends for the pause within a slice, and after
    // five seconds the file's time goes on from where it stood: the first pass after lands on position 2
    // again (not written), then 3, 4, with nothing skipped.
    EXPECT_EQ(run.written, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(stats.SkippedFrames.load(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"pause at 210", "resume at 210"}));
    EXPECT_EQ(stats.StartTime.load(), 1000u + 4990u);

    // A limit of 4 positions: the file ends after position 3, even when the last pass comes late.
    ScriptedClock limited;
    CaptureStats s2;
    Observed run2;
    CaptureLoopSteps l;
    l.recording = [] { return true; };
    l.positionLimit = 4;
    l.grab = [&] {
        limited.now += ++run2.passes == 3 ? 700 : 0;  // the third capture takes 700 ms
        return Frame::allocate(4, 4, 32);
    };
    l.write = [&](int position, const Frame&) {
        run2.written.push_back(position);
        return true;
    };
    EXPECT_EQ(RunCaptureLoop(100, limited, l, s2), CaptureLoopEnd::Stopped);
    // The pass after the slow one starts at 900 ms: it gives position 3, the last, its frame.
    EXPECT_EQ(run2.written, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(run2.passes, 4);
}
