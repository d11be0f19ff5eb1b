#pragma once
// Pictures on their way from the decoding worker to the screen: a small fixed pool of buffers, scaled
// pictures waiting for their time in order, and the end-of-stream mark. The pool is what bounds the
// player's memory: however far the worker gets ahead, it never holds more than the pool's pictures.
//
// Not thread-safe: the decoding worker guards it with its lock.

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/mem.h>
}

namespace zelq {

struct AvFreeDeleter {
    void operator()(std::uint8_t* p) const { av_free(p); }
};

// One picture scaled to the destination, 32-bit BGRX rows top-down (what a 32-bit RGB image holds on a
// little-endian machine), or the end-of-stream mark, which has no pixels.
struct Picture {
    std::int64_t position = 0;  // ticks from the stream's start; for the end mark, the stream's end
    bool end = false;
    int width = 0, height = 0, stride = 0;
    std::unique_ptr<std::uint8_t, AvFreeDeleter> pixels;
    std::size_t capacity = 0;

    // Makes room for a width x height picture, keeping the buffer when it is big enough. False when the
    // memory is refused.
    bool reserve(int w, int h);
};

class PictureQueue {
public:
    explicit PictureQueue(int pictures);

    // A buffer to fill, or null when every picture of the pool is queued or on screen.
    std::unique_ptr<Picture> takeFree();
    // A picture (or end mark) joins the queue.
    void push(std::unique_ptr<Picture> picture);
    void pushEnd(std::int64_t position);
    // The first picture waiting, if any; the one after it, if any.
    const Picture* first() const { return ready_.empty() ? nullptr : ready_.front().get(); }
    const Picture* second() const { return ready_.size() < 2 ? nullptr : ready_[1].get(); }
    std::unique_ptr<Picture> popFirst();
    // A picture goes back to the pool (end marks are dropped).
    void recycle(std::unique_ptr<Picture> picture);
    // Every waiting picture goes back to the pool.
    void clear();
    bool hasFree() const { return !free_.empty(); }

private:
    std::vector<std::unique_ptr<Picture>> free_;
    std::deque<std::unique_ptr<Picture>> ready_;
};

}  // namespace zelq
