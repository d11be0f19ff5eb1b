#include "app/player/picturescaler.h"

#include "capture/vfw/pixelconvert.h"

namespace zelq {

bool PictureScaler::scale(const AVFrame& frame, int width, int height, Picture& out) {
    const PictureFormat src = pictureFormat(static_cast<AVPixelFormat>(frame.format), frame.color_range);
    const int space = frame.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : frame.colorspace;
    const Key key{src.format, width, height, out.width, out.height, space, src.fullRange};
    // A new context (and its colour tables) only when the pictures change shape, not for every frame.
    if (!sws_ || key != key_) {
        // Bilinear: a screen recording shown smaller keeps its text readable, at little more cost than
        // picking pixels.
        sws_.reset(sws_getContext(width, height, src.format, out.width, out.height, AV_PIX_FMT_BGRA,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!sws_)
            return false;
        const int* table = sws_getCoefficients(space);
        sws_setColorspaceDetails(sws_.get(), table, src.fullRange ? 1 : 0, table, 1, 0, 1 << 16, 1 << 16);
        key_ = key;
    }
    std::uint8_t* dst[4] = {out.pixels.get(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {out.stride, 0, 0, 0};
    return sws_scale(sws_.get(), frame.data, frame.linesize, 0, height, dst, dstStride) > 0;
}

}  // namespace zelq
