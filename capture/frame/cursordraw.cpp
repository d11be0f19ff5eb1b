#include "cursordraw.h"

#include <algorithm>
#include <cstdint>

namespace zelq {

namespace {

std::uint32_t blend(std::uint32_t under, std::uint32_t over) {
    const std::uint32_t a = over >> 24;
    if (a == 255)
        return over | 0xff000000u;
    if (a == 0)
        return under;
    std::uint32_t out = 0xff000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t o = over >> shift & 0xff, u = under >> shift & 0xff;
        out |= ((o * a + u * (255 - a) + 127) / 255) << shift;
    }
    return out;
}

}  // namespace

void drawCursor(QImage& image, const CursorImage& cursor, QPoint topLeft) {
    const QImage picture = cursor.image.convertToFormat(QImage::Format_ARGB32);
    // The part of the picture that lands on the image; a cursor wholly outside draws nothing.
    const int x0 = std::max(0, -topLeft.x()), y0 = std::max(0, -topLeft.y());
    const int x1 = std::min(picture.width(), image.width() - topLeft.x());
    const int y1 = std::min(picture.height(), image.height() - topLeft.y());
    for (int y = y0; y < y1; ++y) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(picture.constScanLine(y));
        auto* dst = reinterpret_cast<std::uint32_t*>(image.scanLine(topLeft.y() + y)) + topLeft.x();
        for (int x = x0; x < x1; ++x) dst[x] = blend(dst[x], src[x]);
    }
}

}  // namespace zelq
