#include "app/player/rgb555scaler.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace zelq {

namespace {

constexpr int kOne = 128;                     // a weight of 1
constexpr std::int16_t kOpaque = 255 * kOne;  // the fourth channel of a blended line: 255 once divided out
constexpr int kHalf = 1 << 13;                // rounds the two weights of 128 divided out together (>> 14)

std::uint16_t pixelAt(const std::uint8_t* row, int x) {
    std::uint16_t p;
    std::memcpy(&p, row + 2 * x, 2);
    return p;
}

// A 5-bit channel widened to 8 bits.
int widen(int v) {
    return (v << 3) | (v >> 2);
}

void convertRow(const std::uint8_t* src, std::uint8_t* dst, int width) {
    int x = 0;
#ifdef __SSE2__
    const __m128i five = _mm_set1_epi16(31);
    const __m128i alpha = _mm_set1_epi16(static_cast<short>(0xff00));
    const auto wide = [](__m128i c) { return _mm_or_si128(_mm_slli_epi16(c, 3), _mm_srli_epi16(c, 2)); };
    for (; x + 8 <= width; x += 8) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * x));
        const __m128i b = wide(_mm_and_si128(p, five));
        const __m128i g = wide(_mm_and_si128(_mm_srli_epi16(p, 5), five));
        const __m128i r = wide(_mm_and_si128(_mm_srli_epi16(p, 10), five));
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
            0xff000000u | widen((p >> 10) & 31) << 16 | widen((p >> 5) & 31) << 8 | widen(p & 31);
        std::memcpy(dst + 4 * x, &word, 4);
    }
}

// line = top * (128 - weight) + bottom * weight, per channel, for a whole source row.
void blendRows(const std::uint8_t* top, const std::uint8_t* bottom, int weight, std::int16_t* line,
               int width) {
    const int upper = kOne - weight;
    int x = 0;
#ifdef __SSE2__
    const __m128i five = _mm_set1_epi16(31);
    const __m128i opaque = _mm_set1_epi16(kOpaque);
    const __m128i w0 = _mm_set1_epi16(static_cast<short>(upper));
    const __m128i w1 = _mm_set1_epi16(static_cast<short>(weight));
    const auto wide = [](__m128i c) { return _mm_or_si128(_mm_slli_epi16(c, 3), _mm_srli_epi16(c, 2)); };
    for (; x + 8 <= width; x += 8) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 2 * x));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 2 * x));
        const auto channel = [&](int shift) {
            const __m128i c0 = wide(_mm_and_si128(_mm_srli_epi16(p0, shift), five));
            const __m128i c1 = wide(_mm_and_si128(_mm_srli_epi16(p1, shift), five));
            return _mm_add_epi16(_mm_mullo_epi16(c0, w0), _mm_mullo_epi16(c1, w1));  // at most 255 * 128
        };
        const __m128i b = channel(0), g = channel(5), r = channel(10);
        const __m128i bgLow = _mm_unpacklo_epi16(b, g), bgHigh = _mm_unpackhi_epi16(b, g);
        const __m128i raLow = _mm_unpacklo_epi16(r, opaque), raHigh = _mm_unpackhi_epi16(r, opaque);
        auto* out = reinterpret_cast<__m128i*>(line + 4 * x);
        _mm_storeu_si128(out, _mm_unpacklo_epi32(bgLow, raLow));
        _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(bgLow, raLow));
        _mm_storeu_si128(out + 2, _mm_unpacklo_epi32(bgHigh, raHigh));
        _mm_storeu_si128(out + 3, _mm_unpackhi_epi32(bgHigh, raHigh));
    }
#endif
    for (; x < width; ++x) {
        const int p0 = pixelAt(top, x), p1 = pixelAt(bottom, x);
        for (int c = 0; c < 3; ++c)
            line[4 * x + c] = static_cast<std::int16_t>(widen((p0 >> 5 * c) & 31) * upper +
                                                        widen((p1 >> 5 * c) & 31) * weight);
        line[4 * x + 3] = kOpaque;
    }
}

}  // namespace

std::vector<Rgb555Scaler::Tap> Rgb555Scaler::taps(int source, int destination) {
    // The centre of destination sample d falls on source position (d + 1/2) * source / destination - 1/2,
    // here in 128ths, rounded, and held inside the picture.
    std::vector<Tap> out(destination);
    const std::int64_t last = std::int64_t(source - 1) * kOne;
    for (int d = 0; d < destination; ++d) {
        const std::int64_t num =
            (2 * std::int64_t(d) + 1) * source * kOne - std::int64_t(kOne) * destination + destination;
        const std::int64_t at =
            std::clamp<std::int64_t>(num < 0 ? 0 : num / (2 * std::int64_t(destination)), 0, last);
        out[d] = Tap{static_cast<int>(at / kOne), static_cast<std::int16_t>(at % kOne)};
    }
    return out;
}

void Rgb555Scaler::prepare(int srcWidth, int srcHeight, int dstWidth, int dstHeight) {
    if (srcWidth == srcWidth_ && srcHeight == srcHeight_ && dstWidth == dstWidth_ && dstHeight == dstHeight_)
        return;
    columns_ = taps(srcWidth, dstWidth);
    rows_ = taps(srcHeight, dstHeight);
    line_.assign(4 * (std::size_t(srcWidth) + 1), 0);
    srcWidth_ = srcWidth;
    srcHeight_ = srcHeight;
    dstWidth_ = dstWidth;
    dstHeight_ = dstHeight;
}

void Rgb555Scaler::scale(const std::uint8_t* src, std::ptrdiff_t srcStride, int srcWidth, int srcHeight,
                         std::uint8_t* dst, std::ptrdiff_t dstStride, int dstWidth, int dstHeight) {
    if (srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return;
    if (srcWidth == dstWidth && srcHeight == dstHeight) {
        for (int y = 0; y < srcHeight; ++y) convertRow(src + y * srcStride, dst + y * dstStride, srcWidth);
        return;
    }
    prepare(srcWidth, srcHeight, dstWidth, dstHeight);
    std::int16_t* line = line_.data();
    for (int y = 0; y < dstHeight; ++y) {
        const Tap row = rows_[y];
        const std::uint8_t* top = src + row.index * srcStride;
        const std::uint8_t* bottom = row.weight ? top + srcStride : top;
        blendRows(top, bottom, row.weight, line, srcWidth);
        std::copy_n(line + 4 * (srcWidth - 1), 4, line + 4 * srcWidth);

        std::uint8_t* out = dst + y * dstStride;
        int x = 0;
#ifdef __SSE2__
        const __m128i half = _mm_set1_epi32(kHalf);
        const auto pixel = [&](Tap t) {
            // B G R X of this pixel and of its right neighbour, interleaved into pairs for one multiply-add
            // each with the pair of weights.
            const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + 4 * t.index));
            const __m128i pairs = _mm_unpacklo_epi16(two, _mm_srli_si128(two, 8));
            const __m128i weights = _mm_set1_epi32((kOne - t.weight) | (int(t.weight) << 16));
            return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, weights), half), 14);
        };
        for (; x + 2 <= dstWidth; x += 2) {
            const __m128i words = _mm_packs_epi32(pixel(columns_[x]), pixel(columns_[x + 1]));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(words, words));
        }
#endif
        for (; x < dstWidth; ++x) {
            const std::int16_t* q = line + 4 * columns_[x].index;
            const int w = columns_[x].weight;
            for (int c = 0; c < 4; ++c)
                out[4 * x + c] = static_cast<std::uint8_t>((q[c] * (kOne - w) + q[4 + c] * w + kHalf) >> 14);
        }
    }
}

}  // namespace zelq
