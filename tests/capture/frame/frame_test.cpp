// Frames as blocks of bytes: the header, the colour table, bottom-up rows padded to 4 bytes and the pixel
// encodings of each depth, read back by offset as a reader of the file format would; the fixed palette;
// releasing a frame; and the message when the pixels cannot be converted.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "capture/frame/bitmaptodib.h"
#include "capture/frame/dibpalette.h"
#include "capture/frame/frame.h"
#include "common/scripted_dialogs.h"

namespace zelq {
namespace {

std::uint32_t u32(const std::byte* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
std::uint16_t u16(const std::byte* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

std::vector<int> bytes(const std::uint8_t* p, int n) {
    return std::vector<int>(p, p + n);
}

// A picture with every byte different, and some pixels in the palette's exact colours.
QImage picture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y,
                qRgb((x * 7 + y * 31) & 0xff, (x * 13 + y * 5 + 100) & 0xff, (x * 3 + y * 17 + 9) & 0xff));
    image.setPixel(0, 0, qRgb(51, 204, 255));
    return image;
}

struct Case {
    int width;
    int depth;
    std::size_t rowBytes;
};

TEST(BitmapToDIB, LaysOutHeaderTableAndPaddedBottomUpRowsAtEveryDepth) {
    const Case cases[] = {{321, 24, 964}, {319, 16, 640}, {321, 32, 1284}, {321, 8, 324},
                          {1, 8, 4},      {3, 24, 12},    {5, 16, 12},     {1, 32, 4}};
    const int height = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " pixels at " << c.depth << " bits");
        const QImage image = picture(c.width, height);
        test::ScriptedDialogs dialogs;
        const Frame frame = BitmapToDIB(image, c.depth, dialogs);
        ASSERT_TRUE(frame);
        EXPECT_TRUE(dialogs.calls().empty());
        const std::byte* block = frame.data();
        const std::size_t table = c.depth == 8 ? 1024 : 0;
        ASSERT_EQ(frame.size(), 40 + table + c.rowBytes * height);
        EXPECT_EQ(u32(block + 0), 40u);                                  // biSize
        EXPECT_EQ(u32(block + 4), static_cast<std::uint32_t>(c.width));  // biWidth
        EXPECT_EQ(u32(block + 8), static_cast<std::uint32_t>(height));   // biHeight, positive: bottom-up
        EXPECT_EQ(u16(block + 12), 1);                                   // biPlanes
        EXPECT_EQ(u16(block + 14), c.depth);                             // biBitCount
        EXPECT_EQ(u32(block + 16), 0u);                                  // BI_RGB
        EXPECT_EQ(u32(block + 20), c.rowBytes * height);                 // biSizeImage
        EXPECT_EQ(u32(block + 24), 0u);
        EXPECT_EQ(u32(block + 28), 0u);
        EXPECT_EQ(u32(block + 32), c.depth == 8 ? 256u : 0u);  // biClrUsed
        EXPECT_EQ(u32(block + 36), 0u);
        const std::byte* pixels = block + 40 + table;
        EXPECT_EQ(frame.pixels(), pixels);
        if (c.depth == 8) {
            EXPECT_EQ(std::memcmp(block + 40, fixedPalette().data(), 1024), 0);
        }

        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const std::uint8_t*>(pixels) + c.rowBytes * (height - 1 - y);
            for (int x = 0; x < c.width; ++x) {
                const QRgb p = image.pixel(x, y);
                const int r = qRed(p), g = qGreen(p), b = qBlue(p);
                if (c.depth == 32) {
                    ASSERT_EQ(bytes(row + 4 * x, 4), (std::vector<int>{b, g, r, 0})) << x << "," << y;
                } else if (c.depth == 24) {
                    ASSERT_EQ(bytes(row + 3 * x, 3), (std::vector<int>{b, g, r})) << x << "," << y;
                } else if (c.depth == 16) {
                    const int v = row[2 * x] | row[2 * x + 1] << 8;
                    ASSERT_EQ(v, (r >> 3) << 10 | (g >> 3) << 5 | b >> 3) << x << "," << y;
                } else {
                    const RgbQuad e = fixedPalette()[row[x]];
                    ASSERT_LE(std::abs(e.rgbRed - r), 25) << x << "," << y;
                    ASSERT_LE(std::abs(e.rgbGreen - g), 25) << x << "," << y;
                    ASSERT_LE(std::abs(e.rgbBlue - b), 25) << x << "," << y;
                }
            }
            const std::size_t used = (static_cast<std::size_t>(c.width) * c.depth + 7) / 8;
            for (std::size_t i = used; i < c.rowBytes; ++i) ASSERT_EQ(row[i], 0) << "padding of row " << y;
        }
        if (c.depth == 8) {
            // (51, 204, 255) is a cube colour: level 1, 4, 5.
            EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(pixels)[c.rowBytes * (height - 1)],
                      36 * 1 + 6 * 4 + 5);
        }
    }
}

TEST(DibPalette, IsACubeAndGreysAndMapsColoursToTheirNearestEntry) {
    const auto& palette = fixedPalette();
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                const int i = 36 * r + 6 * g + b;
                EXPECT_EQ(palette[i].rgbRed, 51 * r);
                EXPECT_EQ(palette[i].rgbGreen, 51 * g);
                EXPECT_EQ(palette[i].rgbBlue, 51 * b);
                EXPECT_EQ(paletteIndex(qRgb(51 * r, 51 * g, 51 * b)), i);
            }
    std::set<int> greys;
    for (int i = 216; i < 256; ++i) {
        EXPECT_EQ(palette[i].rgbRed, palette[i].rgbGreen);
        EXPECT_EQ(palette[i].rgbGreen, palette[i].rgbBlue);
        EXPECT_NE(palette[i].rgbRed % 51, 0) << "entry " << i << " repeats a cube grey";
        greys.insert(palette[i].rgbRed);
    }
    EXPECT_EQ(greys.size(), 40u);
    for (int v = 0; v < 256; ++v) {
        const RgbQuad e = palette[paletteIndex(qRgb(v, v, v))];
        EXPECT_EQ(e.rgbRed, e.rgbBlue);
        EXPECT_LE(std::abs(e.rgbRed - v), 3) << "grey " << v;  // 46 greys leave gaps of at most 7
    }
}

TEST(Frame, IsReleasedOnceAndBecomesNone) {
    test::ScriptedDialogs dialogs;
    Frame frame = BitmapToDIB(picture(4, 4), 32, dialogs);
    ASSERT_TRUE(frame);
    FreeFrame(frame);
    EXPECT_FALSE(frame);
    EXPECT_EQ(frame.data(), nullptr);
    EXPECT_EQ(frame.size(), 0u);
    FreeFrame(frame);  // none: nothing happens
    EXPECT_FALSE(frame);
    // A frame whose pixels a 32-bit biSizeImage cannot count is never made.
    EXPECT_FALSE(Frame::allocate(70000, 70000, 32));
    EXPECT_FALSE(Frame::allocate(-1, 10, 32));
}

TEST(BitmapToDIB, ReportsPixelsItCannotConvertAndStillGivesABlackFrame) {
    test::ScriptedDialogs dialogs;
    const Frame frame = BitmapToDIB(picture(7, 3), 12, dialogs);
    ASSERT_EQ(dialogs.calls().size(), 1u);
    const test::DialogCall call = dialogs.calls().front();
    EXPECT_EQ(call.text, "Error retrieving bitmap bits");
    EXPECT_EQ(call.caption, "Error");
    EXPECT_EQ(call.icon, MsgIcon::None);
    EXPECT_EQ(call.buttons, MsgButtons::Ok);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame.header().biBitCount, 12);
    EXPECT_EQ(frame.header().biSizeImage, 12u * 3);
    const auto* pixels = reinterpret_cast<const std::uint8_t*>(frame.pixels());
    EXPECT_TRUE(std::all_of(pixels, pixels + frame.pixelBytes(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace zelq
