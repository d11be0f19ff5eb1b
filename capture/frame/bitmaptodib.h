#pragma once
// Converts a captured screen image into a frame (see frame.h) at a given colour depth:
//   32 bits: blue, green, red, 0 per pixel;
//   24 bits: blue, green, red per pixel;
//   16 bits: 5-5-5 (x1r5g5b5, little-endian), the only 16-bit layout an uncompressed DIB has; each
//            channel keeps its top five bits;
//    8 bits: indices into the fixed 256-colour table of dibpalette.h, which the frame carries.
// Rows are stored bottom-up, each padded with zero bytes to a multiple of 4.
//
// Any thread. A message box, if one is needed, is carried to the UI thread by Dialogs.

#include <QImage>

#include "capture/frame/frame.h"

namespace zelq {

class Dialogs;

// Returns none, with no message, when the frame's memory cannot be had. For a depth other than 8, 16, 24
// or 32 (or an empty image) it shows "Error retrieving bitmap bits" and returns the frame with its pixels
// left zero, so that the capture can go on with a black frame.
Frame BitmapToDIB(const QImage& bitmap, int bitsPerPixel, Dialogs& dialogs);

// Converts the `from` part of `source` (Format_RGB32) into the pixels of a frame made by BitmapToDIB, the
// part's top-left pixel at `at` in image coordinates (top-down), cut off where it leaves either. It
// brings a frame up to date with what changed on screen, and lets a small picture (the pointer) go over a
// frame without touching the image the frame came from. Nothing happens for a depth BitmapToDIB cannot
// make.
void PaintIntoDIB(Frame& frame, const QImage& source, const QRect& from, QPoint at);

}  // namespace zelq
