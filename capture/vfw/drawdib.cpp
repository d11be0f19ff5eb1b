#include "capture/vfw/drawdib.h"

#include <cstring>

#include "capture/vfw/rgb555rows.h"
#include "platform/dibtypes.h"

namespace zelq {

struct DrawDibContext {
    LONG frameTime = 0;
    bool began = false;
    BitmapInfoHeader format;  // the format DrawDibBegin accepted
};

void DrawDibDeleter::operator()(DrawDibContext* p) const noexcept {
    delete p;
}

namespace {

bool drawable(const BitmapInfoHeader& h) {
    if (h.biSize < 40 || h.biCompression != kBiRgb || h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1)
        return false;
    return h.biBitCount == 8 || h.biBitCount == 16 || h.biBitCount == 24 || h.biBitCount == 32;
}

int colourTableEntries(const BitmapInfoHeader& h) {
    if (h.biBitCount > 8)
        return 0;
    return h.biClrUsed ? static_cast<int>(h.biClrUsed) : 1 << h.biBitCount;
}

// Writes `count` pixels of one source row as blue, green, red.
void convertRow(const BitmapInfoHeader& h, const RgbQuad* table, int tableSize, const std::uint8_t* src,
                std::uint8_t* dst, int count) {
    switch (h.biBitCount) {
        case 24:
            std::memcpy(dst, src, static_cast<std::size_t>(count) * 3);
            return;
        case 32:
            for (int x = 0; x < count; ++x, src += 4, dst += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
            return;
        case 16:
            Rgb555ToBgr24(src, dst, count);
            return;
        default:
            for (int x = 0; x < count; ++x, dst += 3) {
                const int i = src[x];
                const RgbQuad c = i < tableSize ? table[i] : RgbQuad{};
                dst[0] = c.rgbBlue;
                dst[1] = c.rgbGreen;
                dst[2] = c.rgbRed;
            }
    }
}

}  // namespace

HDRAWDIB DrawDibOpen() {
    return HDRAWDIB(new DrawDibContext);
}

bool DrawDibClose(HDRAWDIB& hdd) {
    hdd.reset();
    return true;
}

bool DrawDibStart(const HDRAWDIB& hdd, LONG rate) {
    if (!hdd)
        return false;
    hdd->frameTime = rate;
    return true;
}

bool DrawDibStop(const HDRAWDIB& hdd) {
    return hdd != nullptr;
}

bool DrawDibBegin(const HDRAWDIB& hdd, QImage& surface, int dxDst, int dyDst, const BitmapInfoHeader* lpbi,
                  int dxSrc, int dySrc, UINT /*wFlags*/) {
    if (!hdd || !lpbi || !drawable(*lpbi) || dxSrc <= 0 || dySrc <= 0)
        return false;
    if ((dxDst != 0 || dyDst != 0) && (dxDst != dxSrc || dyDst != dySrc))
        return false;
    if (surface.width() != dxSrc || surface.height() != dySrc || surface.format() != QImage::Format_BGR888) {
        surface = QImage(dxSrc, dySrc, QImage::Format_BGR888);
        surface.fill(0);  // row padding too, so a saved picture has no stray bytes
    }
    if (surface.isNull())
        return false;  // out of memory
    hdd->format = *lpbi;
    hdd->began = true;
    return true;
}

UINT DrawDibRealize(const HDRAWDIB& /*hdd*/, QImage& /*surface*/, bool /*fBackground*/) {
    return 0;
}

bool DrawDibDraw(const HDRAWDIB& hdd, QImage& surface, int xDst, int yDst, int dxDst, int dyDst,
                 const BitmapInfoHeader* lpbi, const void* lpBits, int xSrc, int ySrc, int dxSrc, int dySrc,
                 UINT /*wFlags*/) {
    if (!hdd || !hdd->began || !lpbi || !lpBits || surface.format() != QImage::Format_BGR888)
        return false;
    const BitmapInfoHeader& h = *lpbi;
    if (std::memcmp(&h, &hdd->format, sizeof h) != 0)
        return false;
    const int height = PackedDibHeight(&h);
    if (dxDst != dxSrc || dyDst != dySrc || dxSrc <= 0 || dySrc <= 0 || xSrc < 0 || ySrc < 0 ||
        xSrc + dxSrc > h.biWidth || ySrc + dySrc > height || xDst < 0 || yDst < 0 ||
        xDst + dxDst > surface.width() || yDst + dyDst > surface.height())
        return false;

    const auto* table =
        reinterpret_cast<const RgbQuad*>(reinterpret_cast<const std::uint8_t*>(lpbi) + h.biSize);
    const int tableSize = colourTableEntries(h);
    const std::size_t rowBytes = dibRowBytes(h.biWidth, h.biBitCount);
    const int bytesPerPixel = h.biBitCount / 8;
    const auto* bits = static_cast<const std::uint8_t*>(lpBits);
    for (int y = 0; y < dySrc; ++y) {
        // Source rows are counted from the top here; a bottom-up DIB stores the top row last.
        const int top = ySrc + y;
        const int stored = h.biHeight > 0 ? height - 1 - top : top;
        const std::uint8_t* src = bits + rowBytes * static_cast<std::size_t>(stored) + xSrc * bytesPerPixel;
        convertRow(h, table, tableSize, src, surface.scanLine(yDst + y) + xDst * 3, dxSrc);
    }
    return true;
}

bool DrawDibToBmpRows(const BitmapInfoHeader* lpbi, const void* lpBits, std::uint8_t* rows) {
    if (!lpbi || !lpBits || !rows || !drawable(*lpbi))
        return false;
    const BitmapInfoHeader& h = *lpbi;
    const int height = PackedDibHeight(&h);
    const auto* table =
        reinterpret_cast<const RgbQuad*>(reinterpret_cast<const std::uint8_t*>(lpbi) + h.biSize);
    const int tableSize = colourTableEntries(h);
    const std::size_t srcRowBytes = dibRowBytes(h.biWidth, h.biBitCount);
    const std::size_t dstRowBytes = dibRowBytes(h.biWidth, 24);
    const std::size_t pixelBytes = static_cast<std::size_t>(h.biWidth) * 3;
    const auto* bits = static_cast<const std::uint8_t*>(lpBits);
    for (int y = 0; y < height; ++y) {
        // Both run bottom-up unless the frame's rows run top-down (a negative height).
        const int stored = h.biHeight > 0 ? y : height - 1 - y;
        std::uint8_t* dst = rows + dstRowBytes * static_cast<std::size_t>(y);
        convertRow(h, table, tableSize, bits + srcRowBytes * static_cast<std::size_t>(stored), dst,
                   h.biWidth);
        std::memset(dst + pixelBytes, 0, dstRowBytes - pixelBytes);
    }
    return true;
}

bool DrawDibEnd(const HDRAWDIB& hdd) {
    if (!hdd)
        return false;
    hdd->began = false;
    return true;
}

const void* PackedDibBits(const BitmapInfoHeader* packed) {
    return reinterpret_cast<const std::uint8_t*>(packed) + packed->biSize + 4 * colourTableEntries(*packed);
}

int PackedDibHeight(const BitmapInfoHeader* packed) {
    return packed->biHeight < 0 ? -packed->biHeight : packed->biHeight;
}

}  // namespace zelq
