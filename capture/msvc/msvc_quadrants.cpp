#include "capture/msvc/msvc_quadrants.h"

#include <utility>

namespace zelq::msvc {
namespace {

// A vector holds two rows of a block: lanes 0, 1, 4, 5 are the left quadrant and 2, 3, 6, 7 the right one.
// A pixel's position in its quadrant: 0 and 1 on the lower row, 2 and 3 above them.
const Lanes kPosition = {0, 1, 0, 1, 2, 3, 2, 3};

inline Lanes sameRowPartner(Lanes v) {
    return __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6);
}
inline Lanes sameColumnPartner(Lanes v) {
    return __builtin_shufflevector(v, v, 4, 5, 6, 7, 0, 1, 2, 3);
}
inline Lanes maxLanes(Lanes a, Lanes b) {
    return a > b ? a : b;
}

// The sum or the largest value of each quadrant, in all four of its lanes.
inline Lanes quadrantSum(Lanes v) {
    v += sameRowPartner(v);
    return v + sameColumnPartner(v);
}
inline Lanes quadrantMax(Lanes v) {
    v = maxLanes(v, sameRowPartner(v));
    return maxLanes(v, sameColumnPartner(v));
}

struct Pixels {
    Lanes r, g, b;
};

inline Pixels sameRowPartner(const Pixels& p) {
    return {sameRowPartner(p.r), sameRowPartner(p.g), sameRowPartner(p.b)};
}
inline Pixels sameColumnPartner(const Pixels& p) {
    return {sameColumnPartner(p.r), sameColumnPartner(p.g), sameColumnPartner(p.b)};
}
inline Lanes distances(const Pixels& a, const Pixels& b) {
    return square(a.r - b.r) + square(a.g - b.g) + square(a.b - b.b);
}

// sum / n rounded to the nearest integer, lane by lane, for n 1..4 and sums of n 5-bit values: a
// multiplication by a reciprocal, exact over that range (division by 3 as (sum + 1) * 171 / 512).
inline Lanes quadrantMean(Lanes sum, Lanes n) {
    const Lanes one = n == 1, two = n == 2, three = n == 3, four = n == 4;
    const Lanes add = ((two | three) & 1) | (four & 2);
    const Lanes factor = (one & 512) | (two & 256) | (three & 171) | (four & 128);
    return ((sum + add) * factor) >> 9;
}

inline Lanes pack(const Pixels& c) {
    return c.r << 10 | c.g << 5 | c.b;
}

// Fits the two quadrants of one half; returns their error and sets the half's mask bits, pixels and the
// colours of quadrants 2h (left) and 2h + 1 (right).
int fitHalf(const Pixels& p, int h, QuadrantColours& out) {
    const Lanes across = distances(p, sameRowPartner(p));
    const Lanes upDown = distances(p, sameColumnPartner(p));
    const Lanes diagonal = distances(p, sameColumnPartner(sameRowPartner(p)));
    // Endpoint a: the pixel with the farthest partner (the lowest position among equals); endpoint b: that
    // partner. Their positions end up in every lane of the quadrant.
    const Lanes farthest = maxLanes(across, maxLanes(upDown, diagonal));
    const Lanes a = 3 - (quadrantMax(farthest * 4 + (3 - kPosition)) & 3);
    const Lanes isA = kPosition == a;
    const Lanes acrossA = quadrantSum(across & isA), upDownA = quadrantSum(upDown & isA),
                diagonalA = quadrantSum(diagonal & isA);
    const Lanes acrossBest = (acrossA >= upDownA) & (acrossA >= diagonalA);
    const Lanes upDownBest = ~acrossBest & (upDownA >= diagonalA);
    const Lanes b = a ^ ((acrossBest & 1) | (upDownBest & 2) | (~acrossBest & ~upDownBest & 3));
    // A pixel's relation to another of its quadrant is the XOR of their positions: 1 beside, 2 above or
    // below, 3 diagonal.
    const auto distanceTo = [&](Lanes end) {
        const Lanes relation = kPosition ^ end;
        return ((relation == 1) & across) | ((relation == 2) & upDown) | ((relation == 3) & diagonal);
    };
    const Lanes in = distanceTo(a) <= distanceTo(b);

    const Lanes inCount = quadrantSum(in & 1), outCount = 4 - inCount;
    const Pixels inSum{quadrantSum(p.r & in), quadrantSum(p.g & in), quadrantSum(p.b & in)};
    const Pixels c0{quadrantMean(inSum.r, inCount), quadrantMean(inSum.g, inCount),
                    quadrantMean(inSum.b, inCount)};
    const Lanes empty = outCount == 0;
    const Pixels c1{empty ? c0.r : quadrantMean(quadrantSum(p.r) - inSum.r, outCount),
                    empty ? c0.g : quadrantMean(quadrantSum(p.g) - inSum.g, outCount),
                    empty ? c0.b : quadrantMean(quadrantSum(p.b) - inSum.b, outCount)};

    // with the colours rounded, each pixel takes whichever is nearer
    const Lanes d0 = distances(p, c0), d1 = distances(p, c1);
    const Lanes first = d0 <= d1;
    const Lanes word0 = pack(c0), word1 = pack(c1);
    const Lanes shown = first ? word0 : word1;
    std::memcpy(out.pixels + 8 * h, &shown, sizeof shown);
    out.mask |= laneBits(first) << (8 * h);
    for (int side = 0; side < 2; ++side) {
        out.colour[2 * h + side][0] = static_cast<std::uint16_t>(word0[2 * side]);
        out.colour[2 * h + side][1] = static_cast<std::uint16_t>(word1[2 * side]);
    }
    return laneSum(minLanes(d0, d1));
}

}  // namespace

QuadrantColours fitQuadrants(const BlockLanes& block) {
    QuadrantColours out;
    for (int h = 0; h < 2; ++h) out.error += fitHalf({block.r[h], block.g[h], block.b[h]}, h, out);
    // pixel 15 belongs to the top-right quadrant; its bit must be clear
    if (out.mask & 0x8000) {
        std::swap(out.colour[3][0], out.colour[3][1]);
        out.mask ^= 0xCC00;  // pixels 10, 11, 14 and 15
    }
    return out;
}

}  // namespace zelq::msvc
