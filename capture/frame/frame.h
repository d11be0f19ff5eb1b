#pragma once
// A frame: one packed device-independent bitmap in one contiguous, zero-filled block: the 40-byte header,
// the colour table (depths of 8 bits or fewer), then the pixel rows bottom-up, each padded to 4 bytes.
// The pixels start at data() + biSize + 4 * biClrUsed and biSizeImage is their byte count; the recording
// loop hands exactly those bytes to the compressor, and the header with its colour table is the stream
// format.
//
// A frame owns its block. Whoever receives one from GrabFrame owns it and releases it once, with
// FreeFrame or by letting it go out of scope. Frames move between threads freely; one frame is used by
// one thread at a time.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "platform/dibtypes.h"

namespace zelq {

class Frame {
public:
    Frame() = default;  // none

    // A zero-filled block for a width x height DIB at the depth given, with its header filled in; none
    // when the memory cannot be had or the size is absurd (negative, or beyond what a size_t holds).
    static Frame allocate(int width, int height, int bitsPerPixel);
    // The same block with its header filled in but its colour table and pixels left as they come, for a
    // writer that fills every byte of them itself: zeroing 8 MB a frame costs more than encoding it.
    static Frame allocateForWriting(int width, int height, int bitsPerPixel);

    // A block of its own with the same bytes; none for none or when the memory cannot be had.
    Frame copy() const;

    explicit operator bool() const { return block_ != nullptr; }
    // The address of the block's first byte (the header), or nullptr for none.
    std::byte* data() { return block_.get(); }
    const std::byte* data() const { return block_.get(); }
    std::size_t size() const { return size_; }

    BitmapInfoHeader header() const;
    void setHeader(const BitmapInfoHeader& header);
    RgbQuad* colourTable();  // nullptr above 8 bits
    // biSize + 4 * biClrUsed bytes in, as the header says.
    std::byte* pixels();
    const std::byte* pixels() const;
    std::size_t pixelBytes() const { return header().biSizeImage; }
    std::size_t rowBytes() const;

    void reset() {
        block_.reset();
        size_ = 0;
        changedRows.clear();
        pass = 0;
        seenAt.reset();
    }

    // The pixel rows (bottom-up, as stored) that may differ from the recording's frame before this one;
    // empty: any row may. An encoder that compares frames can pass over the other rows unread.
    std::vector<bool> changedRows;
    // The recording pass whose screen the pixels show (see KeptScreen); 0: not a recording's frame.
    std::uint64_t pass = 0;
    // When the screen's first answer with these pixels came back, on the recording's clock
    // (Clock::timeGetTime); none: not known. On a busy machine the display server may answer a read long
    // after it was asked, and the picture is of that later moment.
    std::optional<std::uint32_t> seenAt;

private:
    static Frame make(int width, int height, int bitsPerPixel, bool zeroed);
    struct Free {
        void operator()(std::byte* p) const { std::free(p); }
    };
    std::unique_ptr<std::byte, Free> block_;
    std::size_t size_ = 0;
};

// Releases the frame's block and leaves the frame as none; nothing happens for none.
inline void FreeFrame(Frame& frame) {
    frame.reset();
}

}  // namespace zelq
