#pragma once
// Writes the frames of a recording on a thread of its own, so that the grab of the next position runs
// while the last one is encoded and written: at high rates a pass that grabs and then encodes on one
// thread takes the sum of both, and positions fall empty.
//
// One frame is in hand at most: submit() waits until the write before it has ended, so memory stays at three
// frames (the one being written, the one being grabbed, the one written last and not yet taken back) and a slow disk or encoder still slows the loop
// down instead of piling frames up. Writes run in the order submitted, one at a time.
//
// Thread rules: submit() and finish() are called by one thread (the recording worker); the write function
// runs on the writer's own thread. The writer's thread ends when the writer is destroyed.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "capture/frame/frame.h"

namespace zelq {

class FrameWriter {
public:
    using Write = std::function<bool(int position, const Frame& frame)>;
    explicit FrameWriter(Write write);
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // Waits for the write in hand, then hands `frame` over (it is left as none). False, with nothing
    // handed over, when an earlier write failed: the recording is to stop there.
    bool submit(int position, Frame& frame);
    // Waits for the write in hand; false when any write failed.
    bool finish();
    // The frame written last, if not taken yet (none otherwise), for the grab to fill again: a block of
    // tens of megabytes is cheaper to reuse than to get fresh from the system each pass.
    Frame takeWritten();

private:
    void run();
    // Caller holds mutex_.
    void waitIdle(std::unique_lock<std::mutex>& lock);

    Write write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Frame pending_;
    Frame written_;
    int position_ = 0;
    bool busy_ = false;  // a frame is handed over and not yet written
    bool failed_ = false;
    bool quit_ = false;
    std::thread thread_;  // last: started once everything it reads is built
};

}  // namespace zelq
