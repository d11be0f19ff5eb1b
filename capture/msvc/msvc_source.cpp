#include "capture/msvc/msvc_source.h"

#include <algorithm>
#include <cstring>

namespace zelq::msvc {
namespace {

// 8-bit component to the nearest 5-bit value: round(c * 31 / 255), exact for every c.
inline std::uint8_t to5(unsigned c) {
    return static_cast<std::uint8_t>((c * 249 + 1024) >> 11);
}

// Interior blocks (Clamp false) read four whole pixels a row, which the compiler turns into straight
// loads; blocks at the right edge repeat the last column.
template <int Bytes, bool Clamp>
void loadRows(const BandRows& rows, int x0, int width, Block& out) {
    for (int py = 0; py < 4; ++py) {
        const std::uint8_t* row = rows.row[py];
        for (int px = 0; px < 4; ++px) {
            const int x = Clamp ? std::min(x0 + px, width - 1) : x0 + px;
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * Bytes;
            const int i = py * 4 + px;
            if constexpr (Bytes == 2) {
                const unsigned w = p[0] | p[1] << 8;
                out.r[i] = static_cast<std::uint8_t>((w >> 10) & 31);
                out.g[i] = static_cast<std::uint8_t>((w >> 5) & 31);
                out.b[i] = static_cast<std::uint8_t>(w & 31);
            } else {
                out.b[i] = to5(p[0]);
                out.g[i] = to5(p[1]);
                out.r[i] = to5(p[2]);
            }
        }
    }
}

template <int Bytes>
void loadBlockAs(const BandRows& rows, int x0, int width, Block& out) {
    if (x0 + 4 <= width)
        loadRows<Bytes, false>(rows, x0, width, out);
    else
        loadRows<Bytes, true>(rows, x0, width, out);
}

}  // namespace

Geometry::Geometry(int w, int h)
    : width(w), height(h), blocksWide((w + 3) / 4), blocksHigh((h + 3) / 4), padRows(blocksHigh * 4 - h) {}

BandRows Geometry::band(const std::uint8_t* pixels, std::size_t stride, int s) const {
    BandRows rows;
    for (int py = 0; py < 4; ++py) rows.row[py] = pixels + static_cast<std::size_t>(dibRow(s, py)) * stride;
    return rows;
}

void loadBlock(const BandRows& rows, int bitsPerPixel, int x0, int width, Block& out) {
    switch (bitsPerPixel) {
        case 16:
            loadBlockAs<2>(rows, x0, width, out);
            break;
        case 24:
            loadBlockAs<3>(rows, x0, width, out);
            break;
        default:
            loadBlockAs<4>(rows, x0, width, out);
            break;
    }
}

bool blockDiffers(const BandRows& now, const BandRows& before, int bytesPerPixel, int x0, int width) {
    const std::size_t offset = static_cast<std::size_t>(x0) * bytesPerPixel;
    const std::size_t count = static_cast<std::size_t>(std::min(4, width - x0)) * bytesPerPixel;
    for (int py = 0; py < 4; ++py) {
        if (std::memcmp(now.row[py] + offset, before.row[py] + offset, count) != 0)
            return true;
    }
    return false;
}

}  // namespace zelq::msvc
