#include "capture/msvc/msvc_encoder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "capture/msvc/msvc_block.h"
#include "capture/msvc/msvc_quality.h"
#include "capture/msvc/msvc_source.h"
#include "platform/dibtypes.h"

namespace zelq {
namespace {

constexpr int kMaxSide = 32768;
// The most blocks one skip code can pass over: 0x8400 + n, n up to 0x3FF.
constexpr int kMaxSkipRun = 1023;

// Appends block codes to a frame, gathering skipped blocks into runs.
class CodeWriter {
public:
    explicit CodeWriter(std::uint8_t* out) : start_(out), at_(out) {}

    void skip(int blocks) {
        pendingSkips_ += blocks;
        anySkipped_ = true;
    }
    void code(const std::uint8_t* bytes, int size) {
        flushSkips();
        // Always the longest code's bytes, a size the compiler copies in a few moves: what lies past
        // this code is written over by the next one or is past the frame's end, and the buffer has room
        // for the longest code for every block.
        std::memcpy(at_, bytes, msvc::kMaxBlockCodeBytes);
        at_ += size;
    }
    // Ends the frame with the skips still pending, so that the decoder meets a code for every block, and a
    // zero word that decoders of the original format look for. Returns the frame's size.
    std::size_t finish() {
        flushSkips();
        putWord(0);
        return static_cast<std::size_t>(at_ - start_);
    }
    bool anySkipped() const { return anySkipped_; }

private:
    void putWord(unsigned word) {
        *at_++ = static_cast<std::uint8_t>(word & 0xFF);
        *at_++ = static_cast<std::uint8_t>(word >> 8);
    }
    void flushSkips() {
        while (pendingSkips_ > 0) {
            const int run = std::min(pendingSkips_, kMaxSkipRun);
            putWord(0x8400u + static_cast<unsigned>(run));
            pendingSkips_ -= run;
        }
    }

    std::uint8_t* start_;
    std::uint8_t* at_;
    int pendingSkips_ = 0;
    bool anySkipped_ = false;
};

// The four rows of a block in the decoder's picture, side by side in `words` (the order of Block). Two
// rows go into one 16-byte store: blockError reads them 16 bytes at a time, and a load that spans two
// smaller stores cannot take its bytes from them and waits for both to reach the cache, which was a third
// of the encoder's time on a picture that changes everywhere.
void gatherShown(const std::uint16_t* const rows[4], int x0, std::uint16_t* words) {
    using TwoRows = std::uint64_t __attribute__((vector_size(16)));
    for (int h = 0; h < 2; ++h) {
        std::uint64_t lower, upper;
        std::memcpy(&lower, rows[2 * h] + x0, sizeof lower);
        std::memcpy(&upper, rows[2 * h + 1] + x0, sizeof upper);
        const TwoRows pair = {lower, upper};
        std::memcpy(words + 8 * h, &pair, sizeof pair);
    }
}

}  // namespace

MsvcEncoder::MsvcEncoder(const MsvcEncoderOptions& options)
    : width_(options.width), height_(options.height), keyFrameEvery_(options.keyFrameEvery) {
    if (width_ < 1 || height_ < 1 || width_ > kMaxSide || height_ > kMaxSide)
        throw std::invalid_argument("Microsoft Video 1: picture size out of range");
    const msvc::Geometry geometry(width_, height_);
    blocksWide_ = geometry.blocksWide;
    blocksHigh_ = geometry.blocksHigh;
    const msvc::Rate rate = msvc::rateForQuality(options.quality);
    lambda_ = rate.lambda;
    skipLimit_ = rate.skipLimit;
    const std::size_t blocks = static_cast<std::size_t>(blocksWide_) * blocksHigh_;
    reconstruction_.assign(static_cast<std::size_t>(codedWidth()) * codedHeight(), 0);
    savedCode_.assign(blocks * msvc::kMaxBlockCodeBytes, 0);
    savedSize_.assign(blocks, 0);
    output_.resize(maxFrameBytes());
}

std::size_t MsvcEncoder::maxFrameBytes() const {
    // A skip code covers at least one block with fewer bytes than the dearest block code; then the end word.
    return static_cast<std::size_t>(blocksWide_) * blocksHigh_ * msvc::kMaxBlockCodeBytes + 2;
}

std::vector<std::uint8_t> MsvcEncoder::encode(const std::uint8_t* pixels, int bitsPerPixel, bool* keyFrame,
                                              const std::vector<bool>* changedRows,
                                              const std::uint8_t* lastPixels) {
    if (!pixels)
        throw std::invalid_argument("Microsoft Video 1: no pixels");
    if (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
        throw std::invalid_argument("Microsoft Video 1: frames must have 16, 24 or 32 bits per pixel");

    const msvc::Geometry geometry(width_, height_);
    const int bytesPerPixel = bitsPerPixel / 8;
    const std::size_t stride = dibRowBytes(width_, bitsPerPixel);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * bytesPerPixel;
    const std::size_t codedW = static_cast<std::size_t>(codedWidth());
    // A frame of another depth than the last cannot be compared byte for byte: every block counts as changed.
    // So does every block after a frame compared with the caller's copy, which left ours out of date.
    const bool comparable = previousBits_ == bitsPerPixel && (lastPixels || !ownCopyStale_);
    // With the caller's copy at hand, ours is neither read nor written: for a picture that changes
    // everywhere, copying it block by block cost a third of the encoder's sweeps of memory.
    const bool ownCopy = !lastPixels;
    if (ownCopy && !comparable)
        previous_.assign(stride * static_cast<std::size_t>(height_), 0);
    const bool key = first_ || keyRequested_ || (keyFrameEvery_ > 0 && framesSinceKey_ + 1 >= keyFrameEvery_);
    const bool hinted = changedRows && changedRows->size() == static_cast<std::size_t>(height_);

    CodeWriter writer(output_.data());
    msvc::Block block;
    msvc::BlockCode code;
    std::uint16_t shownWords[msvc::kBlockPixels];
    for (int s = 0; s < blocksHigh_; ++s) {
        const msvc::BandRows now = geometry.band(pixels, stride, s);
        const msvc::KeptRows kept = ownCopy ? geometry.band(previous_.data(), stride, s) : msvc::KeptRows{};
        const msvc::BandRows before = ownCopy ? msvc::readOnly(kept) : geometry.band(lastPixels, stride, s);
        bool bandChanged = !comparable;
        for (int py = 0; py < 4 && !bandChanged; ++py) {
            // A row the caller knows to be unchanged is not read at all: on a still screen, comparing
            // every row was most of the cost of a frame.
            const bool mayDiffer =
                !hinted || (*changedRows)[static_cast<std::size_t>(geometry.dibRow(s, py))];
            bandChanged = mayDiffer && std::memcmp(now.row[py], before.row[py], rowBytes) != 0;
        }
        if (!bandChanged && !key) {
            writer.skip(blocksWide_);
            continue;
        }
        // Row py of this block row in the top-down reconstruction.
        std::uint16_t* shownRows[4];
        for (int py = 0; py < 4; ++py)
            shownRows[py] = reconstruction_.data() + (codedHeight() - 1 - 4 * s - py) * codedW;

        for (int bx = 0; bx < blocksWide_; ++bx) {
            const std::size_t n = static_cast<std::size_t>(s) * blocksWide_ + bx;
            const int x0 = 4 * bx;
            std::uint8_t* saved = savedCode_.data() + n * msvc::kMaxBlockCodeBytes;
            // Our own copy takes every block that changed, including all of them after a change of depth.
            const bool changed =
                bandChanged &&
                (ownCopy ? msvc::refreshBlock(now, kept, bytesPerPixel, x0, width_) || !comparable
                         : !comparable || msvc::blockDiffers(now, before, bytesPerPixel, x0, width_));
            if (!changed && !key) {
                writer.skip(1);
                continue;
            }
            // Coding the same pixels again would give the same code.
            if (!changed && savedSize_[n]) {
                writer.code(saved, savedSize_[n]);
                continue;
            }
            msvc::loadBlock(now, bitsPerPixel, x0, width_, block);
            // A changed block keeps what the decoder shows when that is within two bytes' worth of the
            // pixels (no code can be cheaper), or when coding it would cost more, error plus bytes at
            // lambda each, than leaving it: a grainy picture need not be coded anew for its grain.
            int shownError = 0;
            if (!key) {
                gatherShown(shownRows, x0, shownWords);
                shownError = msvc::blockError(block, shownWords);
            }
            const bool skip =
                !key && (shownError <= skipLimit_ ||
                         shownError <= msvc::codeBlock(block, lambda_, code) + lambda_ * code.size);
            if (skip) {
                writer.skip(1);
                savedSize_[n] = 0;  // the decoder keeps showing an older code than these pixels'
                continue;
            }
            if (key)
                msvc::codeBlock(block, lambda_, code);
            writer.code(code.bytes, code.size);
            std::memcpy(saved, code.bytes, msvc::kMaxBlockCodeBytes);
            savedSize_[n] = static_cast<std::uint8_t>(code.size);
            for (int py = 0; py < 4; ++py) std::memcpy(shownRows[py] + x0, code.pixels + 4 * py, 8);
        }
    }
    const std::size_t size = writer.finish();
    const bool noSkips = !writer.anySkipped();
    if (keyFrame)
        *keyFrame = noSkips;
    framesSinceKey_ = noSkips ? 0 : framesSinceKey_ + 1;
    first_ = false;
    keyRequested_ = false;
    previousBits_ = bitsPerPixel;
    ownCopyStale_ = !ownCopy;
    return std::vector<std::uint8_t>(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(size));
}

}  // namespace zelq
