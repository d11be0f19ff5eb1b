#include "frame.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace zelq {

Frame Frame::allocate(int width, int height, int bitsPerPixel) { return make(width, height, bitsPerPixel, true); }

Frame Frame::allocateForWriting(int width, int height, int bitsPerPixel) {
    return make(width, height, bitsPerPixel, false);
}

Frame Frame::make(int width, int height, int bitsPerPixel, bool zeroed) {
    if (width < 0 || height < 0 || bitsPerPixel <= 0 || bitsPerPixel > 32)
        return {};
    // dibRowBytes takes the product in 64 bits; a width of 2^31 - 1 at 32 bits still fits.
    const std::uint64_t rowBytes = dibRowBytes(width, bitsPerPixel);
    const std::uint64_t tableBytes = 4u * static_cast<std::uint64_t>(dibColourTableEntries(bitsPerPixel));
    const std::uint64_t imageBytes = rowBytes * static_cast<std::uint64_t>(height);
    const std::uint64_t total = sizeof(BitmapInfoHeader) + tableBytes + imageBytes;
    // biSizeImage is a 32-bit field; a frame whose pixels it cannot count is no frame.
    if (imageBytes > std::numeric_limits<std::uint32_t>::max() ||
        total > std::numeric_limits<std::size_t>::max()) {
        return {};
    }
    Frame frame;
    const auto bytes = static_cast<std::size_t>(total);
    frame.block_.reset(static_cast<std::byte*>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes)));
    if (!frame.block_)
        return {};
    frame.size_ = static_cast<std::size_t>(total);
    BitmapInfoHeader header;
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = static_cast<std::uint16_t>(bitsPerPixel);
    header.biCompression = kBiRgb;
    header.biSizeImage = static_cast<std::uint32_t>(imageBytes);
    header.biClrUsed = static_cast<std::uint32_t>(dibColourTableEntries(bitsPerPixel));
    frame.setHeader(header);
    return frame;
}

Frame Frame::copy() const {
    Frame twin;
    if (!block_)
        return twin;
    twin.block_.reset(static_cast<std::byte*>(std::malloc(size_)));
    if (!twin.block_)
        return {};
    std::memcpy(twin.block_.get(), block_.get(), size_);
    twin.size_ = size_;
    return twin;
}

BitmapInfoHeader Frame::header() const {
    BitmapInfoHeader header;
    if (block_)
        std::memcpy(&header, block_.get(), sizeof header);
    return header;
}

void Frame::setHeader(const BitmapInfoHeader& header) {
    if (block_)
        std::memcpy(block_.get(), &header, sizeof header);
}

RgbQuad* Frame::colourTable() {
    if (!block_ || header().biClrUsed == 0)
        return nullptr;
    return reinterpret_cast<RgbQuad*>(block_.get() + sizeof(BitmapInfoHeader));
}

std::byte* Frame::pixels() {
    if (!block_)
        return nullptr;
    const BitmapInfoHeader h = header();
    return block_.get() + h.biSize + 4u * h.biClrUsed;
}

const std::byte* Frame::pixels() const {
    return const_cast<Frame*>(this)->pixels();
}

std::size_t Frame::rowBytes() const {
    const BitmapInfoHeader h = header();
    return dibRowBytes(h.biWidth, h.biBitCount);
}

}  // namespace zelq
