// DrawDib draws every frame depth the reader hands out, each pixel as the DIB holds it.
#include <gtest/gtest.h>

#include <cstring>

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

// A split writes frames straight into BMP rows: the same pixels DrawDibDraw draws, bottom-up, padding zero,
// whichever way the frame's rows run; at 16 bits every one of the 32768 colours is widened as decoders do.
TEST(DrawDib, WritesBmpRowsOfEveryDepthAsItDraws) {
    // `truth` is the frame stored bottom-up, whose pixels pixelAt reads.
    const auto check = [](const test::Dib& dib, const test::Dib& truth, int width, int height,
                          const char* what) {
        const std::size_t rowBytes = dibRowBytes(width, 24);
        std::vector<std::uint8_t> rows(rowBytes * height, 0xAB);
        ASSERT_TRUE(DrawDibToBmpRows(dib.header(), dib.pixels(), rows.data())) << what;
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = rows.data() + rowBytes * (height - 1 - y);
            for (int x = 0; x < width; ++x) {
                const test::Rgb want = test::pixelAt(truth.header(), x, y);
                ASSERT_EQ(test::Rgb({row[3 * x + 2], row[3 * x + 1], row[3 * x]}), want)
                    << what << " " << x << "," << y;
            }
            for (std::size_t i = std::size_t(width) * 3; i < rowBytes; ++i)
                ASSERT_EQ(row[i], 0) << what << " row " << y;
        }
    };
    for (int bits : {8, 16, 24, 32}) {
        const test::Dib dib = bits == 8 ? test::palettedDib(37, 11, 2) : test::patternDib(37, 11, bits, 2);
        check(dib, dib, 37, 11, "bottom-up");
        // The same frame stored top-down.
        test::Dib topDown = dib;
        auto* header = reinterpret_cast<BitmapInfoHeader*>(topDown.bytes.data());
        header->biHeight = -11;
        const std::size_t rowBytes = dibRowBytes(37, bits);
        auto* first = const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(topDown.pixels()));
        for (int y = 0; y < 11; ++y)
            std::memcpy(first + rowBytes * y,
                        static_cast<const std::uint8_t*>(dib.pixels()) + rowBytes * (10 - y), rowBytes);
        check(topDown, dib, 37, 11, "top-down");
    }
    const test::Dib every = test::dibOf(256, 128, 16, [](int x, int y) {
        const int v = y * 256 + x;
        return test::Rgb{((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3};
    });
    check(every, every, 256, 128, "every 5-5-5 colour");
    BitmapInfoHeader compressed = *test::patternDib(4, 4, 24, 0).header();
    compressed.biCompression = mmioFOURCC('M', 'S', 'V', 'C');
    std::vector<std::uint8_t> rows(64);
    EXPECT_FALSE(DrawDibToBmpRows(&compressed, rows.data(), rows.data()));
}
