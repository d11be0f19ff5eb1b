#pragma once
// Turning an in-memory picture into a device-independent bitmap at a chosen colour count: 0 keeps the
// picture's own depth (16 and 32 bits become 24), 2 gives 1 bit, 16 gives 4 bits, 256 gives 8 bits with
// one fixed 256-colour table. Any other count is refused. Thread-safe (no state).

#include <QByteArray>
#include <QImage>
#include <QList>
#include <cstdint>

#include "platform/dibtypes.h"

namespace zelq {

// The fixed table used for 256 colours: a 6x6x6 colour cube followed by 40 greys.
const QList<QRgb>& fixedPalette256();

// Fills the header for the picture; false for a colour count other than 0, 2, 16 or 256, or a picture
// of a depth no DIB can hold.
bool FillDibHeader(const QImage& bitmap, BitmapInfoHeader& header, int colours);

// The pixel-data size in bytes, and the size of header plus colour table in headerSize (40 at 24 bits,
// 40 + 4 * 2^bits below). -1 when FillDibHeader refuses.
std::int64_t MeasureDib(const QImage& bitmap, int& headerSize, int colours);

// Writes header plus colour table into headerBlock and the bottom-up rows into pixels, both sized as
// MeasureDib says. A palette, when given, is the colour table for depths of 8 bits or fewer and the
// colours are reduced to it. False when nothing was written.
bool ReadDibBits(const QImage& bitmap, const QList<QRgb>* palette, QByteArray& headerBlock, int colours,
                 QByteArray& pixels);

}  // namespace zelq
