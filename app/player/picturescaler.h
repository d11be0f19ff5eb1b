#pragma once
// Scales a decoded frame to the destination size in 32-bit BGRX: the picture is stretched to fill the
// destination, its aspect ratio not kept. Only the top-left width x height part of the frame is read (the
// rest is coding padding of our recordings).
//
// YUV pictures (H.264, Motion JPEG, ...) go straight to the destination in one libswscale pass. RGB
// pictures do not: libswscale scales RGB through an internal YUV stage that costs about 45 ms for one
// 1080p frame. 5-5-5 pictures (our Microsoft Video 1 recordings) go to the destination in one pass of our
// own scaler; other RGB and palette pictures are converted at their own size by libswscale's fast unscaled
// path and then stretched by a bilinear QPainter pass. A picture of the destination's size is only
// converted.
//
// One scaler belongs to the decoding worker.

#include <QImage>
#include <tuple>

#include "app/player/picturequeue.h"
#include "app/player/rgb555scaler.h"
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
    QImage native_;  // an RGB picture at its own size, on its way to the destination size
};

}  // namespace zelq
