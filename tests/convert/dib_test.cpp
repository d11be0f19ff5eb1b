#include <gtest/gtest.h>

#include <QImage>
#include <cstring>

#include "convert/dib.h"

using namespace zelq;

namespace {

BitmapInfoHeader headerOf(const QByteArray& block) {
    BitmapInfoHeader h;
    std::memcpy(&h, block.constData(), sizeof h);
    return h;
}

}  // namespace

TEST(Dib, HeaderAndSizesFollowTheColourCount) {
    const QImage screen(320, 240, QImage::Format_RGB32);
    int headerSize = 0;
    EXPECT_EQ(MeasureDib(screen, headerSize, 256), 76800);
    EXPECT_EQ(headerSize, 1064);
    EXPECT_EQ(MeasureDib(screen, headerSize, 0), 230400);
    EXPECT_EQ(headerSize, 40);
    EXPECT_EQ(MeasureDib(screen, headerSize, 16), 38400);
    EXPECT_EQ(headerSize, 104);
    EXPECT_EQ(MeasureDib(screen, headerSize, 2), 9600);
    EXPECT_EQ(headerSize, 48);

    BitmapInfoHeader h;
    ASSERT_TRUE(FillDibHeader(QImage(321, 7, QImage::Format_RGB16), h, 0));
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 964u * 7);
    EXPECT_EQ(h.biClrUsed, 0u);
    ASSERT_TRUE(FillDibHeader(screen, h, 256));
    EXPECT_EQ(h.biClrUsed, 256u);
    EXPECT_EQ(h.biWidth, 320);
    EXPECT_EQ(h.biHeight, 240);
    EXPECT_EQ(h.biPlanes, 1);

    for (int refused : {1, 3, 4, 255, 65536}) {
        EXPECT_FALSE(FillDibHeader(screen, h, refused)) << refused;
        EXPECT_EQ(MeasureDib(screen, headerSize, refused), -1) << refused;
    }
}

TEST(Dib, RowsAreBottomUpAndColoursReduceToTheTables) {
    QImage picture(5, 2, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 0));                       // top row red
    for (int x = 0; x < 5; ++x) picture.setPixel(x, 1, qRgb(0, 0, 255));  // bottom row blue
    picture.setPixel(4, 0, qRgb(255, 255, 255));

    QByteArray head, pixels;
    ASSERT_TRUE(ReadDibBits(picture, nullptr, head, 0, pixels));
    ASSERT_EQ(head.size(), 40);
    ASSERT_EQ(pixels.size(), 16 * 2);  // 15 bytes padded to 16
    const auto* p = reinterpret_cast<const uchar*>(pixels.constData());
    EXPECT_EQ(p[0], 255);  // first stored row is the bottom row, blue first in BGR
    EXPECT_EQ(p[2], 0);
    EXPECT_EQ(p[16 + 2], 255);  // then the top row, red
    EXPECT_EQ(p[16 + 12], 255);
    EXPECT_EQ(p[16 + 13], 255);
    EXPECT_EQ(p[16 + 14], 255);

    ASSERT_TRUE(ReadDibBits(picture, nullptr, head, 256, pixels));
    ASSERT_EQ(head.size(), 1064);
    EXPECT_EQ(headerOf(head).biClrUsed, 256u);
    const auto* table = reinterpret_cast<const RgbQuad*>(head.constData() + 40);
    const auto colourAt = [&](int index) { return qRgb(table[index].rgbRed, table[index].rgbGreen, table[index].rgbBlue); };
    EXPECT_EQ(colourAt(static_cast<uchar>(pixels[0])), qRgb(0, 0, 255));
    EXPECT_EQ(colourAt(static_cast<uchar>(pixels[8])), qRgb(255, 0, 0));
    EXPECT_EQ(colourAt(static_cast<uchar>(pixels[8 + 4])), qRgb(255, 255, 255));

    ASSERT_TRUE(ReadDibBits(picture, nullptr, head, 16, pixels));
    ASSERT_EQ(pixels.size(), 4 * 2);
    const auto* t16 = reinterpret_cast<const RgbQuad*>(head.constData() + 40);
    const int topLeft = static_cast<uchar>(pixels[4]) >> 4;
    EXPECT_EQ(qRgb(t16[topLeft].rgbRed, t16[topLeft].rgbGreen, t16[topLeft].rgbBlue), qRgb(255, 0, 0));

    ASSERT_TRUE(ReadDibBits(picture, nullptr, head, 2, pixels));
    ASSERT_EQ(pixels.size(), 4 * 2);
    EXPECT_EQ(static_cast<uchar>(pixels[4]), 0x08);  // only the white pixel of the top row is lit
}
