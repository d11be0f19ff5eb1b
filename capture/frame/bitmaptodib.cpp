#include "bitmaptodib.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "capture/frame/dibpalette.h"
#include "platform/dialogs.h"

namespace zelq {

namespace {

// A row of 0xffRRGGBB pixels. The frame's rows never overlap the image's, which lets the compiler
// vectorise the converters.
using Row = const std::uint32_t* __restrict;

void row32(Row src, std::uint8_t* __restrict dst, int width) {
    // Pixel rows start 40 (or 1064) bytes into the block and are whole words long: word-aligned, and the
    // words little-endian, as the host's.
    auto* __restrict out = reinterpret_cast<std::uint32_t*>(dst);
    for (int x = 0; x < width; ++x) out[x] = src[x] & 0x00ffffffu;
}

void row24(Row src, std::uint8_t* __restrict dst, int width) {
    for (int x = 0; x < width; ++x, dst += 3) {
        const std::uint32_t p = src[x];
        dst[0] = static_cast<std::uint8_t>(p);
        dst[1] = static_cast<std::uint8_t>(p >> 8);
        dst[2] = static_cast<std::uint8_t>(p >> 16);
    }
}

void row16(Row src, std::uint8_t* __restrict dst, int width) {
    // Rows start on word boundaries; the words are little-endian, as the host's.
    static_assert(std::endian::native == std::endian::little);
    auto* __restrict out = reinterpret_cast<std::uint16_t*>(dst);
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = src[x];
        out[x] = static_cast<std::uint16_t>((p >> 9 & 0x7c00) | (p >> 6 & 0x03e0) | (p >> 3 & 0x001f));
    }
}

void row8(Row src, std::uint8_t* __restrict dst, int width) {
    for (int x = 0; x < width; ++x) dst[x] = paletteIndex(src[x]);
}

using RowConverter = void (*)(const std::uint32_t*, std::uint8_t*, int);

RowConverter converterFor(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 32:
            return row32;
        case 24:
            return row24;
        case 16:
            return row16;
        case 8:
            return row8;
        default:
            return nullptr;
    }
}

}  // namespace

Frame BitmapToDIB(const QImage& bitmap, int bitsPerPixel, Dialogs& dialogs) {
    const RowConverter convert = converterFor(bitsPerPixel);
    if (!convert || bitmap.isNull()) {
        // A black frame, so that the capture can go on.
        Frame frame = Frame::allocate(bitmap.width(), bitmap.height(), bitsPerPixel);
        if (frame) {
            dialogs.messageBox(QStringLiteral("Error retrieving bitmap bits"), QStringLiteral("Error"),
                               MsgIcon::None, MsgButtons::Ok);
        }
        return frame;
    }
    // Every byte is written below (pixels, row padding, colour table), so the block is not zeroed first.
    Frame frame = Frame::allocateForWriting(bitmap.width(), bitmap.height(), bitsPerPixel);
    if (!frame)
        return frame;
    if (bitsPerPixel == 8)
        std::copy_n(fixedPalette().begin(), 256, frame.colourTable());

    const QImage source = bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_ARGB32
                              ? bitmap
                              : bitmap.convertToFormat(QImage::Format_RGB32);
    const int height = source.height();
    const std::size_t stride = frame.rowBytes();
    auto* pixels = reinterpret_cast<std::uint8_t*>(frame.pixels());
    // Bottom-up: the first row in the block is the image's last.
    const std::size_t used = (static_cast<std::size_t>(source.width()) * static_cast<std::size_t>(bitsPerPixel) + 7) / 8;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels + stride * static_cast<std::size_t>(y);
        convert(reinterpret_cast<Row>(source.constScanLine(height - 1 - y)), row, source.width());
        std::fill(row + used, row + stride, std::uint8_t{0});
    }
    return frame;
}

void PaintIntoDIB(Frame& frame, const QImage& source, const QRect& from, QPoint at) {
    const BitmapInfoHeader header = frame.header();
    const RowConverter convert = converterFor(header.biBitCount);
    const int height = header.biHeight;
    const QRect wanted = from & source.rect();
    const QRect part = wanted.translated(at - from.topLeft()) & QRect(0, 0, header.biWidth, height);
    if (!convert || part.isEmpty() || source.format() != QImage::Format_RGB32)
        return;
    const QPoint shift = from.topLeft() - at;  // from the frame's place to the source's
    const std::size_t stride = frame.rowBytes();
    const std::size_t bytesPerPixel = header.biBitCount / 8u;
    auto* pixels = reinterpret_cast<std::uint8_t*>(frame.pixels());
    for (int y = part.top(); y <= part.bottom(); ++y) {
        const auto* src =
            reinterpret_cast<Row>(source.constScanLine(y + shift.y())) + (part.left() + shift.x());
        std::uint8_t* dst = pixels + stride * static_cast<std::size_t>(height - 1 - y) +
                            bytesPerPixel * static_cast<std::size_t>(part.left());
        convert(src, dst, part.width());
    }
}

}  // namespace zelq
