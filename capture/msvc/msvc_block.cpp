#include "capture/msvc/msvc_block.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "capture/msvc/msvc_lanes.h"
#include "capture/msvc/msvc_quadrants.h"

namespace zelq::msvc {
namespace {

constexpr int kFillBytes = 2;
constexpr int kTwoColourBytes = 6;
constexpr int kEightColourBytes = 18;

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
};

inline std::uint16_t packRgb(const Rgb& c) {
    return static_cast<std::uint16_t>(c.r << 10 | c.g << 5 | c.b);
}

inline void putWord(std::uint8_t* p, unsigned word) {
    p[0] = static_cast<std::uint8_t>(word & 0xFF);
    p[1] = static_cast<std::uint8_t>(word >> 8);
}

// Means are taken many times a block; a multiplication by a reciprocal is far cheaper than a division.
// kHalfReciprocal[n] = 2^16 / 2n rounded up, exact for every sum of n 5-bit values (checked below).
constexpr std::array<std::uint32_t, 17> kHalfReciprocal = [] {
    std::array<std::uint32_t, 17> r{};
    for (std::uint32_t n = 1; n <= 16; ++n) r[n] = ((1u << 16) + 2 * n - 1) / (2 * n);
    return r;
}();

// sum / n rounded to the nearest integer, for n 1..16 and a sum of n values of 0..31.
constexpr int roundedDivide(int sum, int n) {
    return static_cast<int>((static_cast<std::uint32_t>(2 * sum + n) * kHalfReciprocal[n]) >> 16);
}

constexpr bool reciprocalsAreExact() {
    for (int n = 1; n <= 16; ++n)
        for (int sum = 0; sum <= 31 * n; ++sum)
            if (roundedDivide(sum, n) != (2 * sum + n) / (2 * n))
                return false;
    return true;
}
static_assert(reciprocalsAreExact());

// Mean of n pixels whose components add up to sum, rounded to the nearest 5-bit value.
inline Rgb roundedMean(const Rgb& sum, int n) {
    return {roundedDivide(sum.r, n), roundedDivide(sum.g, n), roundedDivide(sum.b, n)};
}

BlockLanes toLanes(const Block& block) {
    BlockLanes v;
    for (int h = 0; h < 2; ++h) {
        v.r[h] = loadLanes(block.r + 8 * h);
        v.g[h] = loadLanes(block.g + 8 * h);
        v.b[h] = loadLanes(block.b + 8 * h);
    }
    return v;
}

// Squared distance of every pixel of half h to a colour.
inline Lanes distances(const BlockLanes& v, int h, const Rgb& c) {
    return square(v.r[h] - splat(c.r)) + square(v.g[h] - splat(c.g)) + square(v.b[h] - splat(c.b));
}

struct Sums {
    Rgb sum;
    int squares = 0;  // of every component of every pixel
};

Sums blockSums(const BlockLanes& v) {
    Sums s;
    s.sum = {laneSum(v.r[0] + v.r[1]), laneSum(v.g[0] + v.g[1]), laneSum(v.b[0] + v.b[1])};
    for (int h = 0; h < 2; ++h) s.squares += laneSum(square(v.r[h]) + square(v.g[h]) + square(v.b[h]));
    return s;
}

struct Fill {
    Rgb colour;
    int error = 0;
};

Fill fitFill(const Sums& s) {
    Fill f;
    f.colour = roundedMean(s.sum, kBlockPixels);
    // A fill word with red 1 has 0x84..0x87 as its high byte, which the decoder reads as a skip count: move
    // red to whichever of 0 and 2 is nearer the block's mean.
    if (f.colour.r == 1)
        f.colour.r = s.sum.r < kBlockPixels ? 0 : 2;
    const Rgb& c = f.colour;
    // sum of (v - c)^2 expanded, so the pixels need not be visited again
    f.error = s.squares - 2 * (c.r * s.sum.r + c.g * s.sum.g + c.b * s.sum.b) +
              kBlockPixels * (c.r * c.r + c.g * c.g + c.b * c.b);
    return f;
}

// Two colours and a mask: bit i set means pixel i shows colour[0]. The decoder reads a mask with its top
// bit set as another kind of block, so the finished mask always has bit 15 clear.
struct TwoColour {
    Rgb colour[2];
    unsigned mask = 0;
    int error = 0;
};

// Means of the pixels in the group (lanes all ones) and of those outside it; an empty side takes the other
// side's colour.
void groupMeans(const BlockLanes& v, const Lanes in[2], const Sums& s, TwoColour& t) {
    const Rgb inSum{laneSum((v.r[0] & in[0]) + (v.r[1] & in[1])),
                    laneSum((v.g[0] & in[0]) + (v.g[1] & in[1])),
                    laneSum((v.b[0] & in[0]) + (v.b[1] & in[1]))};
    const int inCount = -laneSum(in[0] + in[1]);
    const int outCount = kBlockPixels - inCount;
    if (inCount)
        t.colour[0] = roundedMean(inSum, inCount);
    if (outCount)
        t.colour[1] = roundedMean({s.sum.r - inSum.r, s.sum.g - inSum.g, s.sum.b - inSum.b}, outCount);
    if (!inCount)
        t.colour[0] = t.colour[1];
    if (!outCount)
        t.colour[1] = t.colour[0];
}

// Gives every pixel the nearer of the two colours (the group is those nearer colour[0]) and adds up the
// error that leaves.
void assignNearest(const BlockLanes& v, TwoColour& t, Lanes in[2]) {
    t.mask = 0;
    t.error = 0;
    for (int h = 0; h < 2; ++h) {
        const Lanes d0 = distances(v, h, t.colour[0]);
        const Lanes d1 = distances(v, h, t.colour[1]);
        in[h] = d0 <= d1;
        t.mask |= laneBits(in[h]) << (8 * h);
        t.error += laneSum(minLanes(d0, d1));
    }
}

inline int signOf(int v) {
    return v < 0 ? -1 : 1;
}

// Splits the block by the plane through its mean that is square to the direction its colours vary along
// most, taken as each channel's spread signed by how that channel varies with the widest one. That
// separates text from its background and the two sides of an edge. Then each pixel moves to the nearer of
// the two means and the means are taken again (a round of k-means), a second time only when a pixel moved.
TwoColour fitTwoColours(const BlockLanes& v, const Sums& s) {
    const Rgb mean = roundedMean(s.sum, kBlockPixels);
    Lanes dr[2], dg[2], db[2];
    for (int h = 0; h < 2; ++h) {
        dr[h] = v.r[h] - splat(mean.r);
        dg[h] = v.g[h] - splat(mean.g);
        db[h] = v.b[h] - splat(mean.b);
    }
    const Rgb spread{laneSum(absLanes(dr[0]) + absLanes(dr[1])), laneSum(absLanes(dg[0]) + absLanes(dg[1])),
                     laneSum(absLanes(db[0]) + absLanes(db[1]))};
    const int rg = laneSum(dr[0] * dg[0] + dr[1] * dg[1]);
    const int rb = laneSum(dr[0] * db[0] + dr[1] * db[1]);
    const int gb = laneSum(dg[0] * db[0] + dg[1] * db[1]);
    Rgb axis = spread;
    if (spread.g >= spread.r && spread.g >= spread.b) {
        axis.r *= signOf(rg);
        axis.b *= signOf(gb);
    } else if (spread.r >= spread.b) {
        axis.g *= signOf(rg);
        axis.b *= signOf(rb);
    } else {
        axis.r *= signOf(rb);
        axis.g *= signOf(gb);
    }
    // scaled to at most 15, so that a pixel's projection stays within 16 bits
    int shift = 0;
    while ((std::max({spread.r, spread.g, spread.b}) >> shift) > 15) ++shift;
    const Lanes ar = splat(axis.r / (1 << shift)), ag = splat(axis.g / (1 << shift)),
                ab = splat(axis.b / (1 << shift));
    Lanes in[2];
    for (int h = 0; h < 2; ++h) in[h] = dr[h] * ar + dg[h] * ag + db[h] * ab > 0;

    TwoColour t;
    const unsigned split = laneBits(in[0]) | laneBits(in[1]) << 8;
    groupMeans(v, in, s, t);
    assignNearest(v, t, in);
    if (t.mask != split) {
        groupMeans(v, in, s, t);
        assignNearest(v, t, in);
    }
    if (t.mask & 0x8000) {
        std::swap(t.colour[0], t.colour[1]);
        t.mask ^= 0xFFFF;
    }
    return t;
}

void writeFill(const Fill& f, BlockCode& out) {
    const std::uint16_t word = packRgb(f.colour);
    putWord(out.bytes, 0x8000u | word);
    out.size = kFillBytes;
    for (auto& pixel : out.pixels) pixel = word;
}

void writeTwoColours(const TwoColour& t, BlockCode& out) {
    const std::uint16_t c0 = packRgb(t.colour[0]), c1 = packRgb(t.colour[1]);
    putWord(out.bytes, t.mask);
    putWord(out.bytes + 2, c0);
    putWord(out.bytes + 4, c1);
    out.size = kTwoColourBytes;
    for (int i = 0; i < kBlockPixels; ++i) out.pixels[i] = (t.mask >> i) & 1 ? c0 : c1;
}

void writeEightColours(const QuadrantColours& e, BlockCode& out) {
    putWord(out.bytes, e.mask);
    for (int q = 0; q < 4; ++q) {
        // the top bit of the first colour tells the decoder that eight colours follow, not two
        putWord(out.bytes + 2 + 4 * q, q == 0 ? 0x8000u | e.colour[q][0] : e.colour[q][0]);
        putWord(out.bytes + 4 + 4 * q, e.colour[q][1]);
    }
    std::memcpy(out.pixels, e.pixels, sizeof out.pixels);
    out.size = kEightColourBytes;
}

}  // namespace

int blockError(const Block& block, const std::uint16_t* words) {
    const BlockLanes v = toLanes(block);
    int error = 0;
    for (int h = 0; h < 2; ++h) {
        UnsignedLanes w;
        std::memcpy(&w, words + 8 * h, sizeof w);
        const Lanes r = reinterpret_cast<Lanes>((w >> 10) & 31), g = reinterpret_cast<Lanes>((w >> 5) & 31),
                    b = reinterpret_cast<Lanes>(w & 31);
        error += laneSum(square(v.r[h] - r) + square(v.g[h] - g) + square(v.b[h] - b));
    }
    return error;
}

int codeBlock(const Block& block, int lambda, BlockCode& out) {
    const BlockLanes lanes = toLanes(block);
    const Sums sums = blockSums(lanes);
    const Fill fill = fitFill(sums);
    const int fillCost = fill.error + lambda * kFillBytes;
    // Each dearer mode costs at least its bytes, so a cheaper one that already beats that bound is final.
    if (fillCost <= lambda * kTwoColourBytes) {
        writeFill(fill, out);
        return fill.error;
    }
    const TwoColour two = fitTwoColours(lanes, sums);
    const int twoCost = two.error + lambda * kTwoColourBytes;
    if (fillCost <= lambda * kEightColourBytes || twoCost <= lambda * kEightColourBytes) {
        if (fillCost <= twoCost) {
            writeFill(fill, out);
            return fill.error;
        }
        writeTwoColours(two, out);
        return two.error;
    }
    const QuadrantColours eight = fitQuadrants(lanes);
    const int eightCost = eight.error + lambda * kEightColourBytes;
    if (fillCost <= twoCost && fillCost <= eightCost) {
        writeFill(fill, out);
        return fill.error;
    }
    if (twoCost <= eightCost) {
        writeTwoColours(two, out);
        return two.error;
    }
    writeEightColours(eight, out);
    return eight.error;
}

}  // namespace zelq::msvc
