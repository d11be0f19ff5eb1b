#pragma once
// The uncompressed DIBs that frames arrive in and leave as: what a header says, and how its pixels look
// to libswscale and libavcodec. 16-bit DIBs are 5-5-5 (x1r5g5b5), 24-bit ones BGR, 32-bit ones BGRX and
// 8-bit ones index a colour table of BGRX entries; rows are bottom-up and padded to 4 bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "capture/vfw/vfwtypes.h"

namespace zelq {

struct DibFormat {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    int paletteEntries = 0;  // entries of the colour table, 8 bits or fewer
    std::array<RgbQuad, 256> palette{};

    std::size_t rowBytes() const { return dibRowBytes(width, bitCount); }
    std::size_t imageBytes() const { return rowBytes() * static_cast<std::size_t>(height); }
    std::size_t headerBytes() const { return sizeof(BitmapInfoHeader) + sizeof(RgbQuad) * paletteEntries; }
    AVPixelFormat pixelFormat() const;
};

// Reads an uncompressed bottom-up DIB header of 8, 16, 24 or 32 bits and, when cb is given, its colour
// table. AVIERR_BADFORMAT for anything else (compressed, top-down, other depths, absurd sizes),
// AVIERR_BADSIZE when cb leaves out part of the colour table. Without cb only the header is read.
HRESULT readDibFormat(const BitmapInfoHeader* header, std::optional<std::size_t> cb, DibFormat& out);

// The pixel format of a DIB of this depth; AV_PIX_FMT_NONE for depths a DIB of ours never has.
AVPixelFormat dibPixelFormat(int bitCount);
// The DIB depth that holds a decoded picture of this format without loss where one can: 8 for
// palettised pictures, 16 for 5-5-5 ones, 32 for BGRX/BGRA ones and 24 for everything else.
int dibDepthFor(AVPixelFormat format);

// A colour table as libav carries palettes: 256 native-endian 0xAARRGGBB words, opaque.
std::array<std::uint32_t, 256> paletteToAv(const DibFormat& dib);
// And back, from a decoded palettised picture's palette.
void paletteFromAv(const std::uint32_t* avPalette, RgbQuad* table, int entries);

// Writes a DIB header for a picture of this size and depth (biSizeImage, biClrUsed filled).
BitmapInfoHeader makeDibHeader(int width, int height, int bitCount);

}  // namespace zelq
