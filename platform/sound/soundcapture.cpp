#include "platform/sound/soundcapture.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>

#include <QLoggingCategory>
#include <algorithm>
#include <limits>

#include "platform/sound/soundformat.h"

namespace zelq::sound {

Q_LOGGING_CATEGORY(lcSound, "zelq.sound")

namespace {

// Small fragments: a chunk arrives every 10 ms, so a stamp is never far from its frames.
constexpr std::uint32_t kFragmentBytes = 480 * kBytesPerFrame;

// How often a timing report is asked for. The timeline outvotes stamps that a busy machine made late
// by taking the lower quartile of a second of them, but every stamp until the next report carries that
// report's error: at libpulse's own pace (a report every 1.5 s once a stream runs) one report that came
// late moved more than a second of stamps, which the timeline then took for drift and stretched the
// sound by 2 % to follow. Ten reports a second, a late one moves a tenth of them.
constexpr auto kReportEvery = std::chrono::milliseconds(100);

// Sound that comes before any report of the running stream waits in the server's buffer for one, but
// no longer than half the time a source may stall: from a server that never reports, it is stamped by
// its arrival.
constexpr std::size_t kMostWaitingBytes = SoundCapture::kStallFrames / 2 * kBytesPerFrame;

// What the server has delivered and we have not read yet, in bytes.
std::size_t waitingBytes(pa_stream* s) {
    const std::size_t bytes = pa_stream_readable_size(s);
    return bytes == static_cast<std::size_t>(-1) ? 0 : bytes;
}

}  // namespace

QString noServerText() {
    return QStringLiteral("无法连接声音服务器，本次录像的声音为静音");
}
QString soundLostText() {
    return QStringLiteral("声音服务器或声音设备已断开，其后的声音为静音");
}

SoundCapture::SoundCapture(SoundChoice choice, Notice notice) : notice_(std::move(notice)) {
    const auto add = [this](bool monitor) {
        auto s = std::make_unique<Source>();
        s->owner = this;
        s->monitor = monitor;
        sources_.push_back(std::move(s));
    };
    if (choice == SoundChoice::Computer || choice == SoundChoice::Both)
        add(true);
    if (choice == SoundChoice::Microphone || choice == SoundChoice::Both)
        add(false);
    connection_ =
        std::make_unique<PulseConnection>("ZELQ屏幕录像助手", [this](bool ready) { connected(ready); });
    connection_->start();
}

SoundCapture::~SoundCapture() {
    {
        // Our own ending is no fault to tell: the streams hear nothing more from here on.
        PulseConnection::Lock lock(*connection_);
        for (auto& s : sources_) {
            if (s->stream) {
                pa_stream_set_read_callback(s->stream, nullptr, nullptr);
                pa_stream_set_latency_update_callback(s->stream, nullptr, nullptr);
                pa_stream_set_state_callback(s->stream, nullptr, nullptr);
                pa_stream_disconnect(s->stream);
            }
        }
    }
    connection_->stop();
    for (auto& s : sources_)
        if (s->stream)
            pa_stream_unref(s->stream);
}

void SoundCapture::tell(const QString& text) {
    {
        std::lock_guard lock(mutex_);
        if (told_)
            return;
        told_ = true;
    }
    qCWarning(lcSound, "%s", qUtf8Printable(text));
    if (notice_)
        notice_(text);
}

void SoundCapture::connected(bool ready) {
    if (ready) {
        for (auto& s : sources_) {
            if (s->stream)
                continue;
            // "@DEFAULT_MONITOR@" is not understood by every server (PipeWire's takes it for the default
            // input): the monitor is found by asking for the default output and its monitor's name.
            pa_operation* op = s->monitor ? pa_context_get_server_info(connection_->context(),
                                                                       &SoundCapture::onServerInfo, s.get())
                                          : nullptr;
            if (op)
                pa_operation_unref(op);
            else
                openStream(*s);
        }
        return;
    }
    bool wasLive = false;
    {
        std::lock_guard lock(mutex_);
        for (auto& s : sources_) {
            wasLive = wasLive || s->stream;
            s->dead = true;
        }
    }
    tell(wasLive ? soundLostText() : noServerText());
}

void SoundCapture::onServerInfo(pa_context* c, const pa_server_info* info, void* source) {
    auto* src = static_cast<Source*>(source);
    pa_operation* op =
        info && info->default_sink_name
            ? pa_context_get_sink_info_by_name(c, info->default_sink_name, &SoundCapture::onSinkInfo, src)
            : nullptr;
    if (op)
        pa_operation_unref(op);
    else
        src->owner->openStream(*src);
}

void SoundCapture::onSinkInfo(pa_context* /*c*/, const pa_sink_info* info, int eol, void* source) {
    auto* src = static_cast<Source*>(source);
    if (info && info->monitor_source_name)
        src->device = info->monitor_source_name;
    if (eol != 0 && !src->stream)
        src->owner->openStream(*src);
}

void SoundCapture::openStream(Source& source) {
    const pa_sample_spec format = serverSampleFormat();
    source.stream = pa_stream_new(connection_->context(), "录像声音", &format, nullptr);
    if (!source.stream) {
        std::lock_guard lock(mutex_);
        source.dead = true;
        return;
    }
    pa_stream_set_read_callback(source.stream, &SoundCapture::onRead, &source);
    pa_stream_set_state_callback(source.stream, &SoundCapture::onStreamState, &source);
    pa_stream_set_latency_update_callback(source.stream, &SoundCapture::onTiming, &source);
    pa_buffer_attr attr{};
    attr.maxlength = std::numeric_limits<std::uint32_t>::max();
    attr.fragsize = kFragmentBytes;
    // Timing reports let each chunk be stamped with the moment it was captured, not when it arrived.
    // (libpulse's interpolation between reports smooths so slowly that on a busy machine it ran a few
    // per cent off for seconds; frames counted from the last report keep the device's own pace.)
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
    // Where the monitor's name could not be learnt, PulseAudio's own name for it is the best left.
    if (source.monitor && source.device.empty())
        source.device = "@DEFAULT_MONITOR@";
    const char* device = source.device.empty() ? nullptr : source.device.c_str();
    if (pa_stream_connect_record(source.stream, device, &attr, flags) < 0) {
        qCWarning(lcSound, "cannot record from %s: %s", device ? device : "the default input",
                  pa_strerror(pa_context_errno(connection_->context())));
        std::lock_guard lock(mutex_);
        source.dead = true;
    }
}

void SoundCapture::onStreamState(pa_stream* s, void* source) {
    auto* src = static_cast<Source*>(source);
    const pa_stream_state_t state = pa_stream_get_state(s);
    if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED)
        return;
    {
        std::lock_guard lock(src->owner->mutex_);
        src->dead = true;
    }
    src->owner->tell(soundLostText());
}

void SoundCapture::onTiming(pa_stream* s, void* source) {
    auto* src = static_cast<Source*>(source);
    pa_usec_t usec = 0;
    if (pa_stream_get_time(s, &usec) < 0)
        return;
    // A report taken before the stream delivered anything says nothing of when its frames are captured:
    // the stream's time stands still until the device runs, so "this time at this moment" put the first
    // frames up to 50 ms early, and the timeline stretched the first seconds of sound by 2 % to make up
    // for it. The server sends its data and its answers in order, so a report that finds sound already
    // here was taken while the stream ran.
    if (src->framesRead == 0 && waitingBytes(s) == 0)
        return;
    src->reported = true;
    src->reportAt = Clock::now();
    src->reportSeconds = static_cast<double>(usec) / 1e6;
    readWaiting(s, *src);
}

void SoundCapture::onRead(pa_stream* s, std::size_t bytes, void* source) {
    auto* src = static_cast<Source*>(source);
    const Clock::time_point now = Clock::now();
    if (now - src->askedAt >= kReportEvery) {
        src->askedAt = now;
        if (pa_operation* op = pa_stream_update_timing_info(s, nullptr, nullptr))
            pa_operation_unref(op);
    }
    if (src->reported || bytes >= kMostWaitingBytes)
        readWaiting(s, *src);
}

void SoundCapture::readWaiting(pa_stream* s, Source& src) {
    SoundCapture& me = *src.owner;
    const auto seconds = [](double value) {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(value));
    };
    // The moment the first frame waiting was captured: the last report says what stream time was
    // captured when; the frame's own stream time is its count. Without a report, the newest frame
    // waiting is taken as captured now. Never later than that, whatever a report says: after the
    // server had kept its sound from us for 700 ms on a busy machine, its reports put the stream's
    // time 400 ms behind the frames it had delivered, which stamped everything after it 400 ms in the
    // future and left as much silence in the file.
    const Clock::time_point latest =
        Clock::now() - seconds(static_cast<double>(waitingBytes(s) / kBytesPerFrame) / kRate);
    const Clock::time_point captured =
        src.reported ? std::min(latest, src.reportAt + seconds(static_cast<double>(src.framesRead) / kRate -
                                                               src.reportSeconds))
                     : latest;
    std::int64_t stamp = 0;
    bool stamped = false;
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0)
            return;
        const std::int64_t frames = static_cast<std::int64_t>(bytes / kBytesPerFrame);
        src.framesRead += frames;
        {
            std::lock_guard lock(me.mutex_);
            // Sound of a paused moment is not part of the recording.
            if (me.originSet_ && frames > 0 && !me.inPause(captured)) {
                // Fragments after the first in one call follow it.
                if (!stamped)
                    stamp = me.sinceOrigin(captured);
                stamped = true;
                if (data) {
                    src.timeline.add(stamp, static_cast<const std::int16_t*>(data), frames);
                } else {
                    // A hole the server reports: silence of that length, at its place.
                    const std::vector<std::int16_t> silence(static_cast<std::size_t>(frames * kChannels), 0);
                    src.timeline.add(stamp, silence.data(), frames);
                }
                stamp += frames;
            }
        }
        pa_stream_drop(s);
    }
}

void SoundCapture::setOrigin(Clock::time_point origin) {
    std::lock_guard lock(mutex_);
    origin_ = origin;
    originSet_ = true;
}

std::int64_t SoundCapture::framesAt(Clock::time_point t) const {
    std::lock_guard lock(mutex_);
    return sinceOrigin(t);
}

void SoundCapture::pause(Clock::time_point t) {
    std::lock_guard lock(mutex_);
    pauses_.push_back({t});
}

void SoundCapture::resume(Clock::time_point t) {
    std::lock_guard lock(mutex_);
    if (!pauses_.empty() && pauses_.back().to == Clock::time_point::max())
        pauses_.back().to = t;
}

bool SoundCapture::inPause(Clock::time_point t) const {
    return std::any_of(pauses_.begin(), pauses_.end(),
                       [t](const Pause& p) { return t >= p.from && t < p.to; });
}

std::int64_t SoundCapture::sinceOrigin(Clock::time_point t) const {
    Clock::duration paused{};
    for (const Pause& p : pauses_) {
        if (t >= p.to)
            paused += p.to - p.from;
        else if (t >= p.from)
            paused += t - p.from;
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t - origin_ - paused).count();
    // Rounded to the nearest frame, whichever side of the origin.
    const std::int64_t scaled = ns * kRate;
    return (scaled >= 0 ? scaled + 500'000'000 : scaled - 500'000'000) / 1'000'000'000;
}

std::int64_t SoundCapture::settled(std::int64_t now) const {
    std::lock_guard lock(mutex_);
    std::int64_t result = now;
    for (const auto& s : sources_)
        if (!s->dead)
            result = std::min(result, std::max(s->timeline.end(), now - kStallFrames));
    return result;
}

void SoundCapture::take(std::int64_t from, std::int64_t frames, std::int16_t* out) {
    std::fill(out, out + frames * kChannels, std::int16_t{0});
    std::lock_guard lock(mutex_);
    for (auto& s : sources_) s->timeline.mixInto(from, frames, out);
}

}  // namespace zelq::sound
