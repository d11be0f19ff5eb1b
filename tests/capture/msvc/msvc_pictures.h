#pragma once
// Test pictures for the Microsoft Video 1 encoder: 8-bit RGB pictures, top-down, turned into the DIB frames
// the grabber hands over, and the measures the tests judge the coded pictures by.

#include <array>
#include <cstdint>
#include <vector>

namespace zelq::test {

using Rgb8 = std::array<std::uint8_t, 3>;  // red, green, blue

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgb8> pixels;  // top-down

    Picture(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {}
    Rgb8& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const Rgb8& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// A picture with a little of everything a screen has: flat areas, a smooth gradient, dark text-like strokes
// on a light ground, a coloured photo-like patch with grain, and a square at (squareX, squareY).
Picture screenLike(int width, int height, std::uint32_t seed, int squareX = 8, int squareY = 8);

// The DIB frame of a picture: rows bottom-up, padded to 4 bytes; 16 bits are x1r5g5b5.
std::vector<std::uint8_t> toDib(const Picture& picture, int bitsPerPixel);

// The RGB555 word nearest to an 8-bit colour.
std::uint16_t toRgb555(const Rgb8& colour);

// The picture as a decoder of a stream coded at codedWidth x codedHeight must show it when nothing is lost:
// RGB555, top-down, extra columns repeating the right-hand column and extra rows the bottom row.
std::vector<std::uint16_t> paddedRgb555(const Picture& picture, int codedWidth, int codedHeight);

// Peak signal-to-noise ratio in dB of RGB555 pictures of the same size, over 5-bit components.
double psnr555(const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b);

}  // namespace zelq::test
