#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "platform/clock.h"

using namespace zelq;

// A stop during a long pause is seen as soon as wake() is called, not when the pause would have ended;
// an unstopped pause is slept to its end.
TEST(SystemClock, APauseEndsWhenWokenAfterAStop) {
    Clock& clock = systemClock();
    std::atomic<bool> going = true;
    auto pause = std::async(std::launch::async, [&] {
        return clock.sleepWhile(60000, 6000, [&] { return going.load(); });
    });
    EXPECT_EQ(pause.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    going = false;
    clock.wake();
    ASSERT_EQ(pause.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(pause.get());

    const std::uint32_t start = clock.timeGetTime();
    EXPECT_TRUE(clock.sleepWhile(50, 5, [] { return true; }));
    EXPECT_GE(clock.timeGetTime() - start, 50u);
}
