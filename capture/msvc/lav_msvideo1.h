#pragma once
// libavcodec's Microsoft Video 1 decoder and encoder behind plain RGB555 pictures (top-down, top bit
// clear). The decoder is the independent reader of what MsvcEncoder writes; the encoder is the yardstick
// our encoder is measured against. Neither is used by the program itself.
//
// Threads: each object belongs to one thread at a time.

#include <cstdint>
#include <vector>

#include "platform/raii.h"

namespace zelq::msvc {

class LavMsvideo1Decoder {
public:
    // Throws std::runtime_error when libavcodec has no such decoder or refuses the size.
    LavMsvideo1Decoder(int width, int height);
    // Decodes one frame onto the picture of the frames before it. Throws std::runtime_error when
    // libavcodec rejects the frame.
    std::vector<std::uint16_t> decode(const std::vector<std::uint8_t>& frame);

private:
    int width_;
    int height_;
    AvCodecContextPtr context_;
    AvPacketPtr packet_;
    AvFramePtr frame_;
};

class LavMsvideo1Encoder {
public:
    // keyFrameEvery: at most this many frames from one key frame to the next. Throws std::runtime_error
    // when libavcodec refuses (its encoder takes only multiples of 4).
    LavMsvideo1Encoder(int width, int height, int keyFrameEvery);
    std::vector<std::uint8_t> encode(const std::vector<std::uint16_t>& picture, bool* keyFrame);

private:
    int width_;
    int height_;
    std::int64_t pts_ = 0;
    AvCodecContextPtr context_;
    AvPacketPtr packet_;
    AvFramePtr frame_;
};

}  // namespace zelq::msvc
