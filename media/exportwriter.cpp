#include "media/exportwriter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace zelq {

int ExportWriter::fail(const std::string& what, int ret) {
    error_ = what + ": " + avErrorText(ret);
    return ret;
}

int ExportWriter::open(const char* formatName, const std::string& path) {
    AVFormatContext* raw = nullptr;
    int ret = avformat_alloc_output_context2(&raw, nullptr, formatName, path.c_str());
    if (ret < 0)
        return fail(std::string("muxer ") + formatName, ret);
    ctx_.reset(raw);
    packet_.reset(av_packet_alloc());
    if (!packet_)
        return AVERROR(ENOMEM);
    // "file:" in front, so that no name is taken for another protocol's address.
    ret = avio_open(&ctx_->pb, ("file:" + path).c_str(), AVIO_FLAG_WRITE);
    return ret < 0 ? fail("open " + path, ret) : 0;
}

int ExportWriter::allocEncoder(const EncoderChoice& choice, AVCodecContext*& out) {
    const AVCodec* codec = avcodec_find_encoder_by_name(choice.name);
    if (!codec)
        return AVERROR_ENCODER_NOT_FOUND;
    out = avcodec_alloc_context3(codec);
    return out ? 0 : AVERROR(ENOMEM);
}

int ExportWriter::addStream(AVCodecContext* encoder, const EncoderChoice& choice) {
    AvCodecContextPtr owner(encoder);
    if (ctx_->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AvDictionary options;
    for (const auto& [key, value] : choice.options) av_dict_set(&options.dict, key.c_str(), value.c_str(), 0);
    int ret = avcodec_open2(encoder, encoder->codec, &options.dict);
    if (ret < 0)
        return fail(std::string("encoder ") + choice.name, ret);
    AVStream* stream = avformat_new_stream(ctx_.get(), nullptr);
    if (!stream)
        return AVERROR(ENOMEM);
    stream->time_base = encoder->time_base;
    ret = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (ret < 0)
        return fail("stream parameters", ret);
    encoders_.push_back(std::move(owner));
    return static_cast<int>(encoders_.size()) - 1;
}

int ExportWriter::addVideo(const EncoderChoice& choice, int width, int height, AVPixelFormat format,
                           AVRational frameRate, bool bt709) {
    AVCodecContext* enc = nullptr;
    if (const int ret = allocEncoder(choice, enc); ret < 0)
        return ret;
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = format;
    enc->sample_aspect_ratio = AVRational{1, 1};
    enc->framerate = frameRate;
    enc->time_base = av_inv_q(frameRate);
    enc->bit_rate = choice.bitRate;
    if (bt709) {
        // Said the same way in the stream and the container, so that browsers convert back to the
        // screen's colours rather than guessing an older standard for small pictures.
        enc->color_primaries = AVCOL_PRI_BT709;
        enc->color_trc = AVCOL_TRC_BT709;
        enc->colorspace = AVCOL_SPC_BT709;
        enc->color_range = AVCOL_RANGE_MPEG;
    }
    return addStream(enc, choice);
}

int ExportWriter::addAudio(const EncoderChoice& choice, AVSampleFormat format, int sampleRate) {
    AVCodecContext* enc = nullptr;
    if (const int ret = allocEncoder(choice, enc); ret < 0)
        return ret;
    enc->sample_fmt = format;
    enc->sample_rate = sampleRate;
    enc->time_base = AVRational{1, sampleRate};
    enc->bit_rate = choice.bitRate;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&enc->ch_layout, &stereo);
    return addStream(enc, choice);
}

int ExportWriter::audioFrameSize(int stream) const {
    const AVCodecContext& enc = *encoders_.at(stream);
    return (enc.codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) ? 0 : enc.frame_size;
}

AVRational ExportWriter::encoderTimeBase(int stream) const {
    return encoders_.at(stream)->time_base;
}

int ExportWriter::begin(const std::vector<std::pair<std::string, std::string>>& options) {
    AvDictionary dict;
    for (const auto& [key, value] : options) av_dict_set(&dict.dict, key.c_str(), value.c_str(), 0);
    const int ret = avformat_write_header(ctx_.get(), &dict.dict);
    return ret < 0 ? fail("header", ret) : 0;
}

int ExportWriter::encode(int stream, AVFrame* frame) {
    AVCodecContext& enc = *encoders_.at(stream);
    int ret = avcodec_send_frame(&enc, frame);
    if (ret < 0 && ret != AVERROR_EOF)
        return fail("encoding", ret);
    for (;;) {
        ret = avcodec_receive_packet(&enc, packet_.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return 0;
        if (ret < 0)
            return fail("encoding", ret);
        // A picture lasts one frame of the constant rate the filters made; the muxer needs it for the
        // last picture's length.
        if (enc.codec_type == AVMEDIA_TYPE_VIDEO && packet_->duration <= 0)
            packet_->duration = 1;
        packet_->stream_index = stream;
        av_packet_rescale_ts(packet_.get(), enc.time_base, ctx_->streams[stream]->time_base);
        ret = av_interleaved_write_frame(ctx_.get(), packet_.get());  // takes the packet's data
        if (ret < 0)
            return fail("writing", ret);
    }
}

int ExportWriter::finish() {
    int ret = av_write_trailer(ctx_.get());
    if (ret < 0)
        return fail("trailer", ret);
    // The last bytes may still be in the buffer: a full disk shows only when they are written out.
    avio_flush(ctx_->pb);
    if (ctx_->pb->error < 0)
        return fail("writing", ctx_->pb->error);
    ret = avio_closep(&ctx_->pb);
    return ret < 0 ? fail("closing", ret) : 0;
}

}  // namespace zelq
