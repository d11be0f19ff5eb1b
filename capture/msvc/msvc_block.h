#pragma once
// One 4x4 block of a Microsoft Video 1 picture and the choice of how to code it: one colour for the whole
// block (2 bytes), two colours with a 16-bit mask (6 bytes), or two colours in each 2x2 quadrant (18 bytes).
// The choice minimises error + lambda x bytes, so that lambda alone says how much picture quality a byte
// of output is worth; it is computed cheapest mode first and stops as soon as no dearer mode can win.
//
// Pure functions on values: any thread may call them.

#include <cstdint>

namespace zelq::msvc {

constexpr int kBlockPixels = 16;
constexpr int kMaxBlockCodeBytes = 18;

// The 5-bit red, green and blue of a block's 16 pixels, in the order the bitstream walks them: pixel i is
// on row i / 4 counted upwards from the block's bottom row, in column i % 4 from the left.
struct Block {
    alignas(16) std::int16_t r[kBlockPixels];
    alignas(16) std::int16_t g[kBlockPixels];
    alignas(16) std::int16_t b[kBlockPixels];
};

// A coded block: its bytes in the stream, and the pixels a decoder shows for them (RGB555 words, in the
// order of Block, with the top bit clear).
struct BlockCode {
    std::uint8_t bytes[kMaxBlockCodeBytes];
    int size = 0;
    std::uint16_t pixels[kBlockPixels];
};

// Squared error between a block and RGB555 words (order of Block), summed over the three 5-bit components
// of all 16 pixels.
int blockError(const Block& block, const std::uint16_t* words);

// Codes the block with the least error + lambda x bytes; lambda is in the units of blockError per byte.
// Returns the error of the chosen code.
int codeBlock(const Block& block, int lambda, BlockCode& out);

}  // namespace zelq::msvc
