// The frame window: its shape against the bracket table, its place round the rectangle, what it paints on
// the screen (and that none of it lands on the recorded pixels), and the hand-off of its work from a
// recording worker that grabs frames meanwhile.
#include <gtest/gtest.h>

#include <QImage>
#include <QThread>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "capture/flashwnd/flashwnd.h"
#include "capture/frame/bitmaptodib.h"
#include "capture/frame/grabframe.h"
#include "common/scripted_dialogs.h"
#include "platform/screen/screengrabber.h"
#include "screen_testkit.h"

namespace zelq {
namespace {

const QRgb kPaleYellow = qRgb(255, 255, 180);
const QRgb kGreen = qRgb(0, 255, 80);

QRegion inclusive(int x0, int x1, int y0, int y1) {
    return QRegion(QRect(QPoint(x0, y0), QPoint(x1, y1)));
}

// The brackets as the table of the frame window's design lists them, arm by arm (inclusive ranges).
QRegion bracketTable(int w, int h) {
    return inclusive(0, 23, 0, 7) + inclusive(0, 7, 0, 23)                      // top-left
           + inclusive(w - 11, w + 15, 0, 7) + inclusive(w + 9, w + 15, 0, 23)  // top-right
           + inclusive(0, 23, h + 9, h + 15) + inclusive(0, 7, h - 11, h + 15)  // bottom-left
           + inclusive(w - 11, w + 15, h + 9, h + 15) +
           inclusive(w + 9, w + 15, h - 11, h + 15);  // bottom-right
}

TEST(TFlashingWnd, IsShapedAsTheFourBracketsOutsideTheRectangle) {
    for (const QSize size : {QSize(300, 200), QSize(35, 35), QSize(36, 100), QSize(1920, 1080)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        const QRegion shape = TFlashingWnd::frameShape(size.width(), size.height());
        EXPECT_EQ(shape, bracketTable(size.width(), size.height()));
        // The rectangle itself is window pixels 8..W+7 x 8..H+7: never part of the shape.
        EXPECT_FALSE(shape.intersects(QRect(8, 8, size.width(), size.height())));
    }
    // Short sides: no cut between the brackets, so each side is one bar round the hole.
    EXPECT_EQ(TFlashingWnd::frameShape(20, 10), QRegion(0, 0, 36, 26) - QRegion(8, 8, 21, 11));
    EXPECT_EQ(TFlashingWnd::frameShape(20, 100),
              QRegion(0, 0, 36, 116) - QRegion(8, 8, 21, 101) - QRegion(0, 24, 36, 100 - 35));
}

TEST(TFlashingWnd, StartsHiddenAndSetAreaPlacesItRoundTheRectangle) {
    TFlashingWnd window;
    EXPECT_EQ(window.geometry(), QRect(430, 104, 483, 458));
    window.SetArea(400, 300, 250, 150);
    EXPECT_EQ(window.geometry(), QRect(392, 292, 266, 166));
    EXPECT_EQ(QRect(QPoint(window.AreaLeft, window.AreaTop), QPoint(window.AreaRight, window.AreaBottom)),
              QRect(400, 300, 250, 150));
    EXPECT_EQ(window.mask(), TFlashingWnd::frameShape(250, 150));
    EXPECT_FALSE(window.isVisible());
}

class FrameOnScreen : public testing::Test {
protected:
    ScreenGrabber grabber;

    QImage grab(const QRect& r) {
        QImage image;
        EXPECT_TRUE(grabber.grab(r.x(), r.y(), r.width(), r.height(), image));
        return image;
    }
    bool shows(QPoint p, QRgb colour) {
        return test::waitUntil([&] { return grab(QRect(p, QSize(1, 1))).pixel(0, 0) == colour; });
    }
    // Every pixel of the window's area is the colour where the shape is, and what lies below elsewhere.
    void expectPainted(const QRect& area, QRgb colour, const QImage& below) {
        const QImage seen = grab(area.adjusted(-8, -8, 8, 8));
        const QRegion shape = TFlashingWnd::frameShape(area.width(), area.height());
        int wrong = 0;
        for (int y = 0; y < seen.height(); ++y)
            for (int x = 0; x < seen.width(); ++x) {
                const QRgb expected = shape.contains(QPoint(x, y)) ? colour : below.pixel(x, y);
                if (seen.pixel(x, y) != expected)
                    ++wrong;
            }
        EXPECT_EQ(wrong, 0);
    }
};

TEST_F(FrameOnScreen, PaintsTheBracketsAndNothingOfTheRectangle) {
    const QRect area(400, 300, 250, 150);
    const test::PatternWindow under(area.adjusted(-20, -20, 20, 20), test::patternImage(290, 190, 11));
    const QImage below = grab(area.adjusted(-8, -8, 8, 8));
    TFlashingWnd window;
    window.SetArea(area.x(), area.y(), area.width(), area.height());
    window.showFrame();
    window.PaintFrame(kCapturingColour);
    ASSERT_TRUE(shows(area.topLeft() - QPoint(8, 8), kPaleYellow));
    expectPainted(area, kPaleYellow, below);
    window.PaintFrame(kBetweenCapturesColour);
    ASSERT_TRUE(shows(area.bottomRight() + QPoint(8, 8), kGreen));
    expectPainted(area, kGreen, below);
    window.hideFrame();
    EXPECT_TRUE(test::waitUntil([&] { return grab(area.adjusted(-8, -8, 8, 8)) == below; }));
}

TEST_F(FrameOnScreen, PaintsBracketsNearTheScreenCornerWhole) {
    // The window starts off the screen; its right and bottom brackets are painted all the same.
    const QRect area(5, 5, 100, 80);
    const test::PatternWindow under(QRect(0, 0, 140, 120), test::patternImage(140, 120, 12));
    TFlashingWnd window;
    window.SetArea(area.x(), area.y(), area.width(), area.height());
    window.showFrame();
    window.PaintFrame(kBetweenCapturesColour);
    EXPECT_TRUE(shows(area.bottomRight() + QPoint(8, 8), kGreen));
    EXPECT_TRUE(shows(QPoint(0, 0), kGreen));
}

// The frame window as the engine's worker reaches it: each call is handed to the UI thread.
struct WindowHooks : FrameWindowHooks {
    explicit WindowHooks(TFlashingWnd& w) : window(w) {}
    void moveFrame(int left, int top, int width, int height) override {
        window.SetArea(left, top, width, height);
    }
    void flash(bool capturing) override {
        window.PaintFrame(capturing ? kCapturingColour : kBetweenCapturesColour);
    }
    TFlashingWnd& window;
};

// Notes the threads that paint, show and hide the window: only the UI thread may.
class WatchedWnd : public TFlashingWnd {
public:
    std::set<QThread*> threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    void setVisible(bool visible) override {
        note();
        TFlashingWnd::setVisible(visible);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        note();
        TFlashingWnd::paintEvent(event);
    }

private:
    void note() {
        std::lock_guard lock(mutex_);
        threads_.insert(QThread::currentThread());
    }
    mutable std::mutex mutex_;
    std::set<QThread*> threads_;
};

TEST_F(FrameOnScreen, FollowsAndFlashesForAWorkerThatGrabsMeanwhile) {
    const QRect area(700, 400, 201, 121);
    const test::PatternWindow under(QRect(650, 350, 300, 220), test::patternImage(300, 220, 13));
    test::warpPointer(QPoint(10, 1000));
    WatchedWnd window;
    WindowHooks hooks(window);
    test::ScriptedDialogs dialogs;
    std::vector<Frame> frames;
    std::atomic<bool> done = false;
    std::thread worker([&] {
        window.SetArea(area.x() - 30, area.y(), area.width(), area.height());
        window.showFrame();
        for (int i = 0; i < 3; ++i) {
            frames.push_back(GrabFrame(ScreenGrabber::forCurrentThread(),
                                       GrabSettings{32, false, true, true, nullptr}, &hooks, dialogs,
                                       area.x(), area.y(), area.width(), area.height()));
        }
        done = true;
    });
    const bool finished = test::waitUntil([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(window.threads(), std::set<QThread*>{QThread::currentThread()});

    // Moved to the rectangle by the first grab, green after the last, and never in a frame.
    EXPECT_EQ(window.geometry(), area.adjusted(-8, -8, 8, 8));
    EXPECT_TRUE(shows(area.topLeft() - QPoint(8, 8), kGreen));
    test::ScriptedDialogs quiet;
    const Frame expected =
        BitmapToDIB(under.picture().copy(area.translated(-under.area().topLeft())), 32, quiet);
    ASSERT_EQ(frames.size(), 3u);
    for (const Frame& frame : frames) {
        ASSERT_TRUE(frame);
        ASSERT_EQ(frame.size(), expected.size());
        EXPECT_EQ(std::memcmp(frame.data(), expected.data(), frame.size()), 0);
    }
    EXPECT_TRUE(dialogs.calls().empty());
}

}  // namespace
}  // namespace zelq
