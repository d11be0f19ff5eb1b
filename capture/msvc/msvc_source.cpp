#include "capture/msvc/msvc_source.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "capture/msvc/msvc_lanes.h"

namespace zelq::msvc {
namespace {

// 8-bit component to the nearest 5-bit value: round(c * 31 / 255), exact for every c.
inline std::int16_t to5(unsigned c) {
    return static_cast<std::int16_t>((c * 249 + 1024) >> 11);
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
                out.r[i] = static_cast<std::int16_t>((w >> 10) & 31);
                out.g[i] = static_cast<std::int16_t>((w >> 5) & 31);
                out.b[i] = static_cast<std::int16_t>(w & 31);
            } else {
                out.b[i] = to5(p[0]);
                out.g[i] = to5(p[1]);
                out.r[i] = to5(p[2]);
            }
        }
    }
}

// The common case, whole blocks of 32-bit pixels, eight pixels (two rows) at a time: a row of four BGRX
// pixels read as 16-bit lanes holds green and blue in the even lanes, red in the odd ones.
static_assert(std::endian::native == std::endian::little, "BGRX pixels are read as little-endian lanes");
void loadWholeBgrx(const BandRows& rows, int x0, Block& out) {
    const UnsignedLanes low = UnsignedLanes{} + 0xFF;
    const auto to5 = [](UnsignedLanes c) { return reinterpret_cast<Lanes>((c * 249 + 1024) >> 11); };
    for (int h = 0; h < 2; ++h) {
        UnsignedLanes a, b;
        std::memcpy(&a, rows.row[2 * h] + 4 * static_cast<std::size_t>(x0), sizeof a);
        std::memcpy(&b, rows.row[2 * h + 1] + 4 * static_cast<std::size_t>(x0), sizeof b);
        const UnsignedLanes greenBlue = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
        const UnsignedLanes red = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15) & low;
        storeLanes(out.b + 8 * h, to5(greenBlue & low));
        storeLanes(out.g + 8 * h, to5(greenBlue >> 8));
        storeLanes(out.r + 8 * h, to5(red));
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

KeptRows Geometry::band(std::uint8_t* pixels, std::size_t stride, int s) const {
    KeptRows rows;
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
            if (x0 + 4 <= width)
                loadWholeBgrx(rows, x0, out);
            else
                loadRows<4, true>(rows, x0, width, out);
            break;
    }
}

bool refreshEdgeBlock(const BandRows& now, const KeptRows& kept, int bytesPerPixel, int x0, int width) {
    if (!edgeBlockDiffers(now, readOnly(kept), bytesPerPixel, x0, width))
        return false;
    const std::size_t offset = static_cast<std::size_t>(x0) * bytesPerPixel;
    const std::size_t count = static_cast<std::size_t>(width - x0) * bytesPerPixel;
    for (int py = 0; py < 4; ++py) std::memcpy(kept.row[py] + offset, now.row[py] + offset, count);
    return true;
}

bool edgeBlockDiffers(const BandRows& now, const BandRows& before, int bytesPerPixel, int x0, int width) {
    const std::size_t offset = static_cast<std::size_t>(x0) * bytesPerPixel;
    const std::size_t count = static_cast<std::size_t>(width - x0) * bytesPerPixel;
    for (int py = 0; py < 4; ++py) {
        if (std::memcmp(now.row[py] + offset, before.row[py] + offset, count) != 0)
            return true;
    }
    return false;
}

}  // namespace zelq::msvc
