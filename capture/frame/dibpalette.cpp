#include "dibpalette.h"

#include <cstdlib>

namespace zelq {

namespace {

constexpr int kCubeLevels = 6;
constexpr int kCubeStep = 51;  // 255 / (kCubeLevels - 1)
constexpr int kCubeEntries = kCubeLevels * kCubeLevels * kCubeLevels;
constexpr int kExtraGreys = 256 - kCubeEntries;

constexpr int cubeIndex(int r, int g, int b) {
    return (r * kCubeLevels + g) * kCubeLevels + b;
}
// The k-th extra grey, k = 1..40: evenly spread, and never equal to one of the cube's greys.
constexpr int extraGrey(int k) {
    return (k * 255 + (kExtraGreys + 1) / 2) / (kExtraGreys + 1);
}

struct Tables {
    std::array<RgbQuad, 256> palette{};
    std::array<std::uint8_t, 256> cubeLevel{};  // channel value -> nearest cube level
    std::array<std::uint8_t, 256> greyIndex{};  // grey value -> nearest grey entry

    Tables() {
        for (int r = 0; r < kCubeLevels; ++r)
            for (int g = 0; g < kCubeLevels; ++g)
                for (int b = 0; b < kCubeLevels; ++b) {
                    palette[cubeIndex(r, g, b)] = RgbQuad{static_cast<std::uint8_t>(b * kCubeStep),
                                                          static_cast<std::uint8_t>(g * kCubeStep),
                                                          static_cast<std::uint8_t>(r * kCubeStep), 0};
                }
        for (int k = 1; k <= kExtraGreys; ++k) {
            const auto v = static_cast<std::uint8_t>(extraGrey(k));
            palette[kCubeEntries + k - 1] = RgbQuad{v, v, v, 0};
        }
        for (int v = 0; v < 256; ++v) {
            cubeLevel[v] = static_cast<std::uint8_t>((v + kCubeStep / 2) / kCubeStep);
            int best = 0;
            for (int i = 0; i < 256; ++i) {
                const RgbQuad& e = palette[i];
                const bool grey = e.rgbRed == e.rgbGreen && e.rgbGreen == e.rgbBlue;
                if (grey && std::abs(e.rgbRed - v) < std::abs(palette[best].rgbRed - v))
                    best = i;
            }
            greyIndex[v] = static_cast<std::uint8_t>(best);
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

}  // namespace

const std::array<RgbQuad, 256>& fixedPalette() {
    return tables().palette;
}

std::uint8_t paletteIndex(std::uint32_t rgb) {
    const Tables& t = tables();
    const int r = (rgb >> 16) & 0xff, g = (rgb >> 8) & 0xff, b = rgb & 0xff;
    if (r == g && g == b)
        return t.greyIndex[r];
    return static_cast<std::uint8_t>(cubeIndex(t.cubeLevel[r], t.cubeLevel[g], t.cubeLevel[b]));
}

}  // namespace zelq
