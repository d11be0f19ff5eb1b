#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <vector>

#include "capture/scrcam/framewriter.h"

using namespace zelq;

// Frames are written in the order handed over, at most two are in hand (a third waits), each write is
// shown the frame written before it, that one comes back for reuse once the next is written, and after a
// failed write nothing more is written or taken.
TEST(FrameWriter, WritesInOrderHoldsTwoAndStopsAtAFailure) {
    std::mutex gate;  // held: the write under way cannot end
    std::vector<int> written;
    std::vector<const std::byte*> shown;  // the last frame each write was shown
    std::unique_lock hold(gate);
    FrameWriter writer([&](int position, const Frame&, const Frame* last) {
        std::lock_guard pass(gate);
        written.push_back(position);
        shown.push_back(last ? last->data() : nullptr);
        return position != 3;
    });
    Frame a = Frame::allocate(2, 2, 32), b = Frame::allocate(2, 2, 32), c = Frame::allocate(2, 2, 32);
    const std::byte* firstBlock = a.data();
    const std::byte* secondBlock = b.data();
    ASSERT_TRUE(writer.submit(1, a));
    ASSERT_TRUE(writer.submit(2, b));
    EXPECT_FALSE(a);
    auto third = std::async(std::launch::async, [&] { return writer.submit(3, c); });
    EXPECT_EQ(third.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    hold.unlock();
    EXPECT_TRUE(third.get());
    EXPECT_FALSE(writer.finish());  // position 3 failed
    EXPECT_EQ(written, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(shown, (std::vector<const std::byte*>{nullptr, firstBlock, secondBlock}));
    const Frame back = writer.takeWritten();
    EXPECT_TRUE(back);
    EXPECT_EQ(back.data(), firstBlock);  // position 2's is still the last written
    EXPECT_FALSE(writer.takeWritten());

    Frame d = Frame::allocate(2, 2, 32);
    EXPECT_FALSE(writer.submit(4, d));
    EXPECT_TRUE(d);  // not taken
    EXPECT_EQ(written, (std::vector<int>{1, 2, 3}));
}

// Frames written and not taken wait for the grab, the newest first, two at most: the oldest goes.
TEST(FrameWriter, KeepsTheTwoNewestFramesWrittenBeforeTheLastForTheGrab) {
    FrameWriter writer([](int, const Frame&, const Frame*) { return true; });
    std::vector<const std::byte*> blocks;
    for (int position = 1; position <= 4; ++position) {
        Frame f = Frame::allocate(2, 2, 32);
        blocks.push_back(f.data());
        ASSERT_TRUE(writer.submit(position, f));
    }
    ASSERT_TRUE(writer.finish());
    EXPECT_EQ(writer.takeWritten().data(), blocks[2]);  // position 4's is the last, kept for the next write
    EXPECT_EQ(writer.takeWritten().data(), blocks[1]);
    EXPECT_FALSE(writer.takeWritten());
}
