// The conversion between logical and screen pixels that every recorded rectangle goes through.
#include "platform/screenpixels.h"

#include <gtest/gtest.h>

using namespace zelq;

TEST(ScreenPixels, RectanglesRoundOutwardOnTheirOwnScreenAndComeBackAsQtRoundsThem) {
    // Whole ratios: exact both ways.
    EXPECT_EQ(toScreenPixels(QRectF(100, 50, 264, 265), {{}, 2.0}), QRect(200, 100, 528, 530));
    EXPECT_EQ(toLogicalPixels(QRect(200, 100, 528, 530), {{}, 2.0}), QRect(100, 50, 264, 265));
    // 1.5: 101 logical columns from 101 cover screen columns 151.5 to 303, so 151 to 302 inclusive.
    EXPECT_EQ(toScreenPixels(QRectF(101, 101, 101, 101), {{}, 1.5}), QRect(151, 151, 152, 152));
    // 1.25 on a whole logical screen: no pixel gained or lost to floating point.
    EXPECT_EQ(toScreenPixels(QRectF(0, 0, 1536, 864), {{}, 1.25}), QRect(0, 0, 1920, 1080));
    // A second monitor keeps its corner in both units: a window at its corner is at the same place.
    const PixelScale second{QPoint(1920, 0), 2.0};
    EXPECT_EQ(toScreenPixels(QRectF(1920, 0, 100, 50), second), QRect(1920, 0, 200, 100));
    EXPECT_EQ(toScreenPixels(QRectF(1930, 10, 100, 50), second), QRect(1940, 20, 200, 100));
    EXPECT_EQ(toLogicalPixels(QRect(1940, 20, 200, 100), second), QRect(1930, 10, 100, 50));
    // A screen 1.5 does not divide: the logical size rounds, the way back covers the whole screen.
    const QRect logical = toLogicalPixels(QRect(0, 0, 1366, 768), {{}, 1.5});
    EXPECT_EQ(logical, QRect(0, 0, 911, 512));
    EXPECT_TRUE(toScreenPixels(logical, {{}, 1.5}).contains(QRect(0, 0, 1366, 768)));
}
