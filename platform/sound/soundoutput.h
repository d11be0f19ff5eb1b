#pragma once
// Sound played out through the desktop's sound server (pulseconnection.h), in the format of
// soundformat.h. Frames are handed to a queue of our own; the server's thread takes them from it as the
// device needs them, so no caller waits for the server. The stream starts paused: whoever plays fills
// the queue first, then lets it run.
//
// Its clock: heard() is how much of the stream the listener has heard so far, by the server's own
// account (what has left the device, less the device's latency) at its last timing report, carried
// forward on the steady clock since. (libpulse's own interpolation smooths so slowly that on a busy
// machine it ran 3 % behind the sound for seconds, then jumped.) Once running it goes on at the device's
// pace even when the queue runs dry (silence is heard then), so a player may lead its pictures by it.
//
// Thread rules: any thread may call anything; the queue and the state are under a mutex, the stream is
// touched under the connection's lock.

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/sound/pulseconnection.h"

struct pa_stream;

namespace zelq::sound {

class SoundOutput {
public:
    // The most our queue holds: a few seconds, so that a decoder far ahead does not hold a whole file.
    static constexpr std::int64_t kMostQueued = 48000 * 2;

    // What the server keeps ahead of the device by default: enough for a busy machine, little enough for
    // a pause to be prompt.
    static constexpr int kDefaultAheadMs = 100;

    // Begins connecting; returns at once. `aheadMs` is how much the server holds ahead of the device: the
    // device runs dry (underflows()) when our thread is kept from refilling it for longer than that, and
    // the sound written after that comes too late for its place. A player that is never paused may ask
    // for more.
    explicit SoundOutput(int aheadMs = kDefaultAheadMs);
    ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    // Queues up to `frames` interleaved frames; answers how many it took (fewer when the queue is full).
    std::int64_t queue(const std::int16_t* samples, std::int64_t frames);
    // Frames waiting in our queue (not yet handed to the server).
    std::int64_t queued() const;
    // Runs or pauses the stream (at once, or as soon as it exists).
    void setRunning(bool running);
    // Seconds heard since the stream began; none until the server has said, or when it cannot be had.
    std::optional<double> heard() const;
    // True once the server cannot be reached or the stream has failed: nothing will be heard.
    bool failed() const;
    // True once the stream is there and can be run.
    bool ready() const;
    // Times the device found the stream empty while it ran: each is silence heard where sound was meant,
    // and whatever is queued after it is heard that much later than the clock a player leads by.
    int underflows() const;
    // Seconds the device has stood still, as the server's reports came to show, beyond what the steady
    // clock reckoned: heard() ran ahead of what was heard by up to that much before each report said so.
    double stoodStill() const;

private:
    void connected(bool ready);
    void applyRunning();  // with the connection's lock held
    static void onWrite(pa_stream* s, std::size_t bytes, void* self);
    static void onState(pa_stream* s, void* self);
    static void onTiming(pa_stream* s, void* self);
    static void onUnderflow(pa_stream* s, void* self);
    using Clock = std::chrono::steady_clock;

    mutable std::mutex mutex_;
    std::deque<std::int16_t> queue_;
    bool running_ = false;
    bool failed_ = false;
    bool ready_ = false;
    int underflows_ = 0;
    double stoodStill_ = 0;
    const std::uint32_t aheadBytes_;
    // The server's last report: `heardAt` seconds heard at `reportedAt`; none yet while `reported` is false.
    bool reported_ = false;
    Clock::time_point reportedAt_;
    double heardAt_ = 0;
    mutable double lastHeard_ = 0;  // what heard() answered last: it never goes back
    pa_stream* stream_ = nullptr;
    std::unique_ptr<PulseConnection> connection_;  // last: stops before the rest goes
};

}  // namespace zelq::sound
