#pragma once
// DrawDib: drawing packed DIBs onto a picture. Windows draws into a device context; here the surface is
// a QImage, which the caller then shows or saves. Only what showing and saving whole frames needs is
// offered: a frame is drawn at its own size (no stretching) at a point of the surface, which DrawDibBegin
// has sized to the frame. 8-bit (with its colour table), 16-bit 5-5-5, 24 and 32-bit BI_RGB frames are
// drawn; other formats are refused.
//
// The surface is Format_BGR888, whose rows are laid out as a 24-bit DIB's (blue, green, red, rows padded
// to 4 bytes), so a 24-bit frame is drawn with one row copy and the surface is saved as a 24-bit BMP
// without converting a pixel.
//
// Threads: one context is used by one thread at a time. No Qt Widgets: QImage only.

#include <QImage>
#include <memory>

#include "capture/vfw/vfwtypes.h"

namespace zelq {

struct DrawDibContext;
struct DrawDibDeleter {
    void operator()(DrawDibContext* p) const noexcept;
};
using HDRAWDIB = std::unique_ptr<DrawDibContext, DrawDibDeleter>;

constexpr UINT DDF_ANIMATE = 0x0020;

HDRAWDIB DrawDibOpen();
// Closes the context; safe on a context already closed.
bool DrawDibClose(HDRAWDIB& hdd);
// The time between frames in milliseconds, kept as the pace of a run of frames; nothing waits on it.
bool DrawDibStart(const HDRAWDIB& hdd, LONG rate);
bool DrawDibStop(const HDRAWDIB& hdd);
// Prepares drawing frames of this format: sizes the surface to dxSrc × dySrc (dxDst, dyDst 0 mean the
// source size; any other size is refused, as stretching is not offered). False for a format that
// cannot be drawn.
bool DrawDibBegin(const HDRAWDIB& hdd, QImage& surface, int dxDst, int dyDst, const BitmapInfoHeader* lpbi,
                  int dxSrc, int dySrc, UINT wFlags);
// Nothing to realise: the surface holds true colour. Answers the number of palette entries changed (0).
UINT DrawDibRealize(const HDRAWDIB& hdd, QImage& surface, bool fBackground);
// Draws the source rectangle of the frame (lpbi, pixels lpBits) at xDst, yDst of the surface. The
// rectangles must have the same size and lie inside the frame and the surface; the frame's format must
// be the one given to DrawDibBegin.
bool DrawDibDraw(const HDRAWDIB& hdd, QImage& surface, int xDst, int yDst, int dxDst, int dyDst,
                 const BitmapInfoHeader* lpbi, const void* lpBits, int xSrc, int ySrc, int dxSrc, int dySrc,
                 UINT wFlags);
bool DrawDibEnd(const HDRAWDIB& hdd);

// Not a Windows call: the whole frame (lpbi, pixels lpBits) as the rows of a 24-bit BMP file, written to
// `rows`: bottom-up, blue, green, red, each row padded with zeros to 4 bytes, dibRowBytes(width, 24) ×
// height bytes in all. The same pixels DrawDibDraw draws, without a surface in between: splitting a
// recording into pictures writes them straight into the file's bytes. False for a frame DrawDibBegin
// refuses.
bool DrawDibToBmpRows(const BitmapInfoHeader* lpbi, const void* lpBits, std::uint8_t* rows);

// Not Windows calls: the parts of a packed DIB (header, colour table, pixels) that DrawDibDraw takes.
// The pixels follow the header and its colour table (biClrUsed entries, or 2^bits when 0, for 8 bits
// or fewer).
const void* PackedDibBits(const BitmapInfoHeader* packed);
// The height in rows, whichever way they run.
int PackedDibHeight(const BitmapInfoHeader* packed);

}  // namespace zelq
