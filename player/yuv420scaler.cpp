#include "player/yuv420scaler.h"

#include <algorithm>
#include <cmath>

namespace zelq {

namespace {

constexpr int kShift = 13;  // the matrix's fixed point

// The matrix in 1/8192: R = y*Y' + v2r*V', G = y*Y' + u2g*U' + v2g*V', B = y*Y' + u2b*U', with
// Y' = Y - 16 (limited range) and U', V' = chroma - 128. Every weight stays below 4 (fits 16 bits).
struct Matrix {
    int y, v2r, u2g, v2g, u2b, offset;
};

Matrix matrixOf(const YuvColour& colour) {
    // As libswscale: limited range stretches Y by 255/219; full-range chroma has 255 steps, not 224.
    const double chroma = colour.fullRange ? 224.0 / 255.0 : 1.0;
    const auto fixed = [&](int c, double scale) {
        return int(std::lround(c / 65536.0 * scale * (1 << kShift)));
    };
    const auto& c = colour.coefficients;
    return Matrix{int(std::lround((colour.fullRange ? 1.0 : 255.0 / 219.0) * (1 << kShift))),
                  fixed(c[0], chroma),
                  -fixed(c[2], chroma),
                  -fixed(c[3], chroma),
                  fixed(c[1], chroma),
                  colour.fullRange ? 0 : 16 * kWeightOne};
}

// out = top * (128 - weight) + bottom * weight for n bytes.
void blendBytes(const std::uint8_t* top, const std::uint8_t* bottom, int weight, std::int16_t* out, int n) {
    const int upper = kWeightOne - weight;
    int i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i w0 = _mm_set1_epi16(static_cast<short>(upper));
    const __m128i w1 = _mm_set1_epi16(static_cast<short>(weight));
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i));
        const auto blend = [&](__m128i x, __m128i y) {
            return _mm_add_epi16(_mm_mullo_epi16(x, w0), _mm_mullo_epi16(y, w1));
        };
        auto* o = reinterpret_cast<__m128i*>(out + i);
        _mm_storeu_si128(o, blend(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)));
        _mm_storeu_si128(o + 1, blend(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)));
    }
#endif
    for (; i < n; ++i) out[i] = static_cast<std::int16_t>(top[i] * upper + bottom[i] * weight);
}

// A channel in 16ths of a level, held inside 0..255 and brought to 128ths.
std::int16_t clampChannel(int v) {
    return static_cast<std::int16_t>(std::clamp(v, 0, 255 * 16) << 3);
}

// The line of RGB values for blended luma y and chroma u, v (one chroma sample for two luma samples).
void toRgb(const std::int16_t* y, const std::int16_t* u, const std::int16_t* v, const Matrix& m,
           std::int16_t* line, int width) {
    int x = 0;
#ifdef __SSE2__
    // In 16-bit lanes: each product keeps its top half, (value * 128) * (weight * 8192) >> 16, which is
    // the term in 16ths of a level; the sum is clamped and brought back to 128ths.
    const __m128i offset = _mm_set1_epi16(static_cast<short>(m.offset));
    const __m128i middle = _mm_set1_epi16(128 * kWeightOne);
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi16(255 * 16);
    const __m128i cy = _mm_set1_epi16(static_cast<short>(m.y)),
                  v2r = _mm_set1_epi16(static_cast<short>(m.v2r)),
                  u2g = _mm_set1_epi16(static_cast<short>(m.u2g)),
                  v2g = _mm_set1_epi16(static_cast<short>(m.v2g)),
                  u2b = _mm_set1_epi16(static_cast<short>(m.u2b));
    const auto channel = [&](__m128i sum) {
        return _mm_slli_epi16(_mm_min_epi16(_mm_max_epi16(sum, zero), top), 3);
    };
    for (; x + 8 <= width; x += 8) {
        const __m128i luma = _mm_mulhi_epi16(
            _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x)), offset), cy);
        const __m128i u4 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i v4 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m128i cb = _mm_sub_epi16(_mm_unpacklo_epi16(u4, u4), middle);
        const __m128i cr = _mm_sub_epi16(_mm_unpacklo_epi16(v4, v4), middle);
        const __m128i green = _mm_add_epi16(_mm_mulhi_epi16(cb, u2g), _mm_mulhi_epi16(cr, v2g));
        storeLine(channel(_mm_add_epi16(luma, _mm_mulhi_epi16(cb, u2b))), channel(_mm_add_epi16(luma, green)),
                  channel(_mm_add_epi16(luma, _mm_mulhi_epi16(cr, v2r))), line + 4 * x);
    }
#endif
    const auto term = [](int value, int weight) { return (value * weight) >> 16; };
    for (; x < width; ++x) {
        const int l = term(y[x] - m.offset, m.y), cb = u[x / 2] - 128 * kWeightOne,
                  cr = v[x / 2] - 128 * kWeightOne;
        line[4 * x] = clampChannel(l + term(cb, m.u2b));
        line[4 * x + 1] = clampChannel(l + term(cb, m.u2g) + term(cr, m.v2g));
        line[4 * x + 2] = clampChannel(l + term(cr, m.v2r));
        line[4 * x + 3] = kOpaque;
    }
}

}  // namespace

void Yuv420Scaler::scale(const YuvPlanes& src, int srcWidth, int srcHeight, const YuvColour& colour,
                         std::uint8_t* dst, std::ptrdiff_t dstStride, int dstWidth, int dstHeight) {
    if (srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0)
        return;
    const int chromaWidth = (srcWidth + 1) / 2, chromaHeight = (srcHeight + 1) / 2;
    if (srcHeight != srcHeight_ || dstHeight != dstHeight_) {
        chromaRows_ = bilinearTaps(chromaHeight, dstHeight);
        srcHeight_ = srcHeight;
        dstHeight_ = dstHeight;
    }
    y_.resize(srcWidth);
    u_.resize(chromaWidth);
    v_.resize(chromaWidth);
    const Matrix matrix = matrixOf(colour);
    const auto blend = [](const std::uint8_t* plane, std::ptrdiff_t stride, BilinearTap row,
                          std::int16_t* out, int n) {
        const std::uint8_t* top = plane + row.index * stride;
        blendBytes(top, row.weight ? top + stride : top, row.weight, out, n);
    };
    bilinear_.scale(srcWidth, srcHeight, dst, dstStride, dstWidth, dstHeight,
                    [&](int y, BilinearTap row, std::int16_t* line) {
                        blend(src.data[0], src.stride[0], row, y_.data(), srcWidth);
                        blend(src.data[1], src.stride[1], chromaRows_[y], u_.data(), chromaWidth);
                        blend(src.data[2], src.stride[2], chromaRows_[y], v_.data(), chromaWidth);
                        toRgb(y_.data(), u_.data(), v_.data(), matrix, line, srcWidth);
                    });
}

}  // namespace zelq
