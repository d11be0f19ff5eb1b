#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <vector>

#include "capture/scrcam/framewriter.h"

using namespace zelq;

// Frames are written in the order handed over, at most two are in hand (a third waits), the written
// frame comes back for reuse, and after a failed write nothing more is written or taken.
TEST(FrameWriter, WritesInOrderHoldsTwoAndStopsAtAFailure) {
    std::mutex gate;  // held: the write under way cannot end
    std::vector<int> written;
    std::unique_lock hold(gate);
    FrameWriter writer([&](int position, const Frame&) {
        std::lock_guard pass(gate);
        written.push_back(position);
        return position != 3;
    });
    Frame a = Frame::allocate(2, 2, 32), b = Frame::allocate(2, 2, 32), c = Frame::allocate(2, 2, 32);
    const std::byte* firstBlock = a.data();
    ASSERT_TRUE(writer.submit(1, a));
    ASSERT_TRUE(writer.submit(2, b));
    EXPECT_FALSE(a);
    auto third = std::async(std::launch::async, [&] { return writer.submit(3, c); });
    EXPECT_EQ(third.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    hold.unlock();
    EXPECT_TRUE(third.get());
    EXPECT_FALSE(writer.finish());  // position 3 failed
    EXPECT_EQ(written, (std::vector<int>{1, 2, 3}));
    const Frame back = writer.takeWritten();
    EXPECT_TRUE(back);
    EXPECT_NE(back.data(), firstBlock);  // the last written, position 2's
    EXPECT_FALSE(writer.takeWritten());

    Frame d = Frame::allocate(2, 2, 32);
    EXPECT_FALSE(writer.submit(4, d));
    EXPECT_TRUE(d);  // not taken
    EXPECT_EQ(written, (std::vector<int>{1, 2, 3}));
}
