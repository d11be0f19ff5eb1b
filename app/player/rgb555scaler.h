#pragma once
// Turns a 5-5-5 RGB picture (what the Microsoft Video 1 decoder gives for our recordings) into 32-bit BGRX
// (0xffRRGGBB words) of any size in one pass over the source: no picture at the source size is ever
// written in between. A channel of 5 bits becomes 8 by repeating its top bits (v << 3 | v >> 2, as
// libswscale widens it), so a picture of the same size comes out exactly as libswscale converts it.
// Other sizes are bilinear, with pixel centres mapped onto pixel centres (as QPainter's smooth stretch):
// each destination row blends its two source rows once over the whole width, then each destination pixel
// blends two neighbours of that line. Weights have 7 bits; a destination pixel that falls on a source
// pixel gets that pixel's value exactly.
//
// The SSE2 paths (every x86-64 processor has SSE2) and the plain loops give the same pixels.
// One scaler belongs to one thread; it keeps its tables while the sizes stay the same.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelq {

class Rgb555Scaler {
public:
    // src: srcHeight rows of srcWidth 16-bit little-endian pixels, srcStride bytes apart (negative for
    // rows running upwards). dst: dstHeight rows of dstWidth 32-bit pixels, dstStride bytes apart.
    void scale(const std::uint8_t* src, std::ptrdiff_t srcStride, int srcWidth, int srcHeight,
               std::uint8_t* dst, std::ptrdiff_t dstStride, int dstWidth, int dstHeight);

private:
    // One destination column or row: the first of its two source samples and the weight (0..127, of
    // 128) of the second.
    struct Tap {
        int index;
        std::int16_t weight;
    };
    static std::vector<Tap> taps(int source, int destination);
    void prepare(int srcWidth, int srcHeight, int dstWidth, int dstHeight);

    int srcWidth_ = 0, srcHeight_ = 0, dstWidth_ = 0, dstHeight_ = 0;
    std::vector<Tap> columns_, rows_;
    // One destination row's vertical blend at the source width: B, G, R, 255 per pixel, 16 bits each,
    // scaled by 128; one pixel more than the width repeats the last, so every column has a right neighbour.
    std::vector<std::int16_t> line_;
};

}  // namespace zelq
