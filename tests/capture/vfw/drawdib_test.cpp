// DrawDib draws every frame depth the reader hands out, each pixel as the DIB holds it.
#include <gtest/gtest.h>

#include "vfw_testkit.h"

using namespace zelq;

TEST(DrawDib, DrawsEveryDepthPixelForPixelAndRefusesWhatItCannotDraw) {
    for (int bits : {8, 16, 24, 32}) {
        const test::Dib dib = bits == 8 ? test::palettedDib(37, 11, 2) : test::patternDib(37, 11, bits, 2);
        HDRAWDIB draw = DrawDibOpen();
        QImage surface;
        ASSERT_TRUE(DrawDibBegin(draw, surface, 0, 0, dib.header(), 37, 11, DDF_ANIMATE)) << bits;
        EXPECT_EQ(PackedDibBits(dib.header()), dib.pixels()) << bits;
        ASSERT_TRUE(DrawDibDraw(draw, surface, 0, 0, 37, 11, dib.header(), dib.pixels(), 0, 0, 37, 11, 0));
        for (int y = 0; y < 11; ++y) {
            for (int x = 0; x < 37; ++x) {
                const test::Rgb want = test::pixelAt(dib.header(), x, y);
                const QColor got = surface.pixelColor(x, y);
                ASSERT_EQ(test::Rgb({got.red(), got.green(), got.blue()}), want) << bits << " at " << x << "," << y;
            }
        }
        // A rectangle that leaves the frame or the surface is refused, not drawn past either.
        EXPECT_FALSE(DrawDibDraw(draw, surface, 1, 0, 37, 11, dib.header(), dib.pixels(), 0, 0, 37, 11, 0));
        EXPECT_FALSE(DrawDibDraw(draw, surface, 0, 0, 37, 12, dib.header(), dib.pixels(), 0, 0, 37, 12, 0));
        DrawDibEnd(draw);
        DrawDibClose(draw);
    }
    BitmapInfoHeader compressed = *test::patternDib(4, 4, 24, 0).header();
    compressed.biCompression = mmioFOURCC('M', 'S', 'V', 'C');
    HDRAWDIB draw = DrawDibOpen();
    QImage surface;
    EXPECT_FALSE(DrawDibBegin(draw, surface, 0, 0, &compressed, 4, 4, DDF_ANIMATE));
}
