#pragma once
// A speaker that plays a pattern of tones into the sound server and says when a picture should show each
// one: a 1 kHz tone of `length` seconds every `every` seconds from `first` on, `count` times. The sync
// test and the sync bench both record a marker that is bright while a tone is heard, and compare the
// file's sound with its pictures.
//
// The speaker is fed by a thread of its own and the server holds a second ahead of the device: on a
// busy machine the server's 100 ms of a player were seen to run dry while a second and a half waited
// in our queue, and the sound written after that came too late for its place, a tone cut or lost
// against the clock the marker follows (underflows() counts any such moment, so a run can tell).
//
// Thread rules: construct, poll and destroy on one thread (the one that draws the marker); the feeder
// only queues into SoundOutput, which is thread-safe.

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "common/soundprobe.h"
#include "platform/sound/soundoutput.h"

namespace soundsync {

struct TonePattern {
    double first = 1.0;
    double every = 0.8;
    double length = 0.15;
    int count = 6;
    double end() const { return first + count * every; }
    bool toneAt(double seconds) const;
};

class ToneSpeaker {
public:
    explicit ToneSpeaker(TonePattern pattern);
    ~ToneSpeaker();
    ToneSpeaker(const ToneSpeaker&) = delete;
    ToneSpeaker& operator=(const ToneSpeaker&) = delete;

    // Waits up to `ms` for the stream; false when the server cannot be had.
    bool waitReady(int ms);
    // Fills the queue, starts the feeder and lets the stream run.
    void start();
    // Whether the marker must change now, by what the listener has heard: true to turn bright, false to
    // turn dark, none to leave it. A turn to bright counts as shown once markShown() is called.
    std::optional<bool> turn();
    // Called right after the marker was drawn bright: notes how late that was, by the same clock.
    void markShown();
    // The whole pattern has been heard, with half a second of silence after it.
    bool finished() const;

    // For each tone shown so far, in order: seconds from its start to its marker reaching the screen,
    // as a span: from when the marker was asked for to when the display server had drawn it, less what
    // the device stood still by the time of the flash after next (the clock ran that much ahead until a
    // report said so).
    std::vector<soundprobe::Span> shownLate() const;
    int shown() const { return static_cast<int>(asked_.size()); }
    int underflows() const { return speaker_.underflows(); }
    double stoodStill() const { return speaker_.stoodStill(); }

private:
    void feed(std::int64_t frames);

    const TonePattern pattern_;
    zelq::sound::SoundOutput speaker_;
    std::int64_t fed_ = 0;  // frames queued so far, the feeder's alone once it runs
    bool bright_ = false;
    double askedAt_ = 0;  // when the marker last turned bright, by the speaker's clock
    // One each per tone shown: a clock that wavers never shows a tone twice.
    std::vector<double> asked_, drawn_;  // the speaker's clock when the marker was asked for, and drawn
    std::vector<double> stillAt_;        // the device's standstill so far, when it was drawn
    std::atomic<bool> stop_{false};
    std::thread feeder_;
};

}  // namespace soundsync
