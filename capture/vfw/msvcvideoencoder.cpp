#include "capture/vfw/msvcvideoencoder.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "capture/msvc/msvc_encoder.h"
#include "capture/vfw/vfwlog.h"
#include "platform/raii.h"

namespace zelq {

namespace {

constexpr FOURCC kMsvcTag = mmioFOURCC('M', 'S', 'V', 'C');

class MsvcVideoEncoder final : public VideoEncoder {
public:
    MsvcVideoEncoder(const MsvcEncoderOptions& options, int bitCount, AvPacketPtr packet)
        : encoder_(options), bitCount_(bitCount), packet_(std::move(packet)) {}

    void describe(AVCodecParameters& par) const override {
        par.codec_type = AVMEDIA_TYPE_VIDEO;
        par.codec_id = AV_CODEC_ID_MSVIDEO1;
        par.codec_tag = kMsvcTag;
        par.width = encoder_.codedWidth();
        par.height = encoder_.codedHeight();
        // biBitCount: 16 tells a decoder the stream is the 5-5-5 form, not the 8-bit palette one.
        par.bits_per_coded_sample = 16;
        par.format = AV_PIX_FMT_RGB555LE;
    }

    std::size_t maxFrameBytes() const override { return encoder_.maxFrameBytes(); }
    void hintChangedRows(std::vector<bool> rows) override { hint_ = std::move(rows); }
    void hintLastFrame(const std::uint8_t* pixels) override { last_ = pixels; }

    int encode(const std::uint8_t* pixels, std::int64_t position, bool keyFrame,
               const PacketSink& sink) override {
        if (keyFrame)
            encoder_.requestKeyFrame();
        bool key = false;
        std::vector<std::uint8_t> coded;
        try {
            coded = encoder_.encode(pixels, bitCount_, &key, hint_.empty() ? nullptr : &hint_, last_);
            hint_.clear();
            last_ = nullptr;
        } catch (const std::bad_alloc&) {
            return AVERROR(ENOMEM);
        } catch (const std::exception& e) {
            qCWarning(lcVfw, "Microsoft Video 1: %s", e.what());
            return AVERROR(EINVAL);
        }
        av_packet_unref(packet_.get());
        if (av_new_packet(packet_.get(), static_cast<int>(coded.size())) < 0)
            return AVERROR(ENOMEM);
        std::memcpy(packet_->data, coded.data(), coded.size());
        packet_->pts = packet_->dts = position;
        packet_->duration = 1;
        // A frame with no skipped block needs no other to be shown: the index marks it as a key frame.
        packet_->flags = key ? AV_PKT_FLAG_KEY : 0;
        const int ret = sink(*packet_);
        av_packet_unref(packet_.get());
        return ret;
    }

    // Every frame comes out of encode(); nothing is held back.
    int flush(const PacketSink&) override { return 0; }

private:
    MsvcEncoder encoder_;
    int bitCount_;
    AvPacketPtr packet_;
    std::vector<bool> hint_;              // for the next encode only
    const std::uint8_t* last_ = nullptr;  // likewise
};

}  // namespace

std::unique_ptr<VideoEncoder> openMsvcEncoder(const EncoderSettings& settings, int* error) {
    int dummy = 0;
    int& err = error ? *error : dummy;
    const DibFormat& in = settings.input;
    if (in.bitCount != 16 && in.bitCount != 24 && in.bitCount != 32) {
        err = AVERROR(EINVAL);
        return nullptr;
    }
    MsvcEncoderOptions options;
    options.width = in.width;
    options.height = in.height;
    options.quality = settings.quality;  // -1 gives the encoder's own default
    if (settings.keyFrameEvery > 0)
        options.keyFrameEvery = settings.keyFrameEvery;
    AvPacketPtr packet(av_packet_alloc());
    if (!packet) {
        err = AVERROR(ENOMEM);
        return nullptr;
    }
    try {
        return std::make_unique<MsvcVideoEncoder>(options, in.bitCount, std::move(packet));
    } catch (const std::bad_alloc&) {
        err = AVERROR(ENOMEM);
    } catch (const std::invalid_argument&) {
        err = AVERROR(EINVAL);  // a size the format cannot hold
    }
    return nullptr;
}

}  // namespace zelq
