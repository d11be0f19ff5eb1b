#include "player/decodeworker.h"

#include <algorithm>

namespace zelq {

namespace {

std::optional<DecodeWorker::Head> headOf(const Picture* p) {
    if (!p)
        return std::nullopt;
    return DecodeWorker::Head{p->position, p->end};
}

}  // namespace

DecodeWorker::DecodeWorker(std::unique_ptr<MediaSource> source, int width, int height, std::function<void()> ready)
    : source_(std::move(source)), ready_(std::move(ready)), width_(width), height_(height),
      thread_([this] { run(); }) {}

DecodeWorker::~DecodeWorker() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void DecodeWorker::setSize(int width, int height) {
    std::lock_guard lock(mutex_);
    width_ = width;
    height_ = height;
}

void DecodeWorker::rewind() {
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        ++generation_;
        rewindWanted_ = true;
        ended_ = false;
    }
    wake_.notify_all();
}

std::optional<DecodeWorker::Head> DecodeWorker::first() const {
    std::lock_guard lock(mutex_);
    return headOf(queue_.first());
}

std::optional<DecodeWorker::Head> DecodeWorker::second() const {
    std::lock_guard lock(mutex_);
    return headOf(queue_.second());
}

std::unique_ptr<Picture> DecodeWorker::popFirst() {
    std::lock_guard lock(mutex_);
    return queue_.popFirst();
}

void DecodeWorker::recycle(std::unique_ptr<Picture> picture) {
    {
        std::lock_guard lock(mutex_);
        queue_.recycle(std::move(picture));
    }
    wake_.notify_all();
}

void DecodeWorker::run() {
    std::int64_t last = -1;  // position of the last frame decoded since the start
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || rewindWanted_ || (!ended_ && queue_.hasFree()); });
        if (quit_)
            return;
        if (rewindWanted_) {
            rewindWanted_ = false;
            last = -1;
            lock.unlock();
            const bool ok = source_->rewind();
            lock.lock();
            if (!ok && !rewindWanted_) {
                // A file that cannot go back has nothing more to show: it ends at once.
                ended_ = true;
                queue_.pushEnd(0);
                lock.unlock();
                ready_();
                lock.lock();
            }
            continue;
        }
        std::unique_ptr<Picture> picture = queue_.takeFree();
        const int width = width_, height = height_;
        const std::uint64_t generation = generation_;
        lock.unlock();

        std::int64_t position = 0;
        const AvFramePtr frame = source_->decodeNext(position);
        bool made = false;
        if (frame && picture->reserve(width, height)) {
            picture->position = position;
            made = scaler_.scale(*frame, std::min(frame->width, source_->width()),
                                 std::min(frame->height, source_->height()), *picture);
        }

        lock.lock();
        if (generation != generation_) {
            queue_.recycle(std::move(picture));  // decoded before a rewind: not wanted any more
            continue;
        }
        if (!frame) {
            queue_.recycle(std::move(picture));
            ended_ = true;
            // The last picture stands for its frame's time. A header that claims more (a file cut short)
            // is not believed: what is not there is not waited for.
            queue_.pushEnd(last < 0 ? 0 : last + source_->frameTicks());
        } else if (made) {
            last = position;
            queue_.push(std::move(picture));
        } else {
            queue_.recycle(std::move(picture));  // a frame that cannot be shown is left out
            continue;
        }
        lock.unlock();
        ready_();
        lock.lock();
    }
}

}  // namespace zelq
