#include "framewriter.h"

namespace zelq {

FrameWriter::FrameWriter(Write write) : write_(std::move(write)), thread_([this] { run(); }) {}

FrameWriter::~FrameWriter() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool FrameWriter::submit(int position, Frame& frame) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return inHand_ < kMostInHand || failed_; });
        if (failed_)
            return false;
        queue_.push_back({position, std::move(frame)});
        ++inHand_;
    }
    changed_.notify_all();
    return true;
}

Frame FrameWriter::takeWritten() {
    std::lock_guard lock(mutex_);
    if (written_.empty())
        return {};
    Frame newest = std::move(written_.back());
    written_.pop_back();
    return newest;
}

bool FrameWriter::finish() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return inHand_ == 0; });
    return !failed_;
}

void FrameWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // Frames already handed over are written even when quitting: finish() may be waiting for them.
        changed_.wait(lock, [this] { return !queue_.empty() || quit_; });
        if (queue_.empty())
            return;
        Queued next = std::move(queue_.front());
        queue_.pop_front();
        // After a failed write the recording stops; what was queued behind it is not written.
        const bool write = !failed_;
        lock.unlock();
        // last_ is touched only by this thread, so it can be read unlocked.
        const bool written = write && write_(next.position, next.frame, last_ ? &last_ : nullptr);
        lock.lock();
        if (written) {
            if (last_)
                written_.push_back(std::move(last_));
            if (written_.size() > kWrittenKept)
                written_.pop_front();
            last_ = std::move(next.frame);
        } else {
            failed_ = true;
        }
        --inHand_;
        changed_.notify_all();
    }
}

}  // namespace zelq
