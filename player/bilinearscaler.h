#pragma once
// The common part of the player's one-pass scalers: a bilinear stretch into 32-bit BGRX (0xffRRGGBB words)
// with pixel centres mapped onto pixel centres (as QPainter's smooth stretch). For each destination row the
// source format's own code blends that row's two source rows over the whole source width into a line of
// B, G, R, 255 values scaled by 128 (converting to RGB on the way); this then blends two neighbours of that
// line for each destination pixel. Weights have 7 bits; a destination pixel that falls on a source pixel
// gets that pixel's value exactly.
//
// The SSE2 paths (every x86-64 processor has SSE2), the AVX2 stretch (where the processor has it) and the
// plain loops give the same pixels.
// One scaler belongs to one thread; it keeps its tables while the sizes stay the same.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace zelq {

constexpr int kWeightOne = 128;                     // a weight of 1
constexpr std::int16_t kOpaque = 255 * kWeightOne;  // the fourth channel of a line: 255 once divided out

// One destination column or row: the first of its two source samples and the weight (0..127, of 128) of
// the second.
struct BilinearTap {
    int index;
    std::int16_t weight;
};

// The taps of destination samples spread over source samples.
std::vector<BilinearTap> bilinearTaps(int source, int destination);

// A 5-bit channel (or any value held in 5 bits) widened to 8 bits, as libswscale widens it.
inline int widenFive(int v) {
    return (v << 3) | (v >> 2);
}

#ifdef __SSE2__
inline __m128i widenFive(__m128i c) {
    return _mm_or_si128(_mm_slli_epi16(c, 3), _mm_srli_epi16(c, 2));
}

// Stores eight pixels' B, G and R (16-bit lanes) with the opaque fourth channel as 32 line values.
inline void storeLine(__m128i b, __m128i g, __m128i r, std::int16_t* line) {
    const __m128i opaque = _mm_set1_epi16(kOpaque);
    const __m128i bgLow = _mm_unpacklo_epi16(b, g), bgHigh = _mm_unpackhi_epi16(b, g);
    const __m128i raLow = _mm_unpacklo_epi16(r, opaque), raHigh = _mm_unpackhi_epi16(r, opaque);
    auto* out = reinterpret_cast<__m128i*>(line);
    _mm_storeu_si128(out, _mm_unpacklo_epi32(bgLow, raLow));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(bgLow, raLow));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi32(bgHigh, raHigh));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi32(bgHigh, raHigh));
}
#endif

class BilinearScaler {
public:
    // Fills the line (4 values a source pixel, srcWidth pixels) for destination row y, whose two source
    // rows the tap names.
    using MakeLine = std::function<void(int y, BilinearTap row, std::int16_t* line)>;

    void scale(int srcWidth, int srcHeight, std::uint8_t* dst, std::ptrdiff_t dstStride, int dstWidth,
               int dstHeight, const MakeLine& makeLine);

private:
    int srcWidth_ = 0, srcHeight_ = 0, dstWidth_ = 0, dstHeight_ = 0;
    std::vector<BilinearTap> columns_, rows_;
    std::vector<std::int32_t> weights_;  // each column's two weights, the first in the low half
    // One pixel more than the source width repeats the last, so every column has a right neighbour.
    std::vector<std::int16_t> line_;
};

}  // namespace zelq
