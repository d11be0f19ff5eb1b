#include "pixellayout.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelq {

namespace {

// One colour channel of a pixel value, widened to 8 bits so that the channel's full value gives 255.
struct Channel {
    explicit Channel(std::uint32_t mask)
        : shift(mask ? std::countr_zero(mask) : 0), max(mask ? mask >> std::countr_zero(mask) : 1) {}
    std::uint32_t extract(std::uint32_t pixel, std::uint32_t mask) const {
        const std::uint32_t value = (pixel & mask) >> shift;
        return (value * 255 + max / 2) / max;
    }
    int shift;
    std::uint32_t max;
};

std::uint32_t readPixel(const std::uint8_t* p, int bytes, bool lsbFirst) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        const int byte = lsbFirst ? bytes - 1 - i : i;
        value = (value << 8) | p[byte];
    }
    return value;
}

// The common case: the server's words are already 0x??RRGGBB; only the unused byte needs setting. One pass,
// which the compiler turns into vector code because the rows cannot overlap. Rows of a ZPixmap start on
// 32-bit boundaries, so the source can be read as words.
void copyXrgb(const std::uint32_t* __restrict src, std::uint32_t* __restrict dst, int width) {
    for (int x = 0; x < width; ++x) dst[x] = src[x] | 0xff000000u;
}

}  // namespace

std::size_t PixelLayout::rowBytes(int width) const {
    const std::size_t bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel);
    const std::size_t pad = static_cast<std::size_t>(scanlinePad);
    return (bits + pad - 1) / pad * pad / 8;
}

bool PixelLayout::isPlainXrgb() const {
    return bitsPerPixel == 32 && lsbFirst && redMask == 0xff0000 && greenMask == 0x00ff00 &&
           blueMask == 0x0000ff && std::endian::native == std::endian::little;
}

bool PixelLayout::supported() const {
    const bool knownSize = bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
    return knownSize && redMask && greenMask && blueMask && scanlinePad >= 8 && scanlinePad % 8 == 0;
}

void convertRowToRgb32(const PixelLayout& layout, const std::uint8_t* src, std::uint32_t* dst, int width) {
    if (layout.isPlainXrgb()) {
        copyXrgb(reinterpret_cast<const std::uint32_t*>(src), dst, width);
        return;
    }
    const Channel red(layout.redMask), green(layout.greenMask), blue(layout.blueMask);
    const int bytes = layout.bitsPerPixel / 8;
    for (int x = 0; x < width; ++x, src += bytes) {
        const std::uint32_t pixel = readPixel(src, bytes, layout.lsbFirst);
        dst[x] = 0xff000000u | red.extract(pixel, layout.redMask) << 16 |
                 green.extract(pixel, layout.greenMask) << 8 | blue.extract(pixel, layout.blueMask);
    }
}

void copyXrgbRowTwice(const std::uint8_t* src, std::uint32_t* rgb, std::uint32_t* dib, int width) {
    const auto* words = reinterpret_cast<const std::uint32_t*>(src);
    int x = 0;
#if defined(__SSE2__)
    // Streaming stores write whole lines to memory without first reading them into the cache, which a
    // plain store must: for a 4K picture that read is 33 MB a pass. They need 16-byte aligned addresses,
    // so the first few pixels go the plain way.
    for (; x < width && reinterpret_cast<std::uintptr_t>(dib + x) % 16 != 0; ++x) {
        rgb[x] = words[x] | 0xff000000u;
        dib[x] = words[x] & 0x00ffffffu;
    }
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xff000000u));
    const __m128i colour = _mm_set1_epi32(0x00ffffff);
    for (; x + 4 <= width; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + x), _mm_or_si128(p, opaque));
        _mm_stream_si128(reinterpret_cast<__m128i*>(dib + x), _mm_and_si128(p, colour));
    }
#endif
    for (; x < width; ++x) {
        rgb[x] = words[x] | 0xff000000u;
        dib[x] = words[x] & 0x00ffffffu;
    }
}

void finishStreamedRows() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

}  // namespace zelq
