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
#include <cstring>
#include <type_traits>

#include "capture/msvc/msvc_block.h"

namespace zelq::msvc {

// The four DIB rows one block row of the stream reads, bottom row first; rows below the picture's bottom
// repeat its bottom row (DIB row 0).
struct BandRows {
    const std::uint8_t* row[4];
};

// The same rows of the encoder's copy of the last frame.
struct KeptRows {
    std::uint8_t* row[4];
};

inline BandRows readOnly(const KeptRows& rows) {
    return BandRows{{rows.row[0], rows.row[1], rows.row[2], rows.row[3]}};
}

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
    KeptRows band(std::uint8_t* pixels, std::size_t stride, int s) const;
};

// Converts the block whose left column is x0 into 5-bit components (nearest value), repeating the last
// column of a row narrower than the block.
void loadBlock(const BandRows& rows, int bitsPerPixel, int x0, int width, Block& out);

// Whether the block at x0 of a frame differs from the same block of the last frame (same format and
// geometry). Inline: it runs for every block of every row of blocks that changed at all.
bool edgeBlockDiffers(const BandRows& now, const BandRows& before, int bytesPerPixel, int x0, int width);

template <std::size_t Bytes>
inline bool wholeBlockDiffers(const BandRows& now, const BandRows& before, std::size_t offset) {
    // XOR word by word: far cheaper than four calls of memcmp for a few bytes each
    std::uint64_t difference = 0;
    for (int py = 0; py < 4; ++py) {
        std::uint64_t a[(Bytes + 7) / 8] = {}, b[(Bytes + 7) / 8] = {};
        std::memcpy(a, now.row[py] + offset, Bytes);
        std::memcpy(b, before.row[py] + offset, Bytes);
        for (std::size_t k = 0; k < (Bytes + 7) / 8; ++k) difference |= a[k] ^ b[k];
    }
    return difference != 0;
}

// Calls op with the bytes of one row of a whole block at this depth, as a constant: the compiler then
// turns the copies and comparisons into a few moves.
// Inlined whatever the compiler thinks: it runs for every block, and a call there cost a fifth of a
// frame's time.
template <typename Op>
[[gnu::always_inline]] inline bool withRowBytes(int bytesPerPixel, Op op) {
    switch (bytesPerPixel) {
        case 2:
            return op(std::integral_constant<std::size_t, 8>{});
        case 3:
            return op(std::integral_constant<std::size_t, 12>{});
        default:
            return op(std::integral_constant<std::size_t, 16>{});
    }
}

inline bool blockDiffers(const BandRows& now, const BandRows& before, int bytesPerPixel, int x0, int width) {
    if (x0 + 4 > width)
        return edgeBlockDiffers(now, before, bytesPerPixel, x0, width);
    const std::size_t offset = static_cast<std::size_t>(x0) * bytesPerPixel;
    return withRowBytes(bytesPerPixel, [&](auto bytes) {
        return wholeBlockDiffers<decltype(bytes)::value>(now, before, offset);
    });
}

// Compares the block at x0 of a frame with the copy kept of the last one and, where they differ, brings
// the copy up to date. True when the block changed.
template <std::size_t Bytes>
inline bool refreshWholeBlock(const BandRows& now, const KeptRows& kept, std::size_t offset) {
    if (!wholeBlockDiffers<Bytes>(now, readOnly(kept), offset))
        return false;
    for (int py = 0; py < 4; ++py) std::memcpy(kept.row[py] + offset, now.row[py] + offset, Bytes);
    return true;
}

bool refreshEdgeBlock(const BandRows& now, const KeptRows& kept, int bytesPerPixel, int x0, int width);

inline bool refreshBlock(const BandRows& now, const KeptRows& kept, int bytesPerPixel, int x0, int width) {
    if (x0 + 4 > width)
        return refreshEdgeBlock(now, kept, bytesPerPixel, x0, width);
    const std::size_t offset = static_cast<std::size_t>(x0) * bytesPerPixel;
    return withRowBytes(bytesPerPixel, [&](auto bytes) {
        return refreshWholeBlock<decltype(bytes)::value>(now, kept, offset);
    });
}

}  // namespace zelq::msvc
