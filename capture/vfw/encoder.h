#pragma once
// What a compressed stream needs from a compressor: frames in, compressed frames out. One implementation
// wraps any libavcodec encoder (libavencoder.h); the project's own Microsoft Video 1 encoder plugs in
// beside it through the same interface (msvcvideoencoder.h).
//
// An encoder is made for one stream and used by the thread that writes that stream.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "capture/vfw/dibformat.h"

namespace zelq {

struct EncoderSettings {
    DibFormat input;             // the frames' format (size, depth, colour table)
    AVRational timeBase{1, 10};  // one position: dwScale / dwRate seconds
    int quality = -1;            // 0 (smallest) .. 10000 (best), or -1 for the compressor's default
    int keyFrameEvery = 0;       // frames from one key frame to the next; 0 for the compressor's default
};

// Takes each compressed frame as it comes out; its pts and dts are positions (in timeBase). Answers 0 or
// an AVERROR, which stops the encoder's call with that error.
using PacketSink = std::function<int(AVPacket&)>;

class VideoEncoder {
public:
    virtual ~VideoEncoder() = default;
    // What the stream's format says: codec, FourCC, size, depth and codec-private data. The size is the
    // size the frames are coded at, which a decoder needs; it may exceed the frames' own size (see
    // RawWriteStream::setCompressedFormat for how the picture's size is kept).
    virtual void describe(AVCodecParameters& par) const = 0;
    // The largest compressed frame the encoder can hand out, for the stream's suggested buffer size;
    // 0 when it cannot tell in advance.
    virtual std::size_t maxFrameBytes() const { return 0; }
    // Compresses the DIB rows `pixels` (in the settings' input format) shown at `position`; keyFrame asks
    // for a key frame. Compressed frames may come out later than the frame that went in.
    virtual int encode(const std::uint8_t* pixels, std::int64_t position, bool keyFrame,
                       const PacketSink& sink) = 0;
    // The DIB rows (bottom-up) of the next frame that may differ from the last one; an encoder that
    // compares frames may pass over the others. Encoders that do not compare ignore it.
    virtual void hintChangedRows(std::vector<bool> /*rows*/) {}
    // The DIB rows given to the last encode, still at hand and unchanged, for the next encode only: an
    // encoder that compares frames may compare with them instead of a copy of its own.
    virtual void hintLastFrame(const std::uint8_t* /*pixels*/) {}
    // Hands over every frame the encoder still holds. Called once, after the last encode.
    virtual int flush(const PacketSink& sink) = 0;
};

}  // namespace zelq
