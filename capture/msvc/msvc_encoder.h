#pragma once
// The default recording compressor, Microsoft Video 1 (FourCC 'MSVC' or 'CRAM') in its 16-bit form: 4x4
// blocks, each skipped, filled with one colour, or drawn with two colours or with two colours per 2x2
// quadrant, in RGB555. A screen barely changes from one frame to the next, so the encoder first compares
// each block with the frame before at the byte level and spends work only on blocks that changed; it also
// keeps every block's last code, so that a key frame of a still screen costs little more than copying.
//
// A picture whose width or height is not a multiple of 4 is coded at the next multiple of 4 (codedWidth,
// codedHeight): the extra columns repeat the right-hand column and the extra rows the bottom row. The
// stream's format must carry the coded size; the decoder of that format reads only whole blocks.
//
// Threads: an encoder belongs to one thread at a time (the recording worker); it shares nothing.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelq {

struct MsvcEncoderOptions {
    int width = 0;
    int height = 0;
    // 0 (smallest file) .. 10000 (best picture); a negative value asks for the default, 7500. Each block
    // is coded the way that gives the least error + lambda x bytes, error being the squared differences
    // of its 5-bit components; lambda = 200 x ((10000 - quality) / 10000)^2: 0 at 10000 (least error
    // whatever it costs), 24 at the recorder's 6550, 200 at 0. A changed block is left as the decoder
    // shows it when that error is within 2 x lambda, or no more than coding it would cost.
    int quality = 7500;
    // A key frame (no block skipped) every this many frames; 0 or less: the first frame only.
    int keyFrameEvery = 15;
};

class MsvcEncoder {
public:
    // Throws std::invalid_argument for a width or height below 1 or above 32768.
    explicit MsvcEncoder(const MsvcEncoderOptions& options);

    // Encodes one frame given as DIB pixels: bottom-up rows padded to 4 bytes, bitsPerPixel 16 (x1r5g5b5),
    // 24 (BGR) or 32 (BGRX), width x height as constructed. Returns the compressed frame; keyFrame (may be
    // null) tells whether it holds no skips. Throws std::invalid_argument for another depth or no pixels.
    // changedRows (may be null), one flag per DIB row (bottom-up): rows not flagged are the same as in the
    // frame before, and their blocks are taken as unchanged without comparing them. The output is the same
    // as without it, as long as every changed row is flagged.
    // lastPixels (may be null): the pixels given to the last call, still at hand and unchanged. Blocks are
    // then compared with them, and the encoder keeps no copy of its own: a sweep of memory less a frame.
    // The output is the same as without it; but a call without it after one with it finds the encoder's
    // own copy out of date, and takes every block as changed.
    std::vector<std::uint8_t> encode(const std::uint8_t* pixels, int bitsPerPixel, bool* keyFrame,
                                     const std::vector<bool>* changedRows = nullptr,
                                     const std::uint8_t* lastPixels = nullptr);
    // Makes the next frame a key frame, whatever the interval says (a caller that needs a place to seek to).
    void requestKeyFrame() { keyRequested_ = true; }

    // The picture a decoder holds after the last frame, as RGB555 words (top bit clear), top-down,
    // codedWidth() * codedHeight().
    const std::vector<std::uint16_t>& reconstruction() const { return reconstruction_; }

    int width() const { return width_; }
    int height() const { return height_; }
    // The size the stream is coded at: width and height rounded up to multiples of 4.
    int codedWidth() const { return blocksWide_ * 4; }
    int codedHeight() const { return blocksHigh_ * 4; }
    // The largest frame encode() can return, for the stream's suggested buffer size.
    std::size_t maxFrameBytes() const;

private:
    int width_;
    int height_;
    int blocksWide_;
    int blocksHigh_;
    int keyFrameEvery_;
    int lambda_;
    int skipLimit_;
    int framesSinceKey_ = 0;
    bool first_ = true;
    bool keyRequested_ = false;

    // The last frame's pixels as given, to find the blocks that changed; previousBits_ 0 until the first.
    std::vector<std::uint8_t> previous_;
    int previousBits_ = 0;
    bool ownCopyStale_ = false;  // the last frame was compared with the caller's copy: previous_ lags
    std::vector<std::uint16_t> reconstruction_;
    // Per block, in stream order: its last code while the decoder still shows it and the source block has
    // not changed since it was made (size 0 otherwise), to be repeated in key frames.
    std::vector<std::uint8_t> savedCode_;
    std::vector<std::uint8_t> savedSize_;
    std::vector<std::uint8_t> output_;
};

}  // namespace zelq
