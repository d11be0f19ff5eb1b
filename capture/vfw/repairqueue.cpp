#include "capture/vfw/repairqueue.h"

#include <algorithm>

#include "capture/vfw/repair.h"

namespace zelq {

RepairQueue::~RepairQueue() {
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void RepairQueue::add(const std::vector<std::filesystem::path>& files) {
    {
        std::lock_guard lock(mutex_);
        for (const auto& file : files) {
            if (std::find(waiting_.begin(), waiting_.end(), file) == waiting_.end())
                waiting_.push_back(file);
        }
        if (!thread_.joinable())
            thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }
    changed_.notify_all();
}

void RepairQueue::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.empty() && !busy_; });
}

void RepairQueue::run(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    while (changed_.wait(lock, stop, [this] { return !waiting_.empty(); })) {
        const std::filesystem::path file = std::move(waiting_.front());
        waiting_.pop_front();
        busy_ = true;
        // The lock is let go for the repair, which takes as long as copying the file: add() must not
        // wait for it.
        lock.unlock();
        repairUnfinishedRecording(file, stop);
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace zelq
