#pragma once
// The sound of one source laid out on the recording's clock. Chunks arrive from the sound server with the
// moment their first frame was captured, turned into a frame position (frames since the recording's first
// position). Within a chunk the frames follow one another at the device's rate; from chunk to chunk the
// timeline follows the device too, as long as the stamps agree with it, so the stamps' jitter never
// reaches the sound. Where they disagree the clock wins:
// - a stamp far ahead of where the last chunk ended (the server stalled, the device was gone, data was
//   lost) starts the chunk at its stamp; the frames skipped stay silent;
// - a stamp far behind starts the chunk at its stamp too, over what was there;
// - a small steady difference (the device's crystal runs fast or slow against the machine's clock, from
//   tens of parts per million to half a per cent) is measured over the last second of chunks, and once
//   it passes a few milliseconds the timeline takes it up, a few frames a chunk, so that no gap or cut
//   is heard.
// A stamp is late whenever the machine was busy when the chunk came, never early: the difference taken
// is the lower quartile of the last second's, so a busy stretch that makes most stamps late does not
// drag the sound after the picture; only a difference that most chunks share is one.
// So the sound never drifts from the picture by more than a few milliseconds beyond the stamps' own error,
// however long the recording.
//
// Not thread-safe: the capture guards it with its lock.

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace zelq::sound {

class SoundTimeline {
public:
    // Thresholds, in frames at 48 kHz.
    static constexpr std::int64_t kJump = 48000 * 60 / 1000;  // 60 ms: a gap or an overlap
    static constexpr std::int64_t kDrift = 48000 * 8 / 1000;  // 8 ms: an averaged drift taken up

    // A chunk of `frames` interleaved stereo frames whose first frame belongs at `stamp` by the clock.
    // Frames before the first one not yet taken are dropped.
    void add(std::int64_t stamp, const std::int16_t* samples, std::int64_t frames);
    // The position after the last frame laid out so far (0 before any).
    std::int64_t end() const { return next_; }
    bool started() const { return started_; }
    // Adds the frames [from, from + frames) to `out` (interleaved stereo), saturating; positions with no
    // sound add nothing. Everything before from + frames is forgotten afterwards.
    void mixInto(std::int64_t from, std::int64_t frames, std::int16_t* out);

private:
    // The last second of differences between a chunk's stamp and where the chunk before it ended.
    static constexpr std::size_t kWindow = 100;
    void remember(std::int64_t difference);
    std::int64_t lowerQuartile() const;

    std::deque<std::int16_t> samples_;  // frames from base_ on, interleaved
    std::int64_t base_ = 0;
    std::int64_t next_ = 0;
    std::array<std::int64_t, kWindow> differences_{};
    std::size_t remembered_ = 0;  // differences_ filled so far (at most kWindow)
    std::size_t oldest_ = 0;      // where the next difference goes once full
    std::int64_t pending_ = 0;              // correction measured, not yet taken up, frames
    std::vector<std::int16_t> stretched_;  // a chunk laid longer or shorter
    bool started_ = false;
};

}  // namespace zelq::sound
