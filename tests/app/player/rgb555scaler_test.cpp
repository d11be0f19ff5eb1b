// The player's 5-5-5 scaler against references: libswscale's conversion when the sizes are the same (exact),
// and otherwise libswscale's conversion stretched by QPainter's bilinear filter (what the player did before
// the one-pass scaler), within a few levels. Odd sizes exercise the pixels after the wide steps.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "app/player/rgb555scaler.h"

namespace {

// Gradients in blue and green, hard-edged 3-pixel blocks in red, and the unused top bit set in places
// (the decoder leaves it as it finds it).
std::vector<std::uint16_t> picture(int width, int height) {
    std::vector<std::uint16_t> p(std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int b = x * 31 / (width - 1), g = y * 31 / (height - 1), r = (x / 3 + y / 3) % 2 ? 31 : 2;
            p[std::size_t(y) * width + x] = std::uint16_t(r << 10 | g << 5 | b | (x % 7 == 0 ? 0x8000 : 0));
        }
    return p;
}

QImage byLibswscale(const std::vector<std::uint16_t>& src, int width, int height) {
    QImage out(width, height, QImage::Format_RGB32);
    SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_RGB555LE, width, height, AV_PIX_FMT_BGRA,
                                     SWS_POINT, nullptr, nullptr, nullptr);
    const std::uint8_t* planes[4] = {reinterpret_cast<const std::uint8_t*>(src.data())};
    const int strides[4] = {2 * width};
    std::uint8_t* dst[4] = {out.bits()};
    const int dstStrides[4] = {int(out.bytesPerLine())};
    sws_scale(sws, planes, strides, 0, height, dst, dstStrides);
    sws_freeContext(sws);
    return out;
}

QImage byScaler(zelq::Rgb555Scaler& scaler, const std::vector<std::uint16_t>& src, int width, int height,
                QSize size) {
    QImage out(size, QImage::Format_RGB32);
    scaler.scale(reinterpret_cast<const std::uint8_t*>(src.data()), 2 * width, width, height, out.bits(),
                 out.bytesPerLine(), size.width(), size.height());
    return out;
}

int largestDifference(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

}  // namespace

TEST(Rgb555ScalerTest, ConvertsExactlyAtTheSameSizeAndStretchesBilinearlyOtherwise) {
    zelq::Rgb555Scaler scaler;
    for (const QSize source : {QSize(37, 23), QSize(64, 48)}) {
        const std::vector<std::uint16_t> src = picture(source.width(), source.height());
        const QImage converted = byLibswscale(src, source.width(), source.height());
        EXPECT_EQ(byScaler(scaler, src, source.width(), source.height(), source), converted);

        // Smaller, larger, and one side kept; the same scaler for all, so its tables follow the sizes.
        for (const QSize size : {QSize(20, 13), QSize(61, 41), QSize(source.width(), 40), QSize(1, 1)}) {
            QImage want(size, QImage::Format_RGB32);
            QPainter painter(&want);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(QPoint(0, 0), size), converted);
            painter.end();
            const QImage got = byScaler(scaler, src, source.width(), source.height(), size);
            // QPainter weighs the two neighbours in 16 steps, this scaler in 128: at a hard edge (a step of
            // 253 levels) the two may differ by up to half of QPainter's step, 8 levels, and rounding.
            EXPECT_LE(largestDifference(got, want), 10)
                << source.width() << " to " << size.width() << "x" << size.height();
        }
    }
}
