// GrabFrame against the test X server: the frame holds what is on screen, with the arrow's tip drawn at
// the pointer whatever cursor is on screen, cut at the rectangle's edges; the frame-window
// hand-offs around a capture; the failure message; and a grab on a worker thread.
#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <cstring>
#include <deque>
#include <thread>

#include "capture/frame/bitmaptodib.h"
#include "capture/frame/grabframe.h"
#include "capture/frame/keptscreen.h"
#include "common/scripted_dialogs.h"
#include "platform/screen/screengrabber.h"
#include "screen_testkit.h"

namespace zelq {
namespace {

bool sameBlock(const Frame& a, const Frame& b) {
    return a && b && a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

// The rectangle as a frame would hold it if the screen showed `screen` there, through the converter that
// the layout tests check byte by byte.
Frame expectedFrame(const QImage& screen, int depth) {
    test::ScriptedDialogs quiet;
    return BitmapToDIB(screen, depth, quiet);
}

// `image` with the arrow drawn opaquely at `topLeft`: every arrow pixel is either fully on or off.
QImage withArrow(QImage image, QPoint topLeft) {
    const QImage& arrow = standardArrowCursor().image;
    for (int y = 0; y < arrow.height(); ++y)
        for (int x = 0; x < arrow.width(); ++x) {
            const QPoint at = topLeft + QPoint(x, y);
            if (qAlpha(arrow.pixel(x, y)) == 255 && image.rect().contains(at))
                image.setPixel(at, arrow.pixel(x, y));
        }
    return image;
}

class GrabFrameTest : public testing::Test {
protected:
    // The recorded rectangle lies inside the pattern window, so the pointer can be put next to it while
    // the cursor on screen (the window's, hot spot (5, 9)) stays known.
    const test::PatternWindow window{QRect(200, 150, 321, 203), test::patternImage(321, 203, 7),
                                     QPoint(5, 9)};
    const QRect rect{210, 160, 301, 181};
    ScreenGrabber grabber;
    test::ScriptedDialogs dialogs;

    QImage screen() const { return window.picture().copy(rect.translated(-window.area().topLeft())); }
    Frame grab(const GrabSettings& settings, FrameWindowHooks* worker = nullptr) {
        return GrabFrame(grabber, settings, worker, dialogs, rect.x(), rect.y(), rect.width(), rect.height());
    }
    // A grab with the pointer at p all along; taken again if something else on the display moved it.
    Frame grabWithPointerAt(QPoint p, const GrabSettings& settings) {
        Frame frame;
        for (int attempt = 0; attempt < 20; ++attempt) {
            test::warpPointer(p);
            frame = grab(settings);
            if (grabber.pointerPosition() == p)
                break;
        }
        return frame;
    }
};

TEST_F(GrabFrameTest, HoldsExactlyTheScreenWhenThePointerIsOutsideOrNotDrawn) {
    // Right of and below the rectangle: the arrow, placed at the pointer less (5, 9), starts past its edge.
    const QPoint outside = rect.bottomRight() + QPoint(6, 10);
    for (const int depth : {8, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        EXPECT_TRUE(sameBlock(grabWithPointerAt(outside, GrabSettings{depth, true, true, false, nullptr}),
                              expectedFrame(screen(), depth)));
    }
    // Pointer inside, but not drawn.
    EXPECT_TRUE(sameBlock(grabWithPointerAt(rect.center(), GrabSettings{24, false, true, false, nullptr}),
                          expectedFrame(screen(), 24)));
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(GrabFrameTest, DrawsTheArrowsTipAtThePointerWhateverCursorIsOnScreen) {
    // The cursor on screen has its hot spot at (5, 9); the arrow's own is its tip.
    const QPoint pointer(300, 250);
    const QPoint arrowAt = pointer - rect.topLeft();
    const Frame frame = grabWithPointerAt(pointer, GrabSettings{32, true, false, false, nullptr});
    EXPECT_TRUE(sameBlock(frame, expectedFrame(withArrow(screen(), arrowAt), 32)));
    // The tip, read straight from the block: black, in row arrowAt.y() counted from the top.
    const std::size_t row = static_cast<std::size_t>(rect.height() - 1 - arrowAt.y());
    const auto* tip =
        reinterpret_cast<const std::uint8_t*>(frame.pixels()) + row * frame.rowBytes() + 4 * arrowAt.x();
    EXPECT_EQ(std::vector<int>(tip, tip + 4), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(GrabFrameTest, CutsTheArrowAtTheRectangleEdge) {
    // The arrow's first column falls on the rectangle's last one.
    const QPoint pointer(rect.right(), rect.top() + 40);
    const QPoint arrowAt = pointer - rect.topLeft();
    EXPECT_TRUE(sameBlock(grabWithPointerAt(pointer, GrabSettings{32, true, false, false, nullptr}),
                          expectedFrame(withArrow(screen(), arrowAt), 32)));
    EXPECT_NE(withArrow(screen(), arrowAt), screen());  // something of it is in the frame

    // One pixel further and nothing of it is.
    EXPECT_TRUE(
        sameBlock(grabWithPointerAt(pointer + QPoint(1, 0), GrabSettings{32, true, false, false, nullptr}),
                  expectedFrame(screen(), 32)));
}

TEST_F(GrabFrameTest, ARecordingsKeptPictureNeverKeepsTheArrow) {
    KeptScreen kept;
    // As in a recording, each grab is handed the frame of two passes before (the last one is still being
    // written), which it brings up to date: the arrow it carried goes, what was drawn since comes in.
    std::deque<Frame> handedOut;
    const auto grabKept = [&](QPoint p, int depth) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (handedOut.size() == 2) {
                kept.giveBack(std::move(handedOut.front()));
                handedOut.pop_front();
            }
            test::warpPointer(p);
            handedOut.push_back(GrabFrame(grabber, GrabSettings{depth, true, false, false, nullptr}, nullptr,
                                          dialogs, rect.x(), rect.y(), rect.width(), rect.height(), &kept));
            if (grabber.pointerPosition() == p)
                break;
        }
        return handedOut.back().copy();
    };
    const QPoint inside(300, 250), outside = rect.bottomRight() + QPoint(6, 10);
    for (const int depth : {8, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        // The first frames of a depth are made whole, the next ones from frames given back, which had
        // the arrow (the third and fourth) or not (the fifth).
        for (const QPoint& p : {inside, inside, outside, outside, inside}) {
            const QImage expected = p == inside ? withArrow(screen(), inside - rect.topLeft()) : screen();
            EXPECT_TRUE(sameBlock(grabKept(p, depth), expectedFrame(expected, depth)));
            EXPECT_EQ(kept.image, screen());
        }
    }
    // A window drawn over part of the rectangle: the kept frame takes the changed part, converted.
    const test::PatternWindow over(QRect(rect.x() + 50, rect.y() - 20, 90, 70),
                                   test::patternImage(90, 70, 8));
    const auto upToDate = [&] {
        QImage now;
        return grabber.grab(rect.x(), rect.y(), rect.width(), rect.height(), now) && now != screen() &&
               sameBlock(grabKept(outside, 32), expectedFrame(now, 32));
    };
    EXPECT_TRUE(test::waitUntil(upToDate, std::chrono::seconds(3)));
    // The next frames given back were made before the window came: each must take it in.
    QImage now;
    ASSERT_TRUE(grabber.grab(rect.x(), rect.y(), rect.width(), rect.height(), now));
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(sameBlock(grabKept(outside, 32), expectedFrame(now, 32)));
}

// The frame window as the worker reaches it, writing down what it is asked to do.
struct RecordingHooks : FrameWindowHooks {
    std::vector<std::string> calls;
    void moveFrame(int l, int t, int w, int h) override {
        calls.push_back("move " + std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(w) +
                        "," + std::to_string(h));
    }
    void flash(bool capturing) override { calls.push_back(capturing ? "yellow" : "green"); }
};

TEST_F(GrabFrameTest, FlashesAndMovesTheFrameWindowOnlyAsTheSettingsSay) {
    using Calls = std::vector<std::string>;
    RecordingHooks follow, still, hidden, failed;
    EXPECT_TRUE(grab(GrabSettings{32, true, true, true, nullptr}, &follow));
    EXPECT_EQ(follow.calls, (Calls{"move 210,160,301,181", "yellow", "green"}));
    EXPECT_TRUE(grab(GrabSettings{32, true, true, false, nullptr}, &still));
    EXPECT_EQ(still.calls, (Calls{"yellow", "green"}));
    EXPECT_TRUE(grab(GrabSettings{32, true, false, true, nullptr}, &hidden));
    EXPECT_EQ(hidden.calls, Calls{});

    // A capture that fails leaves the window yellow and says so in a warning box.
    const Frame none =
        GrabFrame(grabber, GrabSettings{32, true, true, false, nullptr}, &failed, dialogs, 0, 0, 0, 10);
    EXPECT_FALSE(none);
    EXPECT_EQ(failed.calls, Calls{"yellow"});
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].text, "Error capturing a frame!");
    EXPECT_EQ(dialogs.calls()[0].caption, "Error");
    EXPECT_EQ(dialogs.calls()[0].icon, MsgIcon::Warning);
}

TEST_F(GrabFrameTest, ReportsAFrameTooLargeForMemory) {
    // 100000 x 100000 pixels at 32 bits is 40 GB: no image and no frame, one message, no crash.
    EXPECT_FALSE(GrabFrame(grabber, GrabSettings{}, nullptr, dialogs, 0, 0, 100000, 100000));
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{"Error capturing a frame!"});
}

TEST_F(GrabFrameTest, GrabsOnAWorkerThreadAndCarriesItsMessagesToTheUiThread) {
    Frame fromWorker, failed;
    std::atomic<bool> done = false;
    std::thread worker([&] {
        ScreenGrabber& own = ScreenGrabber::forCurrentThread();
        fromWorker = GrabFrame(own, GrabSettings{16, false, true, false, nullptr}, nullptr, dialogs, rect.x(),
                               rect.y(), rect.width(), rect.height());
        failed = GrabFrame(own, GrabSettings{}, nullptr, dialogs, 0, 0, -5, 5);
        done = true;
    });
    // The worker's message box waits for this thread: keep its event loop turning.
    const bool finished = test::waitUntil([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(sameBlock(fromWorker, expectedFrame(screen(), 16)));
    EXPECT_FALSE(failed);
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_TRUE(dialogs.calls()[0].onUiThread);
}

}  // namespace
}  // namespace zelq
