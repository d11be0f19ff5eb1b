#pragma once
// Decoded frames of a stream by position (AVIStreamGetFrame*). Reading forward is decoding forward; a
// position before the last one read, or a file moved by another reader, seeks to the key frame at or
// before it and decodes from there. A position with no frame of its own (an empty position) shows the
// frame before it, as players show it.

#include <memory>
#include <vector>

#include "capture/vfw/avireader.h"
#include "capture/vfw/pixelconvert.h"
#include "platform/raii.h"

namespace zelq {

class GetFrameObject {
public:
    static PGETFRAME open(std::shared_ptr<ReadStream> stream, const BitmapInfoHeader* wanted);

    // The packed DIB shown at `pos`, or null.
    const BitmapInfoHeader* frameAt(LONG pos);

private:
    GetFrameObject(std::shared_ptr<ReadStream> stream, AvCodecContextPtr decoder, int depth);
    bool restart(std::int64_t pos);
    AvFramePtr decodeNext();
    std::int64_t positionOf(const AVFrame& frame) const;
    bool toDib(const AVFrame& frame);

    std::shared_ptr<ReadStream> stream_;
    AvCodecContextPtr decoder_;
    AvPacketPtr packet_;
    int depth_;                      // DIB depth asked for; 0 until the first frame shows the stream's own
    bool draining_ = false;          // the file is read to its end; the decoder gives what it still holds
    AvFramePtr held_;                // the last frame at or before the position asked for
    AvFramePtr next_;                // the first frame after it, already decoded
    std::int64_t dibPosition_ = -1;  // position of the frame in dib_
    std::vector<std::uint8_t> dib_;
    PixelConverter converter_;
};

}  // namespace zelq
