#pragma once
// The fixed 256-colour table of 8-bit frames: a 6 x 6 x 6 colour cube (entries 0 to 215, index
// 36 r + 6 g + b for channel levels 0, 51, ..., 255) followed by 40 further greys (216 to 255), because
// screens are full of greys and the cube has only six. Any thread.

#include <array>
#include <cstdint>

#include "platform/dibtypes.h"

namespace zelq {

const std::array<RgbQuad, 256>& fixedPalette();

// The entry nearest to a colour given as 0x??RRGGBB: a grey goes to the nearest of all 46 greys of the
// table, any other colour to the cube entry nearest in each channel.
std::uint8_t paletteIndex(std::uint32_t rgb);

}  // namespace zelq
