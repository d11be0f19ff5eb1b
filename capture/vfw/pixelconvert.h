#pragma once
// Whole-picture pixel conversion between a DIB and libavcodec's pictures, with libswscale where the
// formats differ and a plain row copy where they do not. Rows may run either way: a DIB's planes are
// described from its last row with a negative stride, which turns the picture upright on the way.
//
// One converter belongs to one encoder or one frame reader and is used by one thread at a time.

#include <array>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "capture/vfw/dibformat.h"
#include "platform/raii.h"

namespace zelq {

// The planes of a picture as libswscale takes them.
struct Planes {
    std::array<std::uint8_t*, 4> data{};
    std::array<int, 4> stride{};
};

// The planes of DIB rows (bottom-up in memory) seen top-down. `palette` is used for 8-bit pictures.
Planes dibPlanes(const std::uint8_t* pixels, const DibFormat& dib, const std::uint32_t* palette);

// A pixel format with its range: YUV pictures are either limited (16..235) or full range (the "J"
// formats of JPEG and Motion JPEG); RGB pictures are always full range.
struct PictureFormat {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    bool fullRange = false;
};
// Whether pictures of this format are RGB (packed or palette) rather than YUV.
bool isRgb(AVPixelFormat format);
// The format as libswscale wants it: the deprecated "J" formats become their plain twins with full range.
PictureFormat pictureFormat(AVPixelFormat format, AVColorRange range);

class PixelConverter {
public:
    // Converts a width × height picture. Answers false (and logs) when libswscale cannot.
    bool convert(const Planes& src, PictureFormat srcFormat, const Planes& dst, PictureFormat dstFormat,
                 int width, int height);

private:
    bool scale(const Planes& src, PictureFormat srcFormat, const Planes& dst, PictureFormat dstFormat,
               int width, int height);

    SwsContextPtr sws_;
    std::vector<std::uint8_t> wide_;  // a BGRX picture on the way to 5-5-5
    PictureFormat src_, dst_;
    int width_ = 0, height_ = 0;
};

// Copies the rows of a single-plane picture (palettised or packed RGB) of the same format.
void copyPackedRows(const Planes& src, const Planes& dst, AVPixelFormat format, int width, int height);

}  // namespace zelq
