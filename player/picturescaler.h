#pragma once
// Scales a decoded frame to the destination size in 32-bit BGRX: the picture is stretched to fill the
// destination, its aspect ratio not kept. Only the top-left width x height part of the frame is read (the
// rest is coding padding of our recordings).
//
// 5-5-5 pictures (our Microsoft Video 1 recordings) and 8-bit 4:2:0 YUV pictures (H.264) of another size
// go to the destination in one pass of our own bilinear scalers, which cost less than libswscale: it
// scales RGB through an internal YUV stage (about 45 ms for one 1080p frame) and takes 1.7 ms from 4:2:0
// 1080p to 720p RGB where ours takes 1.4 ms. Other YUV pictures go to the destination in one libswscale
// pass; other RGB and palette pictures are converted at their own size by libswscale's fast unscaled path
// and then stretched by a bilinear QPainter pass. A picture of the destination's size is only converted
// (5-5-5 by our scaler, the rest by libswscale).
//
// One scaler belongs to the decoding worker.

#include <QImage>
#include <tuple>

#include "player/picturequeue.h"
#include "player/rgb555scaler.h"
#include "player/yuv420scaler.h"
#include "platform/raii.h"

namespace zelq {

class PictureScaler {
public:
    // False when libswscale refuses the conversion.
    bool scale(const AVFrame& frame, int width, int height, Picture& out);

private:
    bool convert(const AVFrame& frame, int width, int height, std::uint8_t* dst, int dstStride, int dstWidth,
                 int dstHeight);

    // What the context was made for: source format, size, destination size, colour space and range.
    using Key = std::tuple<int, int, int, int, int, int, bool>;
    SwsContextPtr sws_;
    Key key_{};
    Rgb555Scaler rgb555_;
    Yuv420Scaler yuv420_;
    QImage native_;  // an RGB picture at its own size, on its way to the destination size
};

}  // namespace zelq
