#include "capture/vfw/dibformat.h"

#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace zelq {

AVPixelFormat dibPixelFormat(int bitCount) {
    switch (bitCount) {
        case 8:
            return AV_PIX_FMT_PAL8;
        case 16:
            return AV_PIX_FMT_RGB555LE;
        case 24:
            return AV_PIX_FMT_BGR24;
        case 32:
            return AV_PIX_FMT_BGR0;
        default:
            return AV_PIX_FMT_NONE;
    }
}

AVPixelFormat DibFormat::pixelFormat() const {
    return dibPixelFormat(bitCount);
}

int dibDepthFor(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_PAL8:
            return 8;
        case AV_PIX_FMT_RGB555LE:
            return 16;
        case AV_PIX_FMT_BGR0:
        case AV_PIX_FMT_BGRA:
            return 32;
        default:
            return 24;
    }
}

HRESULT readDibFormat(const BitmapInfoHeader* header, std::optional<std::size_t> cb, DibFormat& out) {
    if (!header)
        return AVIERR_BADPARAM;
    if (cb && *cb < sizeof(BitmapInfoHeader))
        return AVIERR_BADSIZE;
    BitmapInfoHeader h;
    std::memcpy(&h, header, sizeof h);  // the caller's block need not be aligned
    if (h.biSize < sizeof(BitmapInfoHeader) || h.biPlanes != 1 || h.biCompression != kBiRgb)
        return AVIERR_BADFORMAT;
    if (dibPixelFormat(h.biBitCount) == AV_PIX_FMT_NONE)
        return AVIERR_BADFORMAT;
    // Frames are bottom-up (positive height); a zero or negative size is no frame of ours.
    if (h.biWidth <= 0 || h.biHeight <= 0 || av_image_check_size(h.biWidth, h.biHeight, 0, nullptr) < 0)
        return AVIERR_BADFORMAT;

    DibFormat f;
    f.width = h.biWidth;
    f.height = h.biHeight;
    f.bitCount = h.biBitCount;
    if (f.bitCount <= 8) {
        const std::uint32_t full = 1u << f.bitCount;
        if (h.biClrUsed > full)
            return AVIERR_BADFORMAT;
        f.paletteEntries = static_cast<int>(h.biClrUsed ? h.biClrUsed : full);
        if (cb) {
            if (*cb < h.biSize + sizeof(RgbQuad) * f.paletteEntries)
                return AVIERR_BADSIZE;
            std::memcpy(f.palette.data(), reinterpret_cast<const std::uint8_t*>(header) + h.biSize,
                        sizeof(RgbQuad) * f.paletteEntries);
        }
    }
    out = f;
    return AVIERR_OK;
}

std::array<std::uint32_t, 256> paletteToAv(const DibFormat& dib) {
    std::array<std::uint32_t, 256> pal{};
    for (int i = 0; i < dib.paletteEntries; ++i) {
        const RgbQuad& q = dib.palette[i];
        pal[i] = 0xFF000000u | (std::uint32_t{q.rgbRed} << 16) | (std::uint32_t{q.rgbGreen} << 8) | q.rgbBlue;
    }
    return pal;
}

void paletteFromAv(const std::uint32_t* avPalette, RgbQuad* table, int entries) {
    for (int i = 0; i < entries; ++i) {
        const std::uint32_t v = avPalette[i];
        table[i].rgbBlue = static_cast<std::uint8_t>(v);
        table[i].rgbGreen = static_cast<std::uint8_t>(v >> 8);
        table[i].rgbRed = static_cast<std::uint8_t>(v >> 16);
        table[i].rgbReserved = 0;
    }
}

BitmapInfoHeader makeDibHeader(int width, int height, int bitCount) {
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = static_cast<std::uint16_t>(bitCount);
    h.biSizeImage =
        static_cast<std::uint32_t>(dibRowBytes(width, bitCount) * static_cast<std::size_t>(height));
    h.biClrUsed = static_cast<std::uint32_t>(dibColourTableEntries(bitCount));
    return h;
}

}  // namespace zelq
