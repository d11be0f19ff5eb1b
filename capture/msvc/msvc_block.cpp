#include "capture/msvc/msvc_block.h"

#include <utility>

namespace zelq::msvc {
namespace {

constexpr int kFillBytes = 2;
constexpr int kTwoColourBytes = 6;
constexpr int kEightColourBytes = 18;

// In an 8-colour block the decoder gives each 2x2 quadrant its own pair of colours: bottom-left,
// bottom-right, top-left, top-right, in that order. These are the block pixels (order of Block) of each
// quadrant.
constexpr int kQuadrantPixels[4][4] = {{0, 1, 4, 5}, {2, 3, 6, 7}, {8, 9, 12, 13}, {10, 11, 14, 15}};

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

inline int distance(const Rgb& a, const Rgb& b) {
    const int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return dr * dr + dg * dg + db * db;
}

inline Rgb pixelAt(const Block& block, int i) {
    return {block.r[i], block.g[i], block.b[i]};
}

// Mean of n pixels whose components add up to sum, rounded to the nearest 5-bit value.
inline Rgb roundedMean(const Rgb& sum, int n) {
    return {(2 * sum.r + n) / (2 * n), (2 * sum.g + n) / (2 * n), (2 * sum.b + n) / (2 * n)};
}

struct Sums {
    Rgb sum;
    int squares = 0;  // of every component of every pixel
};

Sums blockSums(const Block& block) {
    Sums s;
    for (int i = 0; i < kBlockPixels; ++i) {
        const int r = block.r[i], g = block.g[i], b = block.b[i];
        s.sum.r += r;
        s.sum.g += g;
        s.sum.b += b;
        s.squares += r * r + g * g + b * b;
    }
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

// Means of the pixels in the mask and of those outside it; an empty side takes the other side's colour.
void groupMeans(const Block& block, unsigned mask, TwoColour& t) {
    Rgb in, out;
    int inCount = 0;
    for (int i = 0; i < kBlockPixels; ++i) {
        const int sel = (mask >> i) & 1;
        in.r += sel * block.r[i];
        in.g += sel * block.g[i];
        in.b += sel * block.b[i];
        out.r += (1 - sel) * block.r[i];
        out.g += (1 - sel) * block.g[i];
        out.b += (1 - sel) * block.b[i];
        inCount += sel;
    }
    const int outCount = kBlockPixels - inCount;
    if (inCount)
        t.colour[0] = roundedMean(in, inCount);
    if (outCount)
        t.colour[1] = roundedMean(out, outCount);
    if (!inCount)
        t.colour[0] = t.colour[1];
    if (!outCount)
        t.colour[1] = t.colour[0];
}

// Gives every pixel the nearer of the two colours and adds up the error that leaves.
void assignNearest(const Block& block, TwoColour& t) {
    unsigned mask = 0;
    int error = 0;
    for (int i = 0; i < kBlockPixels; ++i) {
        const Rgb p = pixelAt(block, i);
        const int d0 = distance(p, t.colour[0]);
        const int d1 = distance(p, t.colour[1]);
        mask |= static_cast<unsigned>(d0 <= d1) << i;
        error += d0 <= d1 ? d0 : d1;
    }
    t.mask = mask;
    t.error = error;
}

// Splits the block across the line from its mean to the pixel farthest from it, which separates text from
// its background and the two sides of an edge, then lets each pixel move to the nearer of the two means
// once and takes the means again (one round of k-means).
TwoColour fitTwoColours(const Block& block, const Sums& s) {
    int dr[kBlockPixels], dg[kBlockPixels], db[kBlockPixels];
    for (int i = 0; i < kBlockPixels; ++i) {
        dr[i] = kBlockPixels * block.r[i] - s.sum.r;
        dg[i] = kBlockPixels * block.g[i] - s.sum.g;
        db[i] = kBlockPixels * block.b[i] - s.sum.b;
    }
    int far = 0, farDistance = -1;
    for (int i = 0; i < kBlockPixels; ++i) {
        const int d = dr[i] * dr[i] + dg[i] * dg[i] + db[i] * db[i];
        if (d > farDistance) {
            farDistance = d;
            far = i;
        }
    }
    unsigned mask = 0;
    for (int i = 0; i < kBlockPixels; ++i)
        mask |= static_cast<unsigned>(dr[i] * dr[far] + dg[i] * dg[far] + db[i] * db[far] > 0) << i;

    TwoColour t;
    groupMeans(block, mask, t);
    assignNearest(block, t);
    groupMeans(block, t.mask, t);
    assignNearest(block, t);
    if (t.mask & 0x8000) {
        std::swap(t.colour[0], t.colour[1]);
        t.mask ^= 0xFFFF;
    }
    return t;
}

// Per quadrant: colour[0] for the pixels whose mask bit is set, colour[1] for the others.
struct EightColour {
    TwoColour quadrant[4];
    unsigned mask = 0;
    int error = 0;
};

// Four pixels in two groups: the two farthest apart start the groups and the other two join the nearer.
// For four points that is almost always the best split there is.
void fitQuadrant(const Block& block, int q, TwoColour& t) {
    const int* index = kQuadrantPixels[q];
    Rgb p[4];
    for (int k = 0; k < 4; ++k) p[k] = pixelAt(block, index[k]);
    int a = 0, b = 0, widest = 0;
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            const int d = distance(p[i], p[j]);
            if (d > widest) {
                widest = d;
                a = i;
                b = j;
            }
        }
    }
    Rgb inSum, outSum;
    int inCount = 0;
    bool in[4];
    for (int k = 0; k < 4; ++k) {
        in[k] = widest == 0 || distance(p[k], p[a]) <= distance(p[k], p[b]);
        Rgb& sum = in[k] ? inSum : outSum;
        sum.r += p[k].r;
        sum.g += p[k].g;
        sum.b += p[k].b;
        inCount += in[k];
    }
    t.colour[0] = roundedMean(inSum, inCount);
    t.colour[1] = inCount < 4 ? roundedMean(outSum, 4 - inCount) : t.colour[0];
    t.mask = 0;
    t.error = 0;
    for (int k = 0; k < 4; ++k) {
        const int d0 = distance(p[k], t.colour[0]);
        const int d1 = distance(p[k], t.colour[1]);
        t.mask |= static_cast<unsigned>(d0 <= d1) << index[k];
        t.error += d0 <= d1 ? d0 : d1;
    }
}

EightColour fitEightColours(const Block& block) {
    EightColour e;
    for (int q = 0; q < 4; ++q) {
        fitQuadrant(block, q, e.quadrant[q]);
        e.mask |= e.quadrant[q].mask;
        e.error += e.quadrant[q].error;
    }
    // pixel 15 belongs to the top-right quadrant; its bit must be clear
    if (e.mask & 0x8000) {
        TwoColour& top = e.quadrant[3];
        std::swap(top.colour[0], top.colour[1]);
        for (int i : kQuadrantPixels[3]) e.mask ^= 1u << i;
    }
    return e;
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

void writeEightColours(const EightColour& e, BlockCode& out) {
    putWord(out.bytes, e.mask);
    for (int q = 0; q < 4; ++q) {
        const std::uint16_t c0 = packRgb(e.quadrant[q].colour[0]), c1 = packRgb(e.quadrant[q].colour[1]);
        // the top bit of the first colour tells the decoder that eight colours follow, not two
        putWord(out.bytes + 2 + 4 * q, q == 0 ? 0x8000u | c0 : c0);
        putWord(out.bytes + 4 + 4 * q, c1);
        for (int i : kQuadrantPixels[q]) out.pixels[i] = (e.mask >> i) & 1 ? c0 : c1;
    }
    out.size = kEightColourBytes;
}

}  // namespace

int blockError(const Block& a, const Block& b) {
    int error = 0;
    for (int i = 0; i < kBlockPixels; ++i) {
        const int dr = a.r[i] - b.r[i], dg = a.g[i] - b.g[i], db = a.b[i] - b.b[i];
        error += dr * dr + dg * dg + db * db;
    }
    return error;
}

void unpackBlock(const std::uint16_t* words, Block& out) {
    for (int i = 0; i < kBlockPixels; ++i) {
        out.r[i] = static_cast<std::uint8_t>((words[i] >> 10) & 31);
        out.g[i] = static_cast<std::uint8_t>((words[i] >> 5) & 31);
        out.b[i] = static_cast<std::uint8_t>(words[i] & 31);
    }
}

int codeBlock(const Block& block, int lambda, BlockCode& out) {
    const Sums sums = blockSums(block);
    const Fill fill = fitFill(sums);
    const int fillCost = fill.error + lambda * kFillBytes;
    // Each dearer mode costs at least its bytes, so a cheaper one that already beats that bound is final.
    if (fillCost <= lambda * kTwoColourBytes) {
        writeFill(fill, out);
        return fill.error;
    }
    const TwoColour two = fitTwoColours(block, sums);
    const int twoCost = two.error + lambda * kTwoColourBytes;
    if (fillCost <= lambda * kEightColourBytes || twoCost <= lambda * kEightColourBytes) {
        if (fillCost <= twoCost) {
            writeFill(fill, out);
            return fill.error;
        }
        writeTwoColours(two, out);
        return two.error;
    }
    const EightColour eight = fitEightColours(block);
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
