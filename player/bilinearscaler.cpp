#include "player/bilinearscaler.h"

#include <algorithm>

#ifdef __x86_64__
#include <immintrin.h>
#endif

namespace zelq {

namespace {

constexpr int kHalf = 1 << 13;  // rounds the two weights of 128 divided out together (>> 14)

#ifdef __x86_64__
// Two pixels, one to each half of the register, with their weights repeated in each half.
__attribute__((target("avx2"))) inline __m256i stretchTwo(const std::int16_t* line, const BilinearTap* t,
                                                          __m256i weights) {
    const __m256i quads = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(line + 4 * t[1].index),
                                              reinterpret_cast<const __m128i*>(line + 4 * t[0].index));
    const __m256i pairs = _mm256_unpacklo_epi16(quads, _mm256_srli_si256(quads, 8));
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(pairs, weights), _mm256_set1_epi32(kHalf)),
                             14);
}

// Four pixels at a time; returns where it stopped.
__attribute__((target("avx2"))) int stretchFour(const std::int16_t* line, const BilinearTap* columns,
                                                const std::int32_t* weights, std::uint8_t* out, int width) {
    const __m256i firstTwo = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
    const __m256i lastTwo = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m256i w =
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + x)));
        const __m256i words =
            _mm256_packs_epi32(stretchTwo(line, columns + x, _mm256_permutevar8x32_epi32(w, firstTwo)),
                               stretchTwo(line, columns + x + 2, _mm256_permutevar8x32_epi32(w, lastTwo)));
        // In each half: the first pixel's bytes, then the third's (or the second's and fourth's).
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words, words), order);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm256_castsi256_si128(bytes));
    }
    return x;
}

bool hasAvx2() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
}
#endif

void stretchLine(const std::int16_t* line, const std::vector<BilinearTap>& columns,
                 const std::vector<std::int32_t>& weights, std::uint8_t* out, int width) {
    int x = 0;
#ifdef __x86_64__
    if (hasAvx2())
        x = stretchFour(line, columns.data(), weights.data(), out, width);
#endif
#ifdef __SSE2__
    const __m128i half = _mm_set1_epi32(kHalf);
    const auto pixel = [&](BilinearTap t) {
        // B G R X of this pixel and of its right neighbour, interleaved into pairs for one multiply-add each
        // with the pair of weights.
        const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + 4 * t.index));
        const __m128i pairs = _mm_unpacklo_epi16(two, _mm_srli_si128(two, 8));
        const __m128i pair = _mm_set1_epi32((kWeightOne - t.weight) | (int(t.weight) << 16));
        return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, pair), half), 14);
    };
    for (; x + 2 <= width; x += 2) {
        const __m128i words = _mm_packs_epi32(pixel(columns[x]), pixel(columns[x + 1]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(words, words));
    }
#endif
    for (; x < width; ++x) {
        const std::int16_t* q = line + 4 * columns[x].index;
        const int w = columns[x].weight;
        for (int c = 0; c < 4; ++c)
            out[4 * x + c] =
                static_cast<std::uint8_t>((q[c] * (kWeightOne - w) + q[4 + c] * w + kHalf) >> 14);
    }
}

}  // namespace

std::vector<BilinearTap> bilinearTaps(int source, int destination) {
    // The centre of destination sample d falls on source position (d + 1/2) * source / destination - 1/2,
    // here in 128ths, rounded, and held inside the picture.
    std::vector<BilinearTap> out(destination);
    const std::int64_t last = std::int64_t(source - 1) * kWeightOne;
    for (int d = 0; d < destination; ++d) {
        const std::int64_t num = (2 * std::int64_t(d) + 1) * source * kWeightOne -
                                 std::int64_t(kWeightOne) * destination + destination;
        const std::int64_t at =
            std::clamp<std::int64_t>(num < 0 ? 0 : num / (2 * std::int64_t(destination)), 0, last);
        out[d] = BilinearTap{static_cast<int>(at / kWeightOne), static_cast<std::int16_t>(at % kWeightOne)};
    }
    return out;
}

void BilinearScaler::scale(int srcWidth, int srcHeight, std::uint8_t* dst, std::ptrdiff_t dstStride,
                           int dstWidth, int dstHeight, const MakeLine& makeLine) {
    if (srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return;
    if (srcWidth != srcWidth_ || srcHeight != srcHeight_ || dstWidth != dstWidth_ ||
        dstHeight != dstHeight_) {
        columns_ = bilinearTaps(srcWidth, dstWidth);
        weights_.resize(dstWidth);
        for (int x = 0; x < dstWidth; ++x)
            weights_[x] = (kWeightOne - columns_[x].weight) | (int(columns_[x].weight) << 16);
        rows_ = bilinearTaps(srcHeight, dstHeight);
        line_.assign(4 * (std::size_t(srcWidth) + 1), 0);
        srcWidth_ = srcWidth;
        srcHeight_ = srcHeight;
        dstWidth_ = dstWidth;
        dstHeight_ = dstHeight;
    }
    std::int16_t* line = line_.data();
    for (int y = 0; y < dstHeight; ++y) {
        makeLine(y, rows_[y], line);
        std::copy_n(line + 4 * (srcWidth - 1), 4, line + 4 * srcWidth);
        stretchLine(line, columns_, weights_, dst + y * dstStride, dstWidth);
    }
}

}  // namespace zelq
