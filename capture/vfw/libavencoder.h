#pragma once
// A VideoEncoder on any libavcodec encoder: DIB rows are turned upright and converted to the encoder's
// pixel format, then sent and received as FFmpeg's encoding examples do.

#include <memory>

#include "capture/vfw/encoder.h"
#include "capture/vfw/vfwtypes.h"

namespace zelq {

// How one libavcodec encoder is used for screen frames.
struct LibavRecipe {
    const char* encoder = nullptr;                // libavcodec's name for it
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;  // frames are converted to this unless the encoder
                                                  // takes the DIB's own format as it is
    bool fullRange = false;                       // YUV in full (JPEG) range rather than 16..235
    // Sets quality, key frames and speed before the encoder is opened.
    void (*tune)(AVCodecContext& ctx, AVDictionary** options, const EncoderSettings& settings) = nullptr;
};

// Whether the installed libavcodec has this encoder.
bool libavEncoderPresent(const LibavRecipe& recipe);

// Opens the encoder for frames of settings.input, storing `tag` as the stream's FourCC. Null, with
// *error an AVERROR, when the encoder refuses the frames (size, depth) or cannot be opened.
std::unique_ptr<VideoEncoder> openLibavEncoder(const LibavRecipe& recipe, FOURCC tag,
                                               const EncoderSettings& settings, int* error);

}  // namespace zelq
