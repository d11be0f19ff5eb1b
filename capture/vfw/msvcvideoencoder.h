#pragma once
// The 'MSVC' compressor: the program's own Microsoft Video 1 encoder (capture/msvc) behind the
// VideoEncoder interface. It takes 16-bit (5-5-5), 24-bit and 32-bit DIBs of any size from 1 x 1 up;
// libavcodec's decoder reads what it writes.
//
// Frames whose sides are not multiples of 4 are coded at the next multiples of 4, and the stream's format
// must say so: the decoder walks width / 4 by height / 4 blocks, so a format giving the picture's own size
// would make it read every row of blocks one block short (a scrambled picture, and a refusal below 4
// pixels). The picture's own size goes into the stream header's frame rectangle instead.

#include <memory>

#include "capture/vfw/encoder.h"

namespace zelq {

// Null, with *error an AVERROR, for frames the encoder cannot take (8 bits or fewer, a size out of range).
std::unique_ptr<VideoEncoder> openMsvcEncoder(const EncoderSettings& settings, int* error);

}  // namespace zelq
