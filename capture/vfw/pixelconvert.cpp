#include "capture/vfw/pixelconvert.h"

#include <algorithm>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "capture/vfw/vfwlog.h"

namespace zelq {

bool isRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d && (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL));
}

Planes dibPlanes(const std::uint8_t* pixels, const DibFormat& dib, const std::uint32_t* palette) {
    Planes p;
    const auto row = static_cast<std::ptrdiff_t>(dib.rowBytes());
    // libswscale and av_image_copy only read through these pointers.
    p.data[0] = const_cast<std::uint8_t*>(pixels) + row * (dib.height - 1);
    p.stride[0] = -static_cast<int>(row);
    if (dib.bitCount <= 8)
        p.data[1] = reinterpret_cast<std::uint8_t*>(const_cast<std::uint32_t*>(palette));
    return p;
}

PictureFormat pictureFormat(AVPixelFormat format, AVColorRange range) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            return {AV_PIX_FMT_YUV420P, true};
        case AV_PIX_FMT_YUVJ422P:
            return {AV_PIX_FMT_YUV422P, true};
        case AV_PIX_FMT_YUVJ444P:
            return {AV_PIX_FMT_YUV444P, true};
        case AV_PIX_FMT_YUVJ440P:
            return {AV_PIX_FMT_YUV440P, true};
        default:
            break;
    }
    return {format, isRgb(format) || range == AVCOL_RANGE_JPEG};
}

namespace {

// 8-bit BGRX to x1r5g5b5, keeping the top 5 bits of each colour: the exact inverse of widening 5-5-5.
void packRgb555(const Planes& src, const Planes& dst, int width, int height) {
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = src.data[0] + static_cast<std::ptrdiff_t>(y) * src.stride[0];
        std::uint8_t* out = dst.data[0] + static_cast<std::ptrdiff_t>(y) * dst.stride[0];
        for (int x = 0; x < width; ++x, in += 4, out += 2) {
            const unsigned v = ((in[2] >> 3u) << 10u) | ((in[1] >> 3u) << 5u) | (in[0] >> 3u);
            out[0] = static_cast<std::uint8_t>(v);
            out[1] = static_cast<std::uint8_t>(v >> 8u);
        }
    }
}

}  // namespace

bool PixelConverter::convert(const Planes& src, PictureFormat srcFormat, const Planes& dst,
                             PictureFormat dstFormat, int width, int height) {
    if (dstFormat.format != AV_PIX_FMT_RGB555LE || srcFormat.format == AV_PIX_FMT_RGB555LE)
        return scale(src, srcFormat, dst, dstFormat, width, height);
    // libswscale dithers whatever it writes as 5-5-5 (and warns about it on every new context), so a
    // 5-5-5 picture that went to 8 bits would not come back as it was. Going through BGRX does.
    Planes wide;
    if (srcFormat.format == AV_PIX_FMT_BGR0 || srcFormat.format == AV_PIX_FMT_BGRA) {
        wide = src;
    } else {
        wide_.resize(static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height));
        wide.data[0] = wide_.data();
        wide.stride[0] = width * 4;
        if (!scale(src, srcFormat, wide, {AV_PIX_FMT_BGR0, true}, width, height))
            return false;
    }
    packRgb555(wide, dst, width, height);
    return true;
}

bool PixelConverter::scale(const Planes& src, PictureFormat srcFormat, const Planes& dst,
                           PictureFormat dstFormat, int width, int height) {
    const bool same = sws_ && src_.format == srcFormat.format && src_.fullRange == srcFormat.fullRange &&
                      dst_.format == dstFormat.format && dst_.fullRange == dstFormat.fullRange &&
                      width_ == width && height_ == height;
    if (!same) {
        // Same size on both sides. Between RGB formats point sampling copies every pixel exactly (the
        // other filters go through a subsampled intermediate); to and from YUV the filter only shapes
        // the chroma, where bilinear keeps thin coloured lines of screen content best.
        const int flags = isRgb(srcFormat.format) && isRgb(dstFormat.format) ? SWS_POINT : SWS_BILINEAR;
        sws_.reset(sws_getContext(width, height, srcFormat.format, width, height, dstFormat.format, flags,
                                  nullptr, nullptr, nullptr));
        if (!sws_) {
            qCWarning(lcVfw, "no conversion from %s to %s at %dx%d", av_get_pix_fmt_name(srcFormat.format),
                      av_get_pix_fmt_name(dstFormat.format), width, height);
            return false;
        }
        const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
        sws_setColorspaceDetails(sws_.get(), coefficients, srcFormat.fullRange, coefficients,
                                 dstFormat.fullRange, 0, 1 << 16, 1 << 16);
        src_ = srcFormat;
        dst_ = dstFormat;
        width_ = width;
        height_ = height;
    }
    const int rows = sws_scale(sws_.get(), src.data.data(), src.stride.data(), 0, height, dst.data.data(),
                               dst.stride.data());
    if (rows != height) {
        qCWarning(lcVfw, "conversion from %s to %s gave %d of %d rows", av_get_pix_fmt_name(srcFormat.format),
                  av_get_pix_fmt_name(dstFormat.format), rows, height);
        return false;
    }
    return true;
}

void copyPackedRows(const Planes& src, const Planes& dst, AVPixelFormat format, int width, int height) {
    const int bytes = av_image_get_linesize(format, width, 0);
    av_image_copy_plane(dst.data[0], dst.stride[0], src.data[0], src.stride[0], bytes, height);
    if (format == AV_PIX_FMT_PAL8 && src.data[1] && dst.data[1])
        std::copy_n(src.data[1], AVPALETTE_SIZE, dst.data[1]);
}

}  // namespace zelq
