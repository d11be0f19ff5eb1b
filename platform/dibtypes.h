#pragma once
// The packed device-independent bitmap that frames travel in: a 40-byte header, a colour table for depths
// of 8 bits or fewer, then the rows bottom-up, each padded to a multiple of 4 bytes. All fields are
// little-endian, as on disk in a BMP file and in an AVI stream format.

#include <cstddef>
#include <cstdint>

namespace zelq {

#pragma pack(push, 1)
struct BitmapInfoHeader {
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;  // BI_RGB
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

struct RgbQuad {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
};
#pragma pack(pop)

static_assert(sizeof(BitmapInfoHeader) == 40, "the DIB header is 40 bytes on disk");
static_assert(sizeof(RgbQuad) == 4);

constexpr std::uint32_t kBiRgb = 0;

// Bytes in one row of a DIB: rows are padded to whole 32-bit words.
constexpr std::size_t dibRowBytes(std::int64_t width, int bitsPerPixel) {
    return static_cast<std::size_t>(((width * bitsPerPixel + 31) / 32) * 4);
}

// Entries in the colour table that follows the header: 2^bits for 8 bits or fewer, none above.
constexpr int dibColourTableEntries(int bitsPerPixel) { return bitsPerPixel <= 8 ? (1 << bitsPerPixel) : 0; }

}  // namespace zelq
