#include "capture/msvc/lav_msvideo1.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace zelq::msvc {
namespace {

[[noreturn]] void fail(const char* what, int error) {
    throw std::runtime_error(std::string("msvideo1: ") + what + ": " + avErrorText(error));
}

template <typename Configure>
AvCodecContextPtr openCodec(const AVCodec* codec, int width, int height, Configure configure) {
    if (!codec)
        throw std::runtime_error("msvideo1: libavcodec has no such codec");
    AvCodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context)
        throw std::runtime_error("msvideo1: out of memory");
    context->width = width;
    context->height = height;
    configure(*context);
    if (const int error = avcodec_open2(context.get(), codec, nullptr); error < 0)
        fail("open", error);
    return context;
}

AvPacketPtr newPacket() {
    AvPacketPtr packet(av_packet_alloc());
    if (!packet)
        throw std::runtime_error("msvideo1: out of memory");
    return packet;
}

AvFramePtr newFrame() {
    AvFramePtr frame(av_frame_alloc());
    if (!frame)
        throw std::runtime_error("msvideo1: out of memory");
    return frame;
}

}  // namespace

LavMsvideo1Decoder::LavMsvideo1Decoder(int width, int height)
    : width_(width),
      height_(height),
      context_(
          openCodec(avcodec_find_decoder(AV_CODEC_ID_MSVIDEO1), width, height,
                    // 16 bits per pixel is what tells the decoder the stream is RGB555, not 8-bit palette
                    [](AVCodecContext& c) { c.bits_per_coded_sample = 16; })),
      packet_(newPacket()),
      frame_(newFrame()) {}

std::vector<std::uint16_t> LavMsvideo1Decoder::decode(const std::vector<std::uint8_t>& frame) {
    av_packet_unref(packet_.get());
    if (const int error = av_new_packet(packet_.get(), static_cast<int>(frame.size())); error < 0)
        fail("packet", error);
    std::memcpy(packet_->data, frame.data(), frame.size());
    if (const int error = avcodec_send_packet(context_.get(), packet_.get()); error < 0)
        fail("decode", error);
    if (const int error = avcodec_receive_frame(context_.get(), frame_.get()); error < 0)
        fail("decode", error);
    if (frame_->format != AV_PIX_FMT_RGB555 || frame_->width != width_ || frame_->height != height_)
        throw std::runtime_error("msvideo1: decoder gave an unexpected picture");
    std::vector<std::uint16_t> picture(static_cast<std::size_t>(width_) * height_);
    for (int y = 0; y < height_; ++y) {
        const auto* row = reinterpret_cast<const std::uint16_t*>(frame_->data[0] + y * frame_->linesize[0]);
        // the top bit is not part of the colour (one-colour and eight-colour codes leave it set)
        for (int x = 0; x < width_; ++x) picture[static_cast<std::size_t>(y) * width_ + x] = row[x] & 0x7FFF;
    }
    av_frame_unref(frame_.get());
    return picture;
}

LavMsvideo1Encoder::LavMsvideo1Encoder(int width, int height, int keyFrameEvery)
    : width_(width),
      height_(height),
      context_(openCodec(avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1), width, height,
                         [keyFrameEvery](AVCodecContext& c) {
                             c.pix_fmt = AV_PIX_FMT_RGB555LE;
                             c.time_base = AVRational{1, 10};
                             // this encoder makes a key frame once keyint_min frames have gone by since the
                             // last
                             c.keyint_min = std::max(0, keyFrameEvery - 1);
                         })),
      packet_(newPacket()),
      frame_(newFrame()) {
    frame_->format = AV_PIX_FMT_RGB555LE;
    frame_->width = width;
    frame_->height = height;
    if (const int error = av_frame_get_buffer(frame_.get(), 0); error < 0)
        fail("frame", error);
}

std::vector<std::uint8_t> LavMsvideo1Encoder::encode(const std::vector<std::uint16_t>& picture,
                                                     bool* keyFrame) {
    if (const int error = av_frame_make_writable(frame_.get()); error < 0)
        fail("frame", error);
    for (int y = 0; y < height_; ++y)
        std::memcpy(frame_->data[0] + y * frame_->linesize[0],
                    picture.data() + static_cast<std::size_t>(y) * width_,
                    static_cast<std::size_t>(width_) * 2);
    frame_->pts = pts_++;
    if (const int error = avcodec_send_frame(context_.get(), frame_.get()); error < 0)
        fail("encode", error);
    if (const int error = avcodec_receive_packet(context_.get(), packet_.get()); error < 0)
        fail("encode", error);
    std::vector<std::uint8_t> out(packet_->data, packet_->data + packet_->size);
    if (keyFrame)
        *keyFrame = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    av_packet_unref(packet_.get());
    return out;
}

}  // namespace zelq::msvc
