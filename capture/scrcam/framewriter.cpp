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

void FrameWriter::waitIdle(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [this] { return !busy_; });
}

bool FrameWriter::submit(int position, Frame& frame) {
    {
        std::unique_lock lock(mutex_);
        waitIdle(lock);
        if (failed_)
            return false;
        pending_ = std::move(frame);
        position_ = position;
        busy_ = true;
    }
    changed_.notify_all();
    return true;
}

Frame FrameWriter::takeWritten() {
    std::lock_guard lock(mutex_);
    return std::move(written_);
}

bool FrameWriter::finish() {
    std::unique_lock lock(mutex_);
    waitIdle(lock);
    return !failed_;
}

void FrameWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // A frame already handed over is written even when quitting: finish() may be waiting for it.
        changed_.wait(lock, [this] { return busy_ || quit_; });
        if (!busy_)
            return;
        Frame frame = std::move(pending_);
        const int position = position_;
        lock.unlock();
        const bool written = write_(position, frame);
        lock.lock();
        if (written)
            written_ = std::move(frame);
        else
            failed_ = true;
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace zelq
