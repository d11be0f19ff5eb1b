#include "msvc_pictures.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "platform/dibtypes.h"

namespace zelq::test {

Picture screenLike(int width, int height, std::uint32_t seed, int squareX, int squareY) {
    Picture p(width, height);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> grain(-12, 12);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb8 c{236, 236, 240};  // window background
            if (y < height / 4) {
                c = {static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1)), 90,
                     static_cast<std::uint8_t>(255 - y * 255 / std::max(1, height))};
            } else if (x < width / 2) {
                // strokes of "text": dark on light, with a grey edge as anti-aliasing leaves
                const int u = (x * 7 + y * 3 + static_cast<int>(seed)) % 11, v = y % 9;
                if (v < 6 && u < 3)
                    c = u == 1 ? Rgb8{20, 20, 30} : Rgb8{130, 130, 140};
            } else {
                const auto wave = [&](double f) {
                    return static_cast<int>(100 + 80 * std::sin(x * f + y * 0.07));
                };
                c = {static_cast<std::uint8_t>(std::clamp(wave(0.05) + grain(random), 0, 255)),
                     static_cast<std::uint8_t>(std::clamp(wave(0.03) + grain(random), 0, 255)),
                     static_cast<std::uint8_t>(std::clamp(wave(0.11) + grain(random), 0, 255))};
            }
            if (x >= squareX && x < squareX + 10 && y >= squareY && y < squareY + 10)
                c = {200, 30, 40};
            p.at(x, y) = c;
        }
    }
    return p;
}

std::uint16_t toRgb555(const Rgb8& c) {
    const auto to5 = [](int v) { return static_cast<std::uint16_t>(std::lround(v * 31.0 / 255.0)); };
    return static_cast<std::uint16_t>(to5(c[0]) << 10 | to5(c[1]) << 5 | to5(c[2]));
}

std::vector<std::uint8_t> toDib(const Picture& picture, int bitsPerPixel) {
    const std::size_t stride = dibRowBytes(picture.width, bitsPerPixel);
    std::vector<std::uint8_t> dib(stride * picture.height, 0);
    for (int y = 0; y < picture.height; ++y) {
        std::uint8_t* row = dib.data() + stride * (picture.height - 1 - y);
        for (int x = 0; x < picture.width; ++x) {
            const Rgb8& c = picture.at(x, y);
            if (bitsPerPixel == 16) {
                const std::uint16_t word = toRgb555(c);
                row[2 * x] = static_cast<std::uint8_t>(word & 0xFF);
                row[2 * x + 1] = static_cast<std::uint8_t>(word >> 8);
            } else {
                std::uint8_t* p = row + x * (bitsPerPixel / 8);
                p[0] = c[2];
                p[1] = c[1];
                p[2] = c[0];
            }
        }
    }
    return dib;
}

std::vector<std::uint16_t> paddedRgb555(const Picture& picture, int codedWidth, int codedHeight) {
    std::vector<std::uint16_t> out(static_cast<std::size_t>(codedWidth) * codedHeight);
    for (int y = 0; y < codedHeight; ++y)
        for (int x = 0; x < codedWidth; ++x)
            out[static_cast<std::size_t>(y) * codedWidth + x] =
                toRgb555(picture.at(std::min(x, picture.width - 1), std::min(y, picture.height - 1)));
    return out;
}

double psnr555(const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b) {
    double squares = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (int shift : {0, 5, 10}) {
            const int d = ((a[i] >> shift) & 31) - ((b[i] >> shift) & 31);
            squares += d * d;
        }
    }
    const double mse = squares / (3.0 * static_cast<double>(a.size()));
    return mse == 0 ? 99.0 : 10 * std::log10(31.0 * 31.0 / mse);
}

}  // namespace zelq::test
