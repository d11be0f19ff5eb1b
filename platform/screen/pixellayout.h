#pragma once
// How the X server lays out the pixels of a ZPixmap image of the screen, and the conversion of one row of
// such an image into 0xffRRGGBB words (QImage::Format_RGB32). The screen may be 24/32-bit true colour
// (the usual case, converted by a plain copy) or 15/16-bit or packed 24-bit true colour, in either byte
// order (converted pixel by pixel through the visual's channel masks). Pure functions; any thread.

#include <cstddef>
#include <cstdint>

namespace zelq {

struct PixelLayout {
    int bitsPerPixel = 32;  // bits of one pixel in an image (32 for a depth-24 screen)
    int scanlinePad = 32;   // rows of an image are padded to a multiple of this many bits
    bool lsbFirst = true;   // image byte order of the server
    std::uint32_t redMask = 0xff0000;
    std::uint32_t greenMask = 0x00ff00;
    std::uint32_t blueMask = 0x0000ff;

    // Bytes in one row of a w-pixel image.
    std::size_t rowBytes(int width) const;
    // Layouts this converter can read: true colour at 16, 24 or 32 bits per pixel.
    bool supported() const;
    // The usual screen: 32-bit words 0xXXRRGGBB in the host's byte order.
    bool isPlainXrgb() const;
};

// Converts `width` pixels of one image row at `src` into `dst` as 0xffRRGGBB. The layout must be
// supported().
void convertRowToRgb32(const PixelLayout& layout, const std::uint8_t* src, std::uint32_t* dst, int width);

// For a plain XRGB layout: converts a row as convertRowToRgb32 does into `rgb`, and in the same sweep
// writes it into `dib` as a 32-bit DIB row (blue, green, red, 0). The DIB row is written past the cache
// (it is next read by another thread, long after the cache has moved on), so call finishStreamedRows
// before handing it over.
void copyXrgbRowTwice(const std::uint8_t* src, std::uint32_t* rgb, std::uint32_t* dib, int width);
void finishStreamedRows();

}  // namespace zelq
