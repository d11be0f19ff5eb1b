#pragma once
// Eight 16-bit lanes, the unit the block coder computes in: half a block (two rows of four pixels) per
// vector. Written with the compiler's generic vectors, which GCC and Clang turn into SSE2 on x86-64 and
// into the native instructions of other machines, so that one source serves everywhere.
//
// Every value kept in a lane stays within 16 bits: components are 0..31, differences -31..31, squared
// distances of a pixel at most 3 x 31^2 = 2883, and a sum over the eight lanes at most 8 x 2883.

#include <cstdint>
#include <cstring>

namespace zelq::msvc {

using Lanes = std::int16_t __attribute__((vector_size(16)));
using UnsignedLanes = std::uint16_t __attribute__((vector_size(16)));

inline Lanes loadLanes(const std::int16_t* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void storeLanes(std::int16_t* p, Lanes v) {
    std::memcpy(p, &v, sizeof v);
}

inline Lanes splat(int value) {
    return Lanes{} + static_cast<std::int16_t>(value);
}

// Sum of the eight lanes.
inline int laneSum(Lanes v) {
    v += __builtin_shufflevector(v, v, 4, 5, 6, 7, 0, 1, 2, 3);
    v += __builtin_shufflevector(v, v, 2, 3, 0, 1, 6, 7, 4, 5);
    v += __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6);
    return v[0];
}

// One bit per lane of a comparison result (lanes all ones or all zeros), lane 0 in bit 0.
inline unsigned laneBits(Lanes condition) {
    const Lanes weights = {1, 2, 4, 8, 16, 32, 64, 128};
    return static_cast<unsigned>(laneSum(condition & weights));
}

inline Lanes square(Lanes v) {
    return v * v;
}
inline Lanes minLanes(Lanes a, Lanes b) {
    return a < b ? a : b;
}
inline Lanes absLanes(Lanes v) {
    return v < 0 ? -v : v;
}

// The three components of a block, half a block (two rows of the order of Block) per vector.
struct BlockLanes {
    Lanes r[2];
    Lanes g[2];
    Lanes b[2];
};

}  // namespace zelq::msvc
