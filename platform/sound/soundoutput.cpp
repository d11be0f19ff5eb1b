#include "platform/sound/soundoutput.h"

#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/sound/soundformat.h"

namespace zelq::sound {

Q_DECLARE_LOGGING_CATEGORY(lcSound)

SoundOutput::SoundOutput(int aheadMs)
    : aheadBytes_(static_cast<std::uint32_t>(std::max(aheadMs, 1)) * (kRate / 1000) * kBytesPerFrame) {
    connection_ =
        std::make_unique<PulseConnection>("ZELQ屏幕录像助手", [this](bool ready) { connected(ready); });
    connection_->start();
}

SoundOutput::~SoundOutput() {
    {
        PulseConnection::Lock lock(*connection_);
        if (stream_) {
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
        }
    }
    connection_->stop();
    if (stream_)
        pa_stream_unref(stream_);
}

void SoundOutput::connected(bool ready) {
    if (!ready) {
        std::lock_guard lock(mutex_);
        failed_ = true;
        return;
    }
    const pa_sample_spec format = serverSampleFormat();
    stream_ = pa_stream_new(connection_->context(), "录像声音", &format, nullptr);
    if (!stream_) {
        std::lock_guard lock(mutex_);
        failed_ = true;
        return;
    }
    pa_stream_set_write_callback(stream_, &SoundOutput::onWrite, this);
    pa_stream_set_state_callback(stream_, &SoundOutput::onState, this);
    pa_stream_set_latency_update_callback(stream_, &SoundOutput::onTiming, this);
    pa_stream_set_underflow_callback(stream_, &SoundOutput::onUnderflow, this);
    pa_buffer_attr attr{};
    attr.maxlength = std::numeric_limits<std::uint32_t>::max();
    attr.tlength = aheadBytes_;
    // No pre-buffering: once running the stream never stops for want of data, so its clock keeps time
    // with the device whatever the queue does.
    attr.prebuf = 0;
    attr.minreq = std::numeric_limits<std::uint32_t>::max();
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_AUTO_TIMING_UPDATE |
                                                      PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        std::lock_guard lock(mutex_);
        failed_ = true;
    }
}

void SoundOutput::onState(pa_stream* s, void* self) {
    auto* me = static_cast<SoundOutput*>(self);
    const pa_stream_state_t state = pa_stream_get_state(s);
    if (state == PA_STREAM_READY) {
        {
            std::lock_guard lock(me->mutex_);
            me->ready_ = true;
        }
        me->applyRunning();
    } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        qCWarning(lcSound, "the sound output stream has ended");
        std::lock_guard lock(me->mutex_);
        me->failed_ = true;
    }
}

void SoundOutput::onTiming(pa_stream* s, void* self) {
    auto* me = static_cast<SoundOutput*>(self);
    const Clock::time_point now = Clock::now();
    // What the listener had heard when the server wrote its report, and when that was. Not
    // pa_stream_get_time(): it adds the time our request took to reach the server as if the answer had
    // taken as long to come back, and on a busy machine that put the clock 100 ms ahead for a second,
    // until the next report took it back.
    const pa_timing_info* info = pa_stream_get_timing_info(s);
    if (!info || info->read_index_corrupt)
        return;
    timeval wallNow{};
    pa_gettimeofday(&wallNow);
    const pa_usec_t age =
        pa_timeval_cmp(&wallNow, &info->timestamp) > 0 ? pa_timeval_diff(&wallNow, &info->timestamp) : 0;
    const pa_usec_t played =
        pa_bytes_to_usec(static_cast<std::uint64_t>(std::max<std::int64_t>(info->read_index, 0)),
                         pa_stream_get_sample_spec(s));
    const double reported =
        static_cast<double>(played > info->sink_usec ? played - info->sink_usec : 0) / 1e6;
    const Clock::time_point reportedAt = now - std::chrono::microseconds(age);
    std::lock_guard lock(me->mutex_);
    // A paused stream's report says where it stopped; only a running one's is carried forward.
    if (!me->running_)
        return;
    if (me->reported_) {
        // The steady clock's reckoning against the server's own: far apart means the device stood still
        // (or hurried) meanwhile, and pictures led by heard() ran ahead of what was heard.
        const double reckoned =
            me->heardAt_ + std::chrono::duration<double>(reportedAt - me->reportedAt_).count();
        if (std::abs(reckoned - reported) > 0.02)
            qCDebug(lcSound, "the server's clock is %.1f ms behind ours at %.3f s heard",
                    (reckoned - reported) * 1000, reported);
        if (reckoned - reported > 0.02)
            me->stoodStill_ += reckoned - reported;
    }
    me->reported_ = true;
    me->reportedAt_ = reportedAt;
    me->heardAt_ = reported;
}

void SoundOutput::onUnderflow(pa_stream*, void* self) {
    auto* me = static_cast<SoundOutput*>(self);
    std::lock_guard lock(me->mutex_);
    ++me->underflows_;
    // When, by the stream's clock: a long recording's log places it beside the recording's own events.
    const double at =
        me->reported_ ? me->heardAt_ + std::chrono::duration<double>(Clock::now() - me->reportedAt_).count()
                      : 0;
    qCDebug(lcSound, "the output ran dry at %.3f s heard, %zu frames queued", at,
            me->queue_.size() / kChannels);
}

void SoundOutput::onWrite(pa_stream* s, std::size_t bytes, void* self) {
    auto* me = static_cast<SoundOutput*>(self);
    std::vector<std::int16_t> chunk;
    {
        std::lock_guard lock(me->mutex_);
        const std::size_t samples = std::min(bytes / 2, me->queue_.size());
        chunk.assign(me->queue_.begin(), me->queue_.begin() + static_cast<std::ptrdiff_t>(samples));
        me->queue_.erase(me->queue_.begin(), me->queue_.begin() + static_cast<std::ptrdiff_t>(samples));
    }
    // Whole frames only; an empty queue writes nothing and the device plays silence meanwhile.
    chunk.resize(chunk.size() - chunk.size() % kChannels);
    if (!chunk.empty())
        pa_stream_write(s, chunk.data(), chunk.size() * 2, nullptr, 0, PA_SEEK_RELATIVE);
}

std::int64_t SoundOutput::queue(const std::int16_t* samples, std::int64_t frames) {
    std::lock_guard lock(mutex_);
    const std::int64_t room = kMostQueued - static_cast<std::int64_t>(queue_.size()) / kChannels;
    const std::int64_t taken = std::clamp<std::int64_t>(frames, 0, std::max<std::int64_t>(room, 0));
    queue_.insert(queue_.end(), samples, samples + taken * kChannels);
    return taken;
}

std::int64_t SoundOutput::queued() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::int64_t>(queue_.size()) / kChannels;
}

void SoundOutput::setRunning(bool running) {
    {
        std::lock_guard lock(mutex_);
        if (running_ && !running && reported_) {
            // Held where it is until a report of the running stream says otherwise.
            heardAt_ += std::chrono::duration<double>(Clock::now() - reportedAt_).count();
            reportedAt_ = Clock::now();
        }
        running_ = running;
    }
    applyRunning();
}

void SoundOutput::applyRunning() {
    PulseConnection::Lock lock(*connection_);
    bool running = false, ready = false;
    {
        std::lock_guard guard(mutex_);
        running = running_;
        ready = ready_;
    }
    if (!ready || !stream_)
        return;
    if (pa_operation* op = pa_stream_cork(stream_, running ? 0 : 1, nullptr, nullptr))
        pa_operation_unref(op);
    // The clock needs a report of the running stream at once, not at the next periodic one.
    if (pa_operation* op = pa_stream_update_timing_info(stream_, nullptr, nullptr))
        pa_operation_unref(op);
    // A stream let run asks for data at once rather than at the next request.
    if (running) {
        const std::size_t writable = pa_stream_writable_size(stream_);
        if (writable > 0 && writable != static_cast<std::size_t>(-1))
            onWrite(stream_, writable, this);
    }
}

std::optional<double> SoundOutput::heard() const {
    std::lock_guard lock(mutex_);
    if (!reported_ || failed_)
        return std::nullopt;
    // A report a little behind the steady clock's reckoning must not turn the clock back: pictures led
    // by it would step back, and a listener hears no such thing.
    const double now =
        running_ ? heardAt_ + std::chrono::duration<double>(Clock::now() - reportedAt_).count() : heardAt_;
    lastHeard_ = std::max(lastHeard_, now);
    return lastHeard_;
}

bool SoundOutput::failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

int SoundOutput::underflows() const {
    std::lock_guard lock(mutex_);
    return underflows_;
}

double SoundOutput::stoodStill() const {
    std::lock_guard lock(mutex_);
    return stoodStill_;
}

bool SoundOutput::ready() const {
    std::lock_guard lock(mutex_);
    return ready_;
}

}  // namespace zelq::sound
