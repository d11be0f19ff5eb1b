#pragma once
// Turns a 5-5-5 RGB picture (what the Microsoft Video 1 decoder gives for our recordings) into 32-bit BGRX
// (0xffRRGGBB words) of any size in one pass over the source: no picture at the source size is ever
// written in between. A channel of 5 bits becomes 8 by repeating its top bits (v << 3 | v >> 2, as
// libswscale widens it), so a picture of the same size comes out exactly as libswscale converts it; other
// sizes are bilinear (bilinearscaler.h).
//
// One scaler belongs to one thread.

#include <cstddef>
#include <cstdint>

#include "player/bilinearscaler.h"

namespace zelq {

class Rgb555Scaler {
public:
    // src: srcHeight rows of srcWidth 16-bit little-endian pixels, srcStride bytes apart (negative for
    // rows running upwards). dst: dstHeight rows of dstWidth 32-bit pixels, dstStride bytes apart.
    void scale(const std::uint8_t* src, std::ptrdiff_t srcStride, int srcWidth, int srcHeight,
               std::uint8_t* dst, std::ptrdiff_t dstStride, int dstWidth, int dstHeight);

private:
    BilinearScaler bilinear_;
};

}  // namespace zelq
