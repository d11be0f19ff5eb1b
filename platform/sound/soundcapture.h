#pragma once
// Sound for a recording: what the computer plays (the monitor of the default output), the microphone
// (the default input) or both mixed, captured from the desktop's sound server on the connection's own
// thread (pulseconnection.h) and laid out on the recording's clock (soundtimeline.h) in the format of
// soundformat.h.
//
// The recording never waits for the server: construction only begins connecting, and whatever has not
// arrived when it is needed is silence. A server that cannot be reached, one that goes away, a device
// that disappears: the sound goes on as silence, and `notice` is called once with a text for the user.
//
// Thread rules: construct, setOrigin, settled, take and destroy on the recording's threads, one at a
// time; `notice` runs on the connection's thread. The timelines are shared with that thread under a mutex.

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound/pulseconnection.h"
#include "platform/sound/soundtimeline.h"

struct pa_context;
struct pa_stream;
struct pa_server_info;
struct pa_sink_info;

namespace zelq::sound {

// The choices of the options dialog, in the order of its drop-down box.
enum class SoundChoice { None, Computer, Microphone, Both };

// The user's texts for the faults above.
QString noServerText();
QString soundLostText();

class SoundCapture {
public:
    using Clock = std::chrono::steady_clock;
    using Notice = std::function<void(const QString&)>;

    // How long a source's sound may take to reach us before its frames are taken as silence: far more
    // than any server's capture latency, and than a busy machine keeps the server or the connection's
    // thread waiting (at load 12 sound came 330-360 ms late, and a limit of 300 ms had put silence in
    // its place); the file's sound is written at most this far behind its picture, and the end of a
    // recording waits this long at most for a source that has stopped.
    static constexpr std::int64_t kStallFrames = 1000 * 48;

    // Begins connecting for `choice` (not None) and returns at once.
    SoundCapture(SoundChoice choice, Notice notice);
    ~SoundCapture();
    SoundCapture(const SoundCapture&) = delete;
    SoundCapture& operator=(const SoundCapture&) = delete;

    // The moment of the recording's first frame: frame 0. Sound captured before it is not kept.
    void setOrigin(Clock::time_point origin);
    // Frames since the origin at `t`, the time of every pause before `t` left out; a moment inside a
    // pause counts as its start.
    std::int64_t framesAt(Clock::time_point t) const;
    // A pause of the recording from `t` on: sound captured from then until resume() is not kept, and the
    // recording's time stands still, so the sound after it follows on from the sound before.
    void pause(Clock::time_point t);
    void resume(Clock::time_point t);
    // The frames before this are final at `now` (frames since the origin): every live source has laid
    // them out, or has stalled for longer than kStallFrames. Never past `now`.
    std::int64_t settled(std::int64_t now) const;
    // Frames [from, from + frames) of every source mixed, silence where there was none, into `out`
    // (interleaved stereo, overwritten). Frames before from + frames are forgotten.
    void take(std::int64_t from, std::int64_t frames, std::int16_t* out);

private:
    struct Source {
        SoundCapture* owner = nullptr;
        bool monitor = false;  // the default output's monitor; otherwise the default input
        std::string device;    // the monitor's name once the server has told it
        pa_stream* stream = nullptr;
        SoundTimeline timeline;
        bool dead = false;  // failed or never made: it brings nothing more
        // The server's last timing report: the stream's time (of the newest frame captured) and when it
        // arrived; frames are stamped from it by their count. Only a report taken once the stream was
        // delivering counts (see onTiming). Connection's thread only.
        bool reported = false;
        Clock::time_point reportAt;
        double reportSeconds = 0;
        std::int64_t framesRead = 0;
        Clock::time_point askedAt;  // when a report was last asked for
    };
    void connected(bool ready);
    void openStream(Source& source);
    static void onRead(pa_stream* s, std::size_t bytes, void* source);
    static void readWaiting(pa_stream* s, Source& source);
    static void onServerInfo(pa_context* c, const pa_server_info* info, void* source);
    static void onSinkInfo(pa_context* c, const pa_sink_info* info, int eol, void* source);
    static void onStreamState(pa_stream* s, void* source);
    static void onTiming(pa_stream* s, void* source);
    void tell(const QString& text);
    std::int64_t sinceOrigin(Clock::time_point t) const;  // with mutex_ held
    bool inPause(Clock::time_point t) const;              // with mutex_ held

    Notice notice_;
    mutable std::mutex mutex_;  // origin_, the timelines, `dead`, told_
    std::vector<std::unique_ptr<Source>> sources_;
    Clock::time_point origin_{};
    bool originSet_ = false;
    struct Pause {
        Clock::time_point from;
        Clock::time_point to = Clock::time_point::max();  // max while it lasts
    };
    std::vector<Pause> pauses_;
    bool told_ = false;
    // Last, so that it stops (and no callback runs any more) before the sources go.
    std::unique_ptr<PulseConnection> connection_;
};

}  // namespace zelq::sound
