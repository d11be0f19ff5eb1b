#include "clock.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace zelq {

namespace {

// One wait for the whole pause, which wake() ends early: a loop at 60 passes a second that woke every
// slice (1 ms) to look at its stop flag spent more on waking than a still screen costs to record.
class SystemClock final : public Clock {
public:
    bool sleepWhile(std::uint32_t ms, std::uint32_t, const std::function<bool()>& going) override {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::unique_lock lock(mutex_);
        // `going` is read under the lock that wake() takes: a stop made before wake() is seen here or
        // wakes the wait below, never slips between them.
        while (going()) {
            if (woken_.wait_until(lock, until) == std::cv_status::timeout)
                return going();
        }
        return false;
    }
    void wake() override {
        { std::lock_guard lock(mutex_); }
        woken_.notify_all();
    }

    std::uint32_t timeGetTime() override {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    void sleep(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
};

}  // namespace

bool Clock::sleepWhile(std::uint32_t ms, std::uint32_t slice, const std::function<bool()>& going) {
    slice = std::max<std::uint32_t>(slice, 1);
    for (std::uint32_t slept = 0; slept + slice <= ms; slept += slice) {
        sleep(slice);
        if (!going())
            return false;
    }
    const std::uint32_t remainder = ms % slice;
    if (remainder == 0)
        return true;
    if (!going())
        return false;
    sleep(remainder);
    return true;
}

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace zelq
