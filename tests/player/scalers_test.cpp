// The player's one-pass scalers against references: libswscale's conversion at the source size stretched by
// QPainter's bilinear filter (what the player did before), within a few levels; for 5-5-5 pictures of the
// same size, libswscale's conversion exactly. Odd sizes exercise the pixels after the wide steps.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "player/rgb555scaler.h"
#include "player/yuv420scaler.h"

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

// libswscale's conversion at the same size; for YUV with the given matrix and range.
QImage byLibswscale(AVPixelFormat format, const std::uint8_t* const planes[], const int strides[], int width,
                    int height, int space = SWS_CS_DEFAULT, bool fullRange = false) {
    QImage out(width, height, QImage::Format_RGB32);
    SwsContext* sws = sws_getContext(width, height, format, width, height, AV_PIX_FMT_BGRA, SWS_POINT,
                                     nullptr, nullptr, nullptr);
    const int* table = sws_getCoefficients(space);
    sws_setColorspaceDetails(sws, table, fullRange, table, 1, 0, 1 << 16, 1 << 16);
    std::uint8_t* dst[4] = {out.bits()};
    const int dstStrides[4] = {int(out.bytesPerLine())};
    sws_scale(sws, planes, strides, 0, height, dst, dstStrides);
    sws_freeContext(sws);
    return out;
}

QImage stretched(const QImage& image, QSize size) {
    QImage out(size, QImage::Format_RGB32);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), size), image);
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
        const std::uint8_t* planes[4] = {reinterpret_cast<const std::uint8_t*>(src.data())};
        const int strides[4] = {2 * source.width()};
        const QImage converted =
            byLibswscale(AV_PIX_FMT_RGB555LE, planes, strides, source.width(), source.height());
        EXPECT_EQ(byScaler(scaler, src, source.width(), source.height(), source), converted);

        // Smaller, larger, and one side kept; the same scaler for all, so its tables follow the sizes.
        for (const QSize size : {QSize(20, 13), QSize(61, 41), QSize(source.width(), 40), QSize(1, 1)}) {
            const QImage got = byScaler(scaler, src, source.width(), source.height(), size);
            // QPainter weighs the two neighbours in 16 steps, this scaler in 128: at a hard edge (a step of
            // 253 levels) the two may differ by up to half of QPainter's step, 8 levels, and rounding.
            EXPECT_LE(largestDifference(got, stretched(converted, size)), 10)
                << source.width() << " to " << size.width() << "x" << size.height();
        }
    }
}

TEST(Yuv420ScalerTest, StretchesAsLibswscaleConvertsInEitherMatrixAndRange) {
    // Luma in gradients and hard 3-pixel blocks, chroma in gentle gradients (libswscale repeats a chroma
    // sample over its block, the scaler takes it at the block's centre: half a sample apart). The scaler
    // blends YUV before it turns it into RGB, as libswscale's own scaling does, so the colours stay inside
    // RGB here, where the order does not matter; the last picture is a colour outside RGB, held at 255.
    const int width = 37, height = 23, chromaWidth = 19, chromaHeight = 12;
    std::vector<std::uint8_t> y(width * height), u(chromaWidth * chromaHeight), v(u.size());
    const auto fill = [&](bool outside) {
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                y[r * width + c] =
                    outside ? 235 : std::uint8_t((c / 3 + r / 3) % 2 ? 60 + 3 * c : 190 - 5 * r);
        for (int r = 0; r < chromaHeight; ++r)
            for (int c = 0; c < chromaWidth; ++c) {
                u[r * chromaWidth + c] = outside ? 128 : std::uint8_t(108 + c * 40 / (chromaWidth - 1));
                v[r * chromaWidth + c] = outside ? 255 : std::uint8_t(148 - r * 40 / (chromaHeight - 1));
            }
    };
    const std::uint8_t* planes[4] = {y.data(), u.data(), v.data()};
    const int strides[4] = {width, chromaWidth, chromaWidth};
    zelq::Yuv420Scaler scaler;
    for (const bool outside : {false, true}) {
        fill(outside);
        for (const auto& [space, fullRange] :
             {std::pair{SWS_CS_ITU601, false}, std::pair{SWS_CS_ITU709, true}}) {
            const QImage converted =
                byLibswscale(AV_PIX_FMT_YUV420P, planes, strides, width, height, space, fullRange);
            const int* table = sws_getCoefficients(space);
            const zelq::YuvColour colour{{table[0], table[1], table[2], table[3]}, fullRange};
            for (const QSize size : {QSize(20, 13), QSize(61, 41), QSize(width, 40)}) {
                QImage got(size, QImage::Format_RGB32);
                scaler.scale(
                    zelq::YuvPlanes{{y.data(), u.data(), v.data()}, {width, chromaWidth, chromaWidth}}, width,
                    height, colour, got.bits(), got.bytesPerLine(), size.width(), size.height());
                // QPainter's 16 weight steps at the luma edges, as above, and the chroma's half sample.
                EXPECT_LE(largestDifference(got, stretched(converted, size)), 10)
                    << outside << " " << space << " " << fullRange << " to " << size.width() << "x"
                    << size.height();
            }
        }
    }
}
