#include "capture/vfw/rgb555rows.h"

namespace zelq {

namespace {

std::uint8_t widen5(unsigned v) {
    return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}

}  // namespace

// Every pixel of every 16-bit frame split into pictures passes here. Written as plain arithmetic rather
// than a table so that the compiler turns it into vector code (this file is built with the vectoriser
// on); the clones pick the widest vectors the processor has, as a look-up per pixel cannot.
__attribute__((target_clones("avx2", "ssse3", "default"))) void Rgb555ToBgr24(
    const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int count) {
    for (int x = 0; x < count; ++x) {
        const unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
        dst[3 * x] = widen5(v & 31);
        dst[3 * x + 1] = widen5((v >> 5) & 31);
        dst[3 * x + 2] = widen5((v >> 10) & 31);
    }
}

}  // namespace zelq
