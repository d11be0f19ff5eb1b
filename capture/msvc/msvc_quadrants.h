#pragma once
// The eight-colour code of a block: each 2x2 quadrant gets two colours of its own. Pure function: any
// thread may call it.

#include <cstdint>

#include "capture/msvc/msvc_block.h"
#include "capture/msvc/msvc_lanes.h"

namespace zelq::msvc {

struct QuadrantColours {
    // RGB555 colours of the quadrants in the decoder's order: bottom-left, bottom-right, top-left,
    // top-right; [0] for the pixels whose mask bit is set, [1] for the others.
    std::uint16_t colour[4][2];
    unsigned mask = 0;  // bit i for pixel i (order of Block); bit 15 is always clear
    int error = 0;
    std::uint16_t pixels[kBlockPixels];  // what the decoder shows
};

// Splits each quadrant between its two most different pixels, each other pixel joining the nearer of
// them, and gives each side its mean colour: for four pixels nearly always the best split there is. All
// four quadrants are worked on at once, two in each vector.
QuadrantColours fitQuadrants(const BlockLanes& block);

}  // namespace zelq::msvc
