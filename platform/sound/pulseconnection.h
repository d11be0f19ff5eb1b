#pragma once
// A connection to the desktop's sound server through libpulse: PulseAudio itself, or PipeWire through its
// PulseAudio interface (pipewire-pulse), which every PipeWire desktop runs. libpulse's threaded main loop
// runs the connection on a thread of its own, so no caller ever waits for the server: connecting, a
// server that answers slowly and one that has gone away all play out on that thread.
//
// Thread rules: construct and destroy on one thread; the state callback and every stream callback run on
// the connection's thread. Anything that touches the context or its streams from another thread holds a
// Lock while it does. stop() (also done by the destructor) ends the thread; after it no callback runs,
// so the owner may then release its streams without a lock.

#include <functional>

struct pa_context;
struct pa_threaded_mainloop;
struct pa_sample_spec;

namespace zelq::sound {

// The program's one sound format (soundformat.h) in libpulse's terms, for every stream it opens.
pa_sample_spec serverSampleFormat();

class PulseConnection {
public:
    // Called on the connection's thread: true once the server is ready, false when it cannot be reached
    // or has gone away (once; the connection is then dead).
    using StateChanged = std::function<void(bool ready)>;

    // Makes the connection; start() begins connecting.
    PulseConnection(const char* clientName, StateChanged changed);
    // Starts the thread and begins connecting; returns at once. Never autospawns a server. Apart from the
    // constructor so that the owner holds the connection before its callback can run.
    void start();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Null when libpulse could not even start (no memory): the owner then behaves as without a server.
    pa_context* context() const { return context_; }
    pa_threaded_mainloop* loop() const { return loop_; }
    void stop();

    class Lock {
    public:
        explicit Lock(const PulseConnection& c);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

private:
    static void onState(pa_context* c, void* self);

    StateChanged changed_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool running_ = false;
    bool told_ = false;  // the end was told once already
};

}  // namespace zelq::sound
