#include "player/picturescaler.h"

#include <QPainter>

#include "capture/vfw/pixelconvert.h"

namespace zelq {

namespace {

// The frame's colour matrix as libswscale names it; an unnamed one is taken as libswscale's default.
int colourSpace(const AVFrame& frame) {
    return frame.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : frame.colorspace;
}

}  // namespace

bool PictureScaler::convert(const AVFrame& frame, int width, int height, std::uint8_t* dst, int dstStride,
                            int dstWidth, int dstHeight) {
    const PictureFormat src = pictureFormat(static_cast<AVPixelFormat>(frame.format), frame.color_range);
    const int space = colourSpace(frame);
    const Key key{src.format, width, height, dstWidth, dstHeight, space, src.fullRange};
    // A new context (and its colour tables) only when the pictures change shape, not for every frame.
    if (!sws_ || key != key_) {
        // Area averaging: the cheapest of libswscale's filters for YUV here, and a picture shown smaller
        // keeps its text readable.
        sws_.reset(sws_getContext(width, height, src.format, dstWidth, dstHeight, AV_PIX_FMT_BGRA, SWS_AREA,
                                  nullptr, nullptr, nullptr));
        if (!sws_)
            return false;
        const int* table = sws_getCoefficients(space);
        sws_setColorspaceDetails(sws_.get(), table, src.fullRange ? 1 : 0, table, 1, 0, 1 << 16, 1 << 16);
        key_ = key;
    }
    std::uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
    const int strides[4] = {dstStride, 0, 0, 0};
    return sws_scale(sws_.get(), frame.data, frame.linesize, 0, height, planes, strides) > 0;
}

bool PictureScaler::scale(const AVFrame& frame, int width, int height, Picture& out) {
    if (frame.format == AV_PIX_FMT_RGB555LE) {
        rgb555_.scale(frame.data[0], frame.linesize[0], width, height, out.pixels.get(), out.stride,
                      out.width, out.height);
        return true;
    }
    const bool sameSize = out.width == width && out.height == height;
    const PictureFormat src = pictureFormat(static_cast<AVPixelFormat>(frame.format), frame.color_range);
    if (!sameSize && src.format == AV_PIX_FMT_YUV420P) {
        const int* table = sws_getCoefficients(colourSpace(frame));
        const YuvPlanes planes{{frame.data[0], frame.data[1], frame.data[2]},
                               {frame.linesize[0], frame.linesize[1], frame.linesize[2]}};
        yuv420_.scale(planes, width, height,
                      YuvColour{{table[0], table[1], table[2], table[3]}, src.fullRange}, out.pixels.get(),
                      out.stride, out.width, out.height);
        return true;
    }
    if (sameSize || !isRgb(static_cast<AVPixelFormat>(frame.format)))
        return convert(frame, width, height, out.pixels.get(), out.stride, out.width, out.height);

    if (native_.width() != width || native_.height() != height)
        native_ = QImage(width, height, QImage::Format_RGB32);
    if (native_.isNull() ||
        !convert(frame, width, height, native_.bits(), static_cast<int>(native_.bytesPerLine()), width, height))
        return false;
    QImage target(out.pixels.get(), out.width, out.height, out.stride, QImage::Format_RGB32);
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(0, 0, out.width, out.height), native_);
    return true;
}

}  // namespace zelq
