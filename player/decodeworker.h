#pragma once
// The decoding worker of one open file: a thread that reads and decodes the file ahead of the screen,
// scales each picture to the destination size and queues it, until the pool of pictures is used up; it
// then sleeps until the screen gives a picture back. At the end of the stream it queues the end mark and
// sleeps until told to go back to the start or to quit. It never touches a widget: the UI thread takes
// the pictures from its queue.
//
// Thread rules: construct, call and destroy on the UI thread. `ready` is called by the worker, without
// the lock held, each time a picture or the end mark joins the queue; it must only post to the UI thread.
// No call blocks for longer than the worker's short queue operations: decoding runs outside the lock.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "media/mediasource.h"
#include "player/picturequeue.h"
#include "player/picturescaler.h"

namespace zelq {

class DecodeWorker {
public:
    // Pictures in the pool: the one on screen, the one being made and three waiting, a margin of three
    // frame intervals for a slow key frame or a busy machine. More would only hold memory.
    static constexpr int kPoolSize = 5;

    DecodeWorker(std::unique_ptr<MediaSource> source, int width, int height, std::function<void()> ready);
    // Stops the thread and waits for it (at most one frame's decoding).
    ~DecodeWorker();
    DecodeWorker(const DecodeWorker&) = delete;
    DecodeWorker& operator=(const DecodeWorker&) = delete;

    // The size pictures are scaled to from the next one on; pictures already queued keep theirs.
    void setSize(int width, int height);
    // Throws away the queued pictures and starts again from the first frame.
    void rewind();

    struct Head {
        std::int64_t position = 0;
        bool end = false;
    };
    // The first and second entries of the queue, if there are that many.
    std::optional<Head> first() const;
    std::optional<Head> second() const;
    std::unique_ptr<Picture> popFirst();
    // A picture the screen no longer shows goes back to the pool, and the worker goes on.
    void recycle(std::unique_ptr<Picture> picture);

private:
    void run();

    std::unique_ptr<MediaSource> source_;
    std::function<void()> ready_;
    PictureScaler scaler_;  // the worker's alone

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    PictureQueue queue_{kPoolSize};
    int width_, height_;
    std::uint64_t generation_ = 0;  // counts rewinds, so a picture decoded before one is dropped
    bool rewindWanted_ = false;
    bool ended_ = false;
    bool quit_ = false;
    std::thread thread_;  // last: it starts once everything above exists
};

}  // namespace zelq
