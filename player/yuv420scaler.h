#pragma once
// Turns a planar 8-bit 4:2:0 YUV picture (what H.264 decoders give) of one size into 32-bit BGRX
// (0xffRRGGBB words) of another in one pass over the source, bilinear (bilinearscaler.h): each destination
// row blends its two luma rows and two chroma rows, turns them into RGB at the source width, and the
// common stretch does the rest. Chroma samples are taken as centred on their two-by-two luma block.
//
// One scaler belongs to one thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/bilinearscaler.h"

namespace zelq {

struct YuvPlanes {
    const std::uint8_t* data[3];
    std::ptrdiff_t stride[3];
};

// How YUV becomes RGB: the matrix as libswscale's sws_getCoefficients gives it (the red weight of V, the
// blue weight of U, the green weights of U and V, in 1/65536, for limited-range chroma), and whether the
// picture spans the full 0..255 range (JPEG) rather than 16..235.
struct YuvColour {
    std::array<int, 4> coefficients;
    bool fullRange = false;
};

class Yuv420Scaler {
public:
    void scale(const YuvPlanes& src, int srcWidth, int srcHeight, const YuvColour& colour, std::uint8_t* dst,
               std::ptrdiff_t dstStride, int dstWidth, int dstHeight);

private:
    BilinearScaler bilinear_;
    int srcHeight_ = 0, dstHeight_ = 0;
    std::vector<BilinearTap> chromaRows_;
    // One destination row's blended luma (source width) and chroma (half the width), scaled by 128.
    std::vector<std::int16_t> y_, u_, v_;
};

}  // namespace zelq
