#include "player/rgb555scaler.h"

#include <cstring>

namespace zelq {

namespace {

std::uint16_t pixelAt(const std::uint8_t* row, int x) {
    std::uint16_t p;
    std::memcpy(&p, row + 2 * x, 2);
    return p;
}

void convertRow(const std::uint8_t* src, std::uint8_t* dst, int width) {
    int x = 0;
#ifdef __SSE2__
    const __m128i five = _mm_set1_epi16(31);
    const __m128i alpha = _mm_set1_epi16(static_cast<short>(0xff00));
    for (; x + 8 <= width; x += 8) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * x));
        const __m128i b = widenFive(_mm_and_si128(p, five));
        const __m128i g = widenFive(_mm_and_si128(_mm_srli_epi16(p, 5), five));
        const __m128i r = widenFive(_mm_and_si128(_mm_srli_epi16(p, 10), five));
        // Bytes B G in one 16-bit lane, R and 255 in the other: interleaved they are the BGRX words.
        const __m128i bg = _mm_or_si128(b, _mm_slli_epi16(g, 8));
        const __m128i ra = _mm_or_si128(r, alpha);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * x), _mm_unpacklo_epi16(bg, ra));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * x + 16), _mm_unpackhi_epi16(bg, ra));
    }
#endif
    for (; x < width; ++x) {
        const int p = pixelAt(src, x);
        const std::uint32_t word =
            0xff000000u | widenFive((p >> 10) & 31) << 16 | widenFive((p >> 5) & 31) << 8 | widenFive(p & 31);
        std::memcpy(dst + 4 * x, &word, 4);
    }
}

// line = top * (128 - weight) + bottom * weight, per channel, for a whole source row.
void blendRows(const std::uint8_t* top, const std::uint8_t* bottom, int weight, std::int16_t* line,
               int width) {
    const int upper = kWeightOne - weight;
    int x = 0;
#ifdef __SSE2__
    const __m128i five = _mm_set1_epi16(31);
    const __m128i w0 = _mm_set1_epi16(static_cast<short>(upper));
    const __m128i w1 = _mm_set1_epi16(static_cast<short>(weight));
    for (; x + 8 <= width; x += 8) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 2 * x));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 2 * x));
        const auto channel = [&](int shift) {
            const __m128i c0 = widenFive(_mm_and_si128(_mm_srli_epi16(p0, shift), five));
            const __m128i c1 = widenFive(_mm_and_si128(_mm_srli_epi16(p1, shift), five));
            return _mm_add_epi16(_mm_mullo_epi16(c0, w0), _mm_mullo_epi16(c1, w1));  // at most 255 * 128
        };
        storeLine(channel(0), channel(5), channel(10), line + 4 * x);
    }
#endif
    for (; x < width; ++x) {
        const int p0 = pixelAt(top, x), p1 = pixelAt(bottom, x);
        for (int c = 0; c < 3; ++c)
            line[4 * x + c] = static_cast<std::int16_t>(widenFive((p0 >> 5 * c) & 31) * upper +
                                                        widenFive((p1 >> 5 * c) & 31) * weight);
        line[4 * x + 3] = kOpaque;
    }
}

}  // namespace

void Rgb555Scaler::scale(const std::uint8_t* src, std::ptrdiff_t srcStride, int srcWidth, int srcHeight,
                         std::uint8_t* dst, std::ptrdiff_t dstStride, int dstWidth, int dstHeight) {
    if (srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return;
    if (srcWidth == dstWidth && srcHeight == dstHeight) {
        for (int y = 0; y < srcHeight; ++y) convertRow(src + y * srcStride, dst + y * dstStride, srcWidth);
        return;
    }
    bilinear_.scale(srcWidth, srcHeight, dst, dstStride, dstWidth, dstHeight,
                    [&](int, BilinearTap row, std::int16_t* line) {
                        const std::uint8_t* top = src + row.index * srcStride;
                        blendRows(top, row.weight ? top + srcStride : top, row.weight, line, srcWidth);
                    });
}

}  // namespace zelq
