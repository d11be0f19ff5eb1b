#pragma once
// Plays the sound of one open file through the desktop's sound server, from a given time: a thread decodes
// (soundreader.h) and keeps the output's queue (platform/sound/soundoutput.h) a second or two ahead,
// putting each piece at its own time (silence before a stream that starts late and in its gaps), so that
// the output's clock is the file's sound clock. The player leads its pictures by that clock.
//
// A feeder plays once: a pause ends it and a new one takes over from where the pause left the picture.
// (A stream paused and let run again in the server reports nonsense times on PipeWire's PulseAudio
// interface, and a fresh stream costs only a few milliseconds.)
//
// Thread rules: construct, call and destroy on the UI thread; the thread is the feeder's own and is
// joined by the destructor (it never waits on anything but its own short sleeps).

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "media/soundreader.h"
#include "platform/sound/soundoutput.h"

namespace zelq {

class SoundFeeder {
public:
    // The feeder of the sound from `seconds` on, or null when the file has no sound to play.
    static std::unique_ptr<SoundFeeder> open(const std::filesystem::path& path, double seconds);
    ~SoundFeeder();
    SoundFeeder(const SoundFeeder&) = delete;
    SoundFeeder& operator=(const SoundFeeder&) = delete;

    // Lets the sound play (it waits until then).
    void run() { output_.setRunning(true); }
    // The file's time at the sound being heard now; none while the sound server has not said (or cannot).
    std::optional<double> heard() const {
        const std::optional<double> h = output_.heard();
        return h ? std::optional<double>(start_ + *h) : std::nullopt;
    }

private:
    SoundFeeder(std::unique_ptr<SoundReader> reader, double seconds);
    void feed();

    std::unique_ptr<SoundReader> reader_;
    double start_;
    sound::SoundOutput output_;
    std::atomic<bool> quit_{false};
    std::thread thread_;  // last: starts once the rest exists
};

}  // namespace zelq
