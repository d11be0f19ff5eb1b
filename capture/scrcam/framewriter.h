#pragma once
// Writes the frames of a recording on a thread of its own, so that the grab of the next position runs
// while the last one is encoded and written: at high rates a pass that grabs and then encodes on one
// thread takes the sum of both, and positions fall empty.
//
// Two frames are in hand at most (one being written, one waiting): the second absorbs a write that takes
// longer than an interval now and then, such as the first key frame of a 4K recording. submit() waits
// while two are in hand, so a disk or encoder that stays slow still slows the loop down instead of piling
// frames up. Writes run in the order submitted, one at a time; after a failed one, nothing more is written.
//
// The frame written last stays in hand until the next one is written, and each write is shown it: a
// compressor that compares frames compares with it instead of copying every frame into one of its own.
//
// Thread rules: submit() and finish() are called by one thread (the recording worker); the write function
// runs on the writer's own thread. The writer's thread ends when the writer is destroyed.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "capture/frame/frame.h"

namespace zelq {

class FrameWriter {
public:
    // `last`: the frame written before this one, unchanged since; nullptr for the first.
    using Write = std::function<bool(int position, const Frame& frame, const Frame* last)>;
    explicit FrameWriter(Write write);
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // Waits while two frames are in hand, then hands `frame` over (it is left as none). False, with
    // nothing handed over, when an earlier write failed: the recording is to stop there.
    bool submit(int position, Frame& frame);
    // Waits until every frame handed over is written; false when any write failed.
    bool finish();
    // The newest frame written before the last one and not taken yet (none otherwise), for the grab to fill
    // again: a block of tens of megabytes is cheaper to reuse than to get fresh from the system, which
    // maps it anew and clears every page on first touch. Two are kept, so that a pass that finds none
    // written since the last (the encoder was a little late) takes one written two passes before.
    Frame takeWritten();

private:
    static constexpr int kMostInHand = 2;
    struct Queued {
        int position;
        Frame frame;
    };
    void run();

    Write write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Queued> queue_;  // handed over, not yet being written
    int inHand_ = 0;            // handed over and not yet written: the queue and the one being written
    static constexpr std::size_t kWrittenKept = 2;
    Frame last_;                 // written last: the next write compares with it
    std::deque<Frame> written_;  // written before it, to be taken, the newest at the back
    bool failed_ = false;
    bool quit_ = false;
    std::thread thread_;  // last: started once everything it reads is built
};

}  // namespace zelq
