#pragma once
// What a compressed stream needs from a compressor: frames in, compressed frames out. One implementation
// wraps any libavcodec encoder (libavencoder.h); the project's own encoders plug in beside it through
// the same interface (see compressors.cpp).
//
// An encoder is made for one stream and used by the thread that writes that stream.

#include <cstdint>
#include <functional>

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
    // What the stream's format says: codec, FourCC, size, depth and codec-private data.
    virtual void describe(AVCodecParameters& par) const = 0;
    // Compresses the DIB rows `pixels` (in the settings' input format) shown at `position`; keyFrame asks
    // for a key frame. Compressed frames may come out later than the frame that went in.
    virtual int encode(const std::uint8_t* pixels, std::int64_t position, bool keyFrame,
                       const PacketSink& sink) = 0;
    // Hands over every frame the encoder still holds. Called once, after the last encode.
    virtual int flush(const PacketSink& sink) = 0;
};

}  // namespace zelq
