// The screen grabber against the test X server: what it says of the screen, the pixels it reads through
// shared memory and through plain requests, black where a rectangle leaves the screen, the pointer and the
// cursor's hot spot; and the row conversion of screen formats the test server does not have.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <climits>
#include <memory>
#include <vector>

#include "platform/screen/pixellayout.h"
#include "platform/screen/screengrabber.h"
#include "screen_testkit.h"

namespace zelq {
namespace {

using Transport = ScreenGrabber::Transport;

QImage grabbed(ScreenGrabber& grabber, const QRect& r) {
    QImage image;
    EXPECT_TRUE(grabber.grab(r.x(), r.y(), r.width(), r.height(), image));
    return image;
}

TEST(ScreenGrabber, DescribesTheScreenAndPicksItsTransport) {
    ScreenGrabber shared(Transport::SharedMemoryIfPossible);
    ScreenGrabber plain(Transport::Plain);
    const QScreen* screen = QGuiApplication::primaryScreen();
    for (ScreenGrabber* g : {&shared, &plain}) {
        ASSERT_TRUE(g->isConnected());
        EXPECT_EQ(QSize(g->width(), g->height()), screen->geometry().size());
        EXPECT_EQ(g->depth(), screen->depth());
        EXPECT_EQ(g->bitsPerPixel(), 32);  // a depth-24 server keeps 32-bit pixels
    }
    EXPECT_TRUE(shared.usesSharedMemory());  // the test server offers MIT-SHM
    EXPECT_FALSE(plain.usesSharedMemory());

    ScreenGrabber nowhere(Transport::SharedMemoryIfPossible, ":4711");
    QImage image;
    EXPECT_FALSE(nowhere.isConnected());
    EXPECT_FALSE(nowhere.grab(0, 0, 10, 10, image));
    EXPECT_FALSE(nowhere.pointerPosition().has_value());
}

TEST(ScreenGrabber, ReadsTheScreenByteForByteThroughBothTransports) {
    const test::PatternWindow window(QRect(101, 77, 333, 257), test::patternImage(333, 257, 1));
    ScreenGrabber shared(Transport::SharedMemoryIfPossible);
    ScreenGrabber plain(Transport::Plain);
    for (ScreenGrabber* g : {&shared, &plain}) {
        EXPECT_EQ(grabbed(*g, window.area()), window.picture());
        // A larger grab then smaller ones: the shared segment is reused or grown, never stale.
        const QImage big = grabbed(*g, QRect(0, 0, 1920, 1080));
        EXPECT_EQ(big.copy(window.area()), window.picture());
        const QRect inner(150, 100, 31, 17);
        EXPECT_EQ(grabbed(*g, inner), window.picture().copy(inner.translated(-window.area().topLeft())));
    }
    // Shared memory reads a whole screen in bands (the window straddles the first seam); a plain request
    // reads it in one piece.
    EXPECT_EQ(grabbed(shared, QRect(0, 0, 1920, 1080)), grabbed(plain, QRect(0, 0, 1920, 1080)));
    EXPECT_TRUE(shared.usesSharedMemory());
}

TEST(ScreenGrabber, GivesBlackWhereTheRectangleLeavesTheScreen) {
    const test::PatternWindow topLeft(QRect(0, 0, 60, 40), test::patternImage(60, 40, 3));
    const test::PatternWindow bottomRight(QRect(1920 - 60, 1080 - 40, 60, 40), test::patternImage(60, 40, 4));
    for (const Transport transport : {Transport::SharedMemoryIfPossible, Transport::Plain}) {
        ScreenGrabber g(transport);
        QImage expected(45, 30, QImage::Format_RGB32);
        expected.fill(0xff000000u);
        for (int y = 7; y < 30; ++y)
            for (int x = 5; x < 45; ++x) expected.setPixel(x, y, topLeft.picture().pixel(x - 5, y - 7));
        EXPECT_EQ(grabbed(g, QRect(-5, -7, 45, 30)), expected);

        expected = QImage(50, 45, QImage::Format_RGB32);
        expected.fill(0xff000000u);
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < 20; ++x) expected.setPixel(x, y, bottomRight.picture().pixel(x + 40, y + 15));
        EXPECT_EQ(grabbed(g, QRect(1900, 1055, 50, 45)), expected);

        // Wholly off the screen, even at the ends of the int range: black, not a failure.
        QImage black(16, 8, QImage::Format_RGB32);
        black.fill(0xff000000u);
        EXPECT_EQ(grabbed(g, QRect(-100, -100, 16, 8)), black);
        EXPECT_EQ(grabbed(g, QRect(5000, 20, 16, 8)), black);
        QImage image;
        ASSERT_TRUE(g.grab(INT_MAX - 3, INT_MIN, 16, 8, image));
        EXPECT_EQ(image, black);
        EXPECT_FALSE(g.grab(0, 0, 0, 10, image));
        EXPECT_FALSE(g.grab(0, 0, 10, -1, image));
    }
}

TEST(ScreenGrabber, ReadingOnlyWhatChangedKeepsThePictureAWholeGrabGives) {
    // Scripted changes over a recorded rectangle, partly off the screen's right edge: after each, the kept
    // picture must equal a whole grab. Other clients' windows reach the server on their own connections,
    // so each check grabs until the two agree; a change the damage missed never heals and times out.
    const QRect area(1500, 300, 500, 300);
    for (const Transport transport : {Transport::SharedMemoryIfPossible, Transport::Plain}) {
        ScreenGrabber g(transport);
        ASSERT_TRUE(g.followsDamage());
        QImage kept;
        const auto agrees = [&] {
            return test::waitUntil(
                [&] {
                    return g.grabChanges(area.x(), area.y(), area.width(), area.height(), kept) &&
                           kept == grabbed(g, area);
                },
                std::chrono::seconds(3));
        };
        auto base = std::make_unique<test::PatternWindow>(QRect(1400, 250, 500, 400),
                                                          test::patternImage(500, 400, 11));
        EXPECT_TRUE(agrees());
        {
            const test::PatternWindow over(QRect(1600, 350, 120, 90), test::patternImage(120, 90, 12));
            EXPECT_TRUE(agrees());
            const test::PatternWindow edge(QRect(1450, 500, 80, 200), test::patternImage(80, 200, 13));
            EXPECT_TRUE(agrees());
        }
        EXPECT_TRUE(agrees());  // both gone: the base shows again where they were
        base.reset();
        EXPECT_TRUE(agrees());
        const QImage before = kept;
        // Another rectangle is never patched from the last one's picture.
        const test::PatternWindow other(QRect(0, 0, 200, 100), test::patternImage(200, 100, 14));
        ASSERT_TRUE(g.grabChanges(0, 0, 200, 100, kept));
        EXPECT_EQ(kept, other.picture());
        EXPECT_NE(kept.size(), before.size());
    }
}

TEST(ScreenGrabber, WithoutDamageReadsEverythingEveryTime) {
    // A server of its own without the DAMAGE extension.
    QProcess server;
    server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "320x200x24", "-nolisten", "tcp", "-extension",
                          "DAMAGE"});
    ASSERT_TRUE(server.waitForStarted(10000));
    QByteArray number;
    for (int i = 0; i < 100 && !number.contains('\n'); ++i) {
        server.waitForReadyRead(200);
        number += server.readAllStandardOutput();
    }
    ASSERT_TRUE(number.contains('\n'));
    const QByteArray display = ":" + number.trimmed();
    ScreenGrabber g(Transport::SharedMemoryIfPossible, display.constData());
    ASSERT_TRUE(g.isConnected());
    EXPECT_FALSE(g.followsDamage());
    QImage kept;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<QRect> changed;
        ASSERT_TRUE(g.grabChanges(10, 20, 300, 150, kept, &changed));
        EXPECT_EQ(changed, std::vector<QRect>{QRect(0, 0, 300, 150)});
        EXPECT_EQ(kept, grabbed(g, QRect(10, 20, 300, 150)));
    }
    server.terminate();
    server.waitForFinished(10000);
}

TEST(ScreenGrabber, FindsThePointerAndTheHotSpotOfTheCursorUnderIt) {
    const test::PatternWindow window(QRect(300, 300, 100, 100), test::patternImage(100, 100, 5),
                                     QPoint(5, 9));
    test::warpPointer(QPoint(321, 345));
    ScreenGrabber grabber;
    EXPECT_EQ(grabber.pointerPosition(), QPoint(321, 345));
    EXPECT_EQ(grabber.cursorHotSpot(), QPoint(5, 9));
}

// Rows of screen formats other than the test server's own, built by hand.
TEST(PixelLayout, ConvertsEveryTrueColourFormatToEightBitChannels) {
    std::uint32_t out[2] = {};

    PixelLayout rgb565{16, 32, true, 0xf800, 0x07e0, 0x001f};
    const std::uint8_t row565[] = {0x00, 0xf8, 0x1f, 0x04};  // pure red, then green 0x20 of 63 and full blue
    convertRowToRgb32(rgb565, row565, out, 2);
    EXPECT_EQ(out[0], 0xffff0000u);
    EXPECT_EQ(out[1], 0xff0082ffu);  // 32 of 63 -> 130
    EXPECT_EQ(rgb565.rowBytes(3), 8u);

    PixelLayout rgb555{16, 32, true, 0x7c00, 0x03e0, 0x001f};
    const std::uint8_t row555[] = {0xff, 0x7f, 0x10, 0x42};  // white, then 16/16/16 of 31
    convertRowToRgb32(rgb555, row555, out, 2);
    EXPECT_EQ(out[0], 0xffffffffu);
    EXPECT_EQ(out[1], 0xff848484u);

    PixelLayout packed24{24, 32, true, 0xff0000, 0x00ff00, 0x0000ff};
    const std::uint8_t row24[] = {0x01, 0x02, 0x03, 0xaa, 0xbb, 0xcc};
    convertRowToRgb32(packed24, row24, out, 2);
    EXPECT_EQ(out[0], 0xff030201u);
    EXPECT_EQ(out[1], 0xffccbbaau);
    EXPECT_EQ(packed24.rowBytes(5), 16u);  // 15 bytes padded to 32 bits

    PixelLayout msb32{32, 32, false, 0xff0000, 0x00ff00, 0x0000ff};
    const std::uint8_t row32[] = {0x00, 0x11, 0x22, 0x33, 0x00, 0x44, 0x55, 0x66};
    convertRowToRgb32(msb32, row32, out, 2);
    EXPECT_EQ(out[0], 0xff112233u);
    EXPECT_EQ(out[1], 0xff445566u);

    EXPECT_FALSE((PixelLayout{8, 32, true, 0, 0, 0}.supported()));
}

}  // namespace
}  // namespace zelq
