#include "capture/vfw/libavencoder.h"

#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "capture/vfw/pixelconvert.h"
#include "capture/vfw/vfwlog.h"
#include "platform/raii.h"

namespace zelq {

namespace {

constexpr std::size_t kReadPadding = 64;

bool encoderTakes(const AVCodec& codec, AVPixelFormat format) {
    for (const AVPixelFormat* p = codec.pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
        if (*p == format)
            return true;
    return false;
}

class LibavEncoder final : public VideoEncoder {
public:
    LibavEncoder(AvCodecContextPtr ctx, AvFramePtr frame, AvPacketPtr packet, FOURCC tag,
                 const EncoderSettings& settings, bool direct)
        : ctx_(std::move(ctx)),
          frame_(std::move(frame)),
          packet_(std::move(packet)),
          tag_(tag),
          input_(settings.input),
          palette_(paletteToAv(settings.input)),
          direct_(direct) {}

    void describe(AVCodecParameters& par) const override {
        avcodec_parameters_from_context(&par, ctx_.get());
        par.codec_tag = tag_;
    }

    int encode(const std::uint8_t* pixels, std::int64_t position, bool keyFrame,
               const PacketSink& sink) override {
        // The encoder may still hold a reference to the last picture; never draw over it.
        int ret = av_frame_make_writable(frame_.get());
        if (ret < 0)
            return logged("no writable picture", ret);
        if (!direct_) {
            // libswscale reads a few bytes past the end of a row, and the last row of a DIB ends its memory
            // block: it converts from a copy with room behind it.
            const std::size_t bytes = input_.imageBytes();
            padded_.resize(bytes + kReadPadding);
            std::memcpy(padded_.data(), pixels, bytes);
            pixels = padded_.data();
        }
        const Planes src = dibPlanes(pixels, input_, palette_.data());
        Planes dst;
        for (int i = 0; i < 4; ++i) {
            dst.data[i] = frame_->data[i];
            dst.stride[i] = frame_->linesize[i];
        }
        if (direct_) {
            copyPackedRows(src, dst, ctx_->pix_fmt, input_.width, input_.height);
        } else if (!converter_.convert(src, pictureFormat(input_.pixelFormat(), AVCOL_RANGE_JPEG), dst,
                                       pictureFormat(ctx_->pix_fmt, ctx_->color_range), input_.width,
                                       input_.height)) {
            return AVERROR(EINVAL);
        }
        frame_->pts = position;
        // Encoders with a fixed quantiser read it from each picture.
        frame_->quality = ctx_->global_quality;
        frame_->pict_type = keyFrame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        ret = avcodec_send_frame(ctx_.get(), frame_.get());
        if (ret < 0)
            return logged("the encoder refused a frame", ret);
        return drain(sink);
    }

    int flush(const PacketSink& sink) override {
        const int ret = avcodec_send_frame(ctx_.get(), nullptr);
        if (ret < 0 && ret != AVERROR_EOF)
            return logged("the encoder could not be drained", ret);
        return drain(sink);
    }

private:
    int drain(const PacketSink& sink) {
        for (;;) {
            int ret = avcodec_receive_packet(ctx_.get(), packet_.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                return 0;
            if (ret < 0)
                return logged("encoding failed", ret);
            ret = sink(*packet_);
            av_packet_unref(packet_.get());
            if (ret < 0)
                return ret;
        }
    }

    int logged(const char* what, int ret) const {
        qCWarning(lcVfw, "%s: %s: %s", ctx_->codec->name, what, avErrorText(ret).c_str());
        return ret;
    }

    AvCodecContextPtr ctx_;
    AvFramePtr frame_;
    AvPacketPtr packet_;
    FOURCC tag_;
    DibFormat input_;
    std::array<std::uint32_t, 256> palette_;
    bool direct_;
    PixelConverter converter_;
    std::vector<std::uint8_t> padded_;
};

}  // namespace

bool libavEncoderPresent(const LibavRecipe& recipe) {
    return recipe.encoder && avcodec_find_encoder_by_name(recipe.encoder);
}

std::unique_ptr<VideoEncoder> openLibavEncoder(const LibavRecipe& recipe, FOURCC tag,
                                               const EncoderSettings& settings, int* error) {
    int dummy = 0;
    int& err = error ? *error : dummy;
    const AVCodec* codec = recipe.encoder ? avcodec_find_encoder_by_name(recipe.encoder) : nullptr;
    if (!codec) {
        err = AVERROR_ENCODER_NOT_FOUND;
        return nullptr;
    }
    AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
    AvFramePtr frame(av_frame_alloc());
    AvPacketPtr packet(av_packet_alloc());
    if (!ctx || !frame || !packet) {
        err = AVERROR(ENOMEM);
        return nullptr;
    }
    const AVPixelFormat dibFormat = settings.input.pixelFormat();
    const bool direct = encoderTakes(*codec, dibFormat);
    ctx->pix_fmt = direct ? dibFormat : recipe.pixelFormat;
    ctx->width = settings.input.width;
    ctx->height = settings.input.height;
    ctx->time_base = settings.timeBase;
    ctx->framerate = av_inv_q(settings.timeBase);
    ctx->sample_aspect_ratio = {1, 1};
    if (!(av_pix_fmt_desc_get(ctx->pix_fmt)->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL))) {
        // What libswscale produces: BT.601 coefficients, in the range the recipe asks for.
        ctx->colorspace = AVCOL_SPC_BT470BG;
        ctx->color_range = recipe.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }
    ctx->thread_count = 0;  // as many threads as the machine has cores
    AvDictionary options;
    if (recipe.tune)
        recipe.tune(*ctx, &options.dict, settings);

    err = avcodec_open2(ctx.get(), codec, &options.dict);
    if (err < 0) {
        // Refusals are ordinary answers to "can you take this size?"; the caller decides what they mean.
        qCDebug(lcVfw, "%s refuses %dx%d %s: %s", codec->name, ctx->width, ctx->height,
                av_get_pix_fmt_name(ctx->pix_fmt), avErrorText(err).c_str());
        return nullptr;
    }
    frame->format = ctx->pix_fmt;
    frame->width = ctx->width;
    frame->height = ctx->height;
    err = av_frame_get_buffer(frame.get(), 0);
    if (err < 0) {
        qCWarning(lcVfw, "no picture buffer for %s: %s", codec->name, avErrorText(err).c_str());
        return nullptr;
    }
    return std::make_unique<LibavEncoder>(std::move(ctx), std::move(frame), std::move(packet), tag, settings,
                                          direct);
}

}  // namespace zelq
