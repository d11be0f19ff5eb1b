#include "platform/sound/pulseconnection.h"

#include <pulse/context.h>
#include <pulse/sample.h>
#include <pulse/thread-mainloop.h>

#include "platform/sound/soundformat.h"

namespace zelq::sound {

pa_sample_spec serverSampleFormat() {
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = kRate;
    format.channels = kChannels;
    return format;
}

PulseConnection::PulseConnection(const char* clientName, StateChanged changed)
    : changed_(std::move(changed)) {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_)
        return;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), clientName);
    if (!context_)
        return;
    pa_context_set_state_callback(context_, &PulseConnection::onState, this);
}

void PulseConnection::start() {
    if (!context_) {
        told_ = true;
        if (changed_)
            changed_(false);
        return;
    }
    // The state callback reports a refused connection too; a failure here is the same news, told now.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        told_ = true;
        if (changed_)
            changed_(false);
        return;
    }
    running_ = pa_threaded_mainloop_start(loop_) >= 0;
}

PulseConnection::~PulseConnection() {
    stop();
    if (context_)
        pa_context_unref(context_);
    if (loop_)
        pa_threaded_mainloop_free(loop_);
}

void PulseConnection::stop() {
    if (!loop_)
        return;
    if (context_) {
        Lock lock(*this);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
    }
    if (running_) {
        pa_threaded_mainloop_stop(loop_);
        running_ = false;
    }
}

void PulseConnection::onState(pa_context* c, void* self) {
    auto* me = static_cast<PulseConnection*>(self);
    switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY:
            if (me->changed_)
                me->changed_(true);
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            if (!me->told_ && me->changed_) {
                me->told_ = true;
                me->changed_(false);
            }
            break;
        default:
            break;
    }
}

PulseConnection::Lock::Lock(const PulseConnection& c) : loop_(c.loop_) {
    // Locking from the loop's own thread would deadlock; callbacks are already inside the lock.
    if (loop_ && !pa_threaded_mainloop_in_thread(loop_))
        pa_threaded_mainloop_lock(loop_);
    else
        loop_ = nullptr;
}

PulseConnection::Lock::~Lock() {
    if (loop_)
        pa_threaded_mainloop_unlock(loop_);
}

}  // namespace zelq::sound
