// Laying captured sound out on the recording's clock: jittery stamps leave the sound continuous, a stall
// leaves silence where it was, a device that runs slow is kept within a few milliseconds, two sources mix
// without wrapping round.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "platform/sound/soundformat.h"
#include "platform/sound/soundtimeline.h"

using zelq::sound::SoundTimeline;

namespace {

constexpr std::int64_t kChunk = 480;  // 10 ms, as the server hands them over

// A chunk whose frames count up from `first` (the same value in both channels).
std::vector<std::int16_t> counting(std::int64_t first) {
    std::vector<std::int16_t> v;
    for (std::int64_t i = 0; i < kChunk; ++i)
        v.insert(v.end(), 2, static_cast<std::int16_t>((first + i) % 30000));
    return v;
}

std::vector<std::int16_t> take(SoundTimeline& t, std::int64_t from, std::int64_t frames) {
    std::vector<std::int16_t> out(static_cast<std::size_t>(frames * 2), 0);
    t.mixInto(from, frames, out.data());
    return out;
}

}  // namespace

TEST(SoundTimeline, FollowsTheDeviceUntilTheClockDisagreesByMoreThanItsJitter) {
    SoundTimeline t;
    std::srand(7);
    // 2 s of chunks whose stamps (after the first, which sets the start) jitter by up to ±5 ms: every
    // frame lands right after the one before.
    for (std::int64_t n = 0; n < 200; ++n) {
        const std::int64_t jitter = std::rand() % 481 - 240;
        const auto chunk = counting(n * kChunk);
        t.add(n * kChunk + (n == 0 ? 0 : jitter), chunk.data(), kChunk);
    }
    EXPECT_EQ(t.end(), 200 * kChunk);
    const auto all = take(t, 0, 200 * kChunk);
    bool continuous = true;
    for (std::int64_t i = 0; i < 200 * kChunk; ++i)
        continuous = continuous && all[static_cast<std::size_t>(2 * i)] == i % 30000;
    EXPECT_TRUE(continuous);

    // The server stalled for 200 ms: the next chunk goes where its stamp says, the gap is silence.
    const std::int64_t resumed = 200 * kChunk + zelq::sound::framesIn(200);
    const auto chunk = counting(1);
    t.add(resumed, chunk.data(), kChunk);
    EXPECT_EQ(t.end(), resumed + kChunk);
    const auto gap = take(t, 200 * kChunk, resumed + kChunk - 200 * kChunk);
    EXPECT_EQ(gap[0], 0);
    EXPECT_EQ(gap[gap.size() - 2 * kChunk - 2], 0);
    EXPECT_EQ(gap[gap.size() - 2 * kChunk], 1);

    // Frames before what was taken already are dropped, not mixed into the past.
    t.add(0, chunk.data(), kChunk);
    EXPECT_EQ(take(t, resumed + kChunk, kChunk)[0], 0);
}

TEST(SoundTimeline, ADeviceThatRunsSlowStaysWithinAFewMillisecondsAndSourcesMixSaturating) {
    // 100 parts per million slow for ten minutes: 60 ms behind by the device's own count.
    SoundTimeline slow;
    const std::vector<std::int16_t> loud(kChunk * 2, 30000);
    std::int64_t worst = 0;
    for (std::int64_t n = 0; n < 60000; ++n) {
        const std::int64_t stamp = n * kChunk + n * kChunk / 10000;
        slow.add(stamp, loud.data(), kChunk);
        worst = std::max(worst, std::abs(slow.end() - (stamp + kChunk)));
        if (n % 100 == 99)
            take(slow, slow.end() - 2 * kChunk, kChunk);  // keep memory small, as the writer does
    }
    EXPECT_LE(worst, SoundTimeline::kDrift + 48);

    SoundTimeline other;
    other.add(slow.end() - kChunk, loud.data(), kChunk);
    std::vector<std::int16_t> out(kChunk * 2, 0);
    slow.mixInto(slow.end() - kChunk, kChunk, out.data());
    other.mixInto(slow.end() - kChunk, kChunk, out.data());
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out.back(), 32767);
}

TEST(SoundTimeline, ADeviceHalfAPerCentFastOnABusyMachineStaysInStepForAnHour) {
    // The device makes 0.5 % more frames than the machine's clock counts; every 10 s the machine is busy
    // for 3 s, and then most chunks are stamped 5 to 50 ms late. Each chunk must land where it was
    // captured, within 20 ms, from the first second to the last of an hour.
    SoundTimeline t;
    std::mt19937 random(29);
    std::uniform_int_distribution<std::int64_t> calm(0, zelq::sound::framesIn(2));
    std::uniform_int_distribution<std::int64_t> late(zelq::sound::framesIn(5), zelq::sound::framesIn(50));
    std::bernoulli_distribution lateNow(0.6);
    const std::vector<std::int16_t> tone(kChunk * 2, 1000);
    const std::int64_t chunks = std::int64_t{3600} * 48000 * 1005 / 1000 / kChunk;
    std::int64_t worst = 0;
    for (std::int64_t n = 0; n < chunks; ++n) {
        const std::int64_t captured = n * kChunk * 1000 / 1005;
        const bool busy = captured % zelq::sound::framesIn(10000) >= zelq::sound::framesIn(7000);
        t.add(captured + (busy && lateNow(random) ? late(random) : calm(random)), tone.data(), kChunk);
        if (captured >= zelq::sound::framesIn(1000))
            worst = std::max(worst, std::abs(t.end() - kChunk - captured));
        if (n % 100 == 99)
            take(t, t.end() - 2 * kChunk, kChunk);  // keep memory small, as the writer does
    }
    EXPECT_LE(worst, zelq::sound::framesIn(20)) << "worst " << worst * 1000 / 48000 << " ms";
}

TEST(SoundTimeline, TwoSourcesTakenAsTheWriterTakesThemMixWithoutLosingASample) {
    // The computer's sound (1000 in every sample) and the microphone (100), two devices whose crystals
    // run 0.3 % fast and 0.2 % slow, stamped late now and then by a busy machine; the writer takes what
    // both have laid out, a few chunks at a time. Every frame of the mix holds both: a gap, an overlap
    // or a cut in either would show as a frame of 0, 100, 1000 or 2000.
    const std::vector<std::int16_t> computer(kChunk * 2, 1000);
    const std::vector<std::int16_t> microphone(kChunk * 2, 100);
    struct Device {
        SoundTimeline timeline;
        const std::vector<std::int16_t>& samples;
        std::int64_t perMille;  // frames made per 1000 frames of the machine's clock
        std::int64_t chunks = 0;
        std::int64_t first = 0;  // where its sound begins
        std::int64_t nextCapture() const { return chunks * kChunk * 1000 / perMille; }
    };
    Device devices[] = {{{}, computer, 1003}, {{}, microphone, 998}};
    std::mt19937 random(32);
    std::uniform_int_distribution<std::int64_t> late(0, zelq::sound::framesIn(40));
    std::bernoulli_distribution busy(0.2);
    std::int64_t written = 0;
    int wrong = 0;
    for (std::int64_t clock = 0; clock < zelq::sound::framesIn(600'000); clock += kChunk) {
        for (Device& d : devices) {
            while (d.nextCapture() <= clock) {
                const std::int64_t stamp = d.nextCapture() + (busy(random) ? late(random) : 0);
                if (d.chunks == 0)
                    d.first = stamp;
                d.timeline.add(stamp, d.samples.data(), kChunk);
                ++d.chunks;
            }
        }
        if (clock % (5 * kChunk) != 0)
            continue;
        const std::int64_t settled = std::min(devices[0].timeline.end(), devices[1].timeline.end());
        if (settled <= written)
            continue;
        std::vector<std::int16_t> out(static_cast<std::size_t>((settled - written) * 2), 0);
        for (Device& d : devices) d.timeline.mixInto(written, settled - written, out.data());
        // From the moment both have begun.
        for (std::int64_t f = std::max({written, devices[0].first, devices[1].first}); f < settled && wrong < 5; ++f) {
            if (out[static_cast<std::size_t>((f - written) * 2)] != 1100) {
                ++wrong;
                ADD_FAILURE() << "frame " << f << ": " << out[static_cast<std::size_t>((f - written) * 2)];
            }
        }
        written = settled;
    }
    EXPECT_GT(written, zelq::sound::framesIn(599'000));
}
