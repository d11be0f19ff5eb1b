#pragma once
// Reading 4x4 blocks out of the frames the grabber hands over: DIB rows bottom-up, padded to 4 bytes, at
// 16 (x1r5g5b5), 24 (BGR) or 32 (BGRX) bits. Microsoft Video 1 walks its blocks from the bottom of the
// picture up, just as DIB rows are stored, so block row s of the stream starts at DIB row 4s (less the rows
// the picture was padded with). A picture whose size is not a multiple of 4 is coded as the next multiple
// of 4, the extra columns and rows repeating the right-hand column and the bottom row, so that a decoder
// never shows garbage and every captured pixel is kept.
//
// Pure functions on the caller's memory: any thread may call them.

#include <cstddef>
#include <cstdint>

#include "capture/msvc/msvc_block.h"

namespace zelq::msvc {

// The four DIB rows one block row of the stream reads, bottom row first; rows below the picture's bottom
// repeat its bottom row (DIB row 0).
struct BandRows {
    const std::uint8_t* row[4];
};

// Geometry of a picture and of the grid of blocks it is coded in.
struct Geometry {
    int width = 0;
    int height = 0;
    int blocksWide = 0;
    int blocksHigh = 0;
    int padRows = 0;  // rows added below the picture to fill the bottom block row

    Geometry(int width, int height);
    int codedWidth() const { return blocksWide * 4; }
    int codedHeight() const { return blocksHigh * 4; }
    // DIB row read for row py (0 = bottom) of block row s (0 = bottom block row).
    int dibRow(int s, int py) const {
        const int r = 4 * s + py - padRows;
        return r < 0 ? 0 : r;
    }
    BandRows band(const std::uint8_t* pixels, std::size_t stride, int s) const;
};

// Converts the block whose left column is x0 into 5-bit components (nearest value), repeating the last
// column of a row narrower than the block.
void loadBlock(const BandRows& rows, int bitsPerPixel, int x0, int width, Block& out);

// True when any pixel of the block at x0 differs between the two frames (same format and geometry).
bool blockDiffers(const BandRows& now, const BandRows& before, int bytesPerPixel, int x0, int width);

}  // namespace zelq::msvc
