#pragma once
// A PipeWire video stream of a monitor, as the screen-cast portal hands it over: the newest picture kept,
// and what changed since it was last looked at.
//
// The desktop sends a picture only when the screen changes (none at all for a still screen), so the
// stream keeps the newest one and a recording uses it at every position of its time grid. Each picture
// comes with the parts the desktop redrew (the damage metadata); only those are copied into the kept
// picture, and they are gathered until the recording takes them as its "rows changed" hint.
//
// Only BGRx and BGRA pictures in shared memory are asked for (what a portal casts without a GPU, and what
// Format_RGB32 is in memory). The stream fails (error() says why) when PipeWire goes away, when the desktop
// stops the cast, or when it sends another format or size than agreed.
//
// Thread rules: PipeWire delivers pictures on a thread of its own; every public call is thread-safe.

#include <QImage>
#include <QRegion>
#include <QString>
#include <functional>
#include <memory>

namespace zelq {

class PipeWireStream {
public:
    PipeWireStream();
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Connects to the node over the connection `fd` (taken, closed by the stream) and waits for the first
    // picture while keepWaiting() is true. False with error() when no picture came.
    bool start(int fd, unsigned node, const std::function<bool()>& keepWaiting);

    // Hands the newest picture and what was redrawn since the last call to `use` (under the stream's
    // lock: keep it short), then forgets the redrawn parts. False when the stream has failed.
    using Use = std::function<void(const QImage& picture, const QRegion& redrawn)>;
    bool take(const Use& use);

    // Why the stream failed; empty while it works.
    QString error() const;
    // Pictures received since start (for tests and figures).
    long long framesReceived() const;

    // Named here (not private) so that PipeWire's C callbacks in the source file can reach it.
    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};

}  // namespace zelq
