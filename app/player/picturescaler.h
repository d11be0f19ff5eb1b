#pragma once
// Scales a decoded frame straight to the destination size in 32-bit BGRX, in one libswscale pass: the
// picture is stretched to fill the destination, its aspect ratio not kept. Only the top-left
// width x height part of the frame is read (the rest is coding padding of our recordings).
//
// One scaler belongs to the decoding worker.

#include <tuple>

#include "app/player/picturequeue.h"
#include "platform/raii.h"

namespace zelq {

class PictureScaler {
public:
    // False when libswscale refuses the conversion.
    bool scale(const AVFrame& frame, int width, int height, Picture& out);

private:
    // What the context was made for: source format, size, destination size, colour space and range.
    using Key = std::tuple<int, int, int, int, int, int, bool>;
    SwsContextPtr sws_;
    Key key_{};
};

}  // namespace zelq
