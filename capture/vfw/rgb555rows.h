#pragma once
// 16-bit 5-5-5 pixels widened to 24-bit blue, green, red, as libswscale widens them (the five bits, then
// their top three again), so a picture matches other decoders' output. Thread-safe (no state).

#include <cstdint>

namespace zelq {

// Writes `count` pixels of `src` (little-endian 16-bit words, the top bit unused) to `dst`, three bytes
// each. The buffers must not overlap.
void Rgb555ToBgr24(const std::uint8_t* src, std::uint8_t* dst, int count);

}  // namespace zelq
