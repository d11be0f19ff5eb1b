#include "media/soundreader.h"

#include <QLoggingCategory>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "capture/vfw/averror.h"
#include "capture/vfw/decodenext.h"
#include "capture/vfw/localavi.h"
#include "platform/sound/soundformat.h"

namespace zelq {

Q_DECLARE_LOGGING_CATEGORY(lcPlayer)

std::unique_ptr<SoundReader> SoundReader::open(const std::filesystem::path& path) {
    std::unique_ptr<SoundReader> r(new SoundReader);
    // The same opener as the picture's: a file that is not an AVI of this computer is not read.
    if (openLocalAvi(path, r->ctx_) < 0)
        return nullptr;
    AVFormatContext* raw = r->ctx_.get();
    avformat_find_stream_info(raw, nullptr);
    const AVCodec* codec = nullptr;
    r->index_ = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (r->index_ < 0 || !codec) {
        if (r->index_ != AVERROR_STREAM_NOT_FOUND)
            qCDebug(lcPlayer, "%s: a sound stream no decoder here reads; the picture plays alone",
                    path.c_str());
        return nullptr;
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        raw->streams[i]->discard = static_cast<int>(i) == r->index_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVStream& st = *raw->streams[r->index_];
    r->decoder_.reset(avcodec_alloc_context3(codec));
    r->packet_.reset(av_packet_alloc());
    r->frame_.reset(av_frame_alloc());
    if (!r->decoder_ || !r->packet_ || !r->frame_ ||
        avcodec_parameters_to_context(r->decoder_.get(), st.codecpar) < 0)
        return nullptr;
    r->decoder_->pkt_timebase = st.time_base;
    int ret = avcodec_open2(r->decoder_.get(), codec, nullptr);
    if (ret < 0 || r->decoder_->sample_rate <= 0 || r->decoder_->ch_layout.nb_channels <= 0) {
        qCDebug(lcPlayer, "%s: cannot open the %s decoder: %s", path.c_str(), codec->name,
                avErrorText(ret).c_str());
        return nullptr;
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    ret =
        swr_alloc_set_opts2(&r->resampler_, &stereo, AV_SAMPLE_FMT_S16, sound::kRate, &r->decoder_->ch_layout,
                            r->decoder_->sample_fmt, r->decoder_->sample_rate, 0, nullptr);
    if (ret < 0 || swr_init(r->resampler_) < 0) {
        qCDebug(lcPlayer, "%s: the sound cannot be converted for playing", path.c_str());
        return nullptr;
    }
    r->start_ =
        st.start_time != AV_NOPTS_VALUE ? static_cast<double>(st.start_time) * av_q2d(st.time_base) : 0;
    return r;
}

SoundReader::~SoundReader() {
    swr_free(&resampler_);
}

void SoundReader::seek(double seconds) {
    const AVStream& st = *ctx_->streams[index_];
    const auto ts = static_cast<std::int64_t>((seconds + start_) / av_q2d(st.time_base));
    if (av_seek_frame(ctx_.get(), index_, ts, AVSEEK_FLAG_BACKWARD) < 0)
        qCDebug(lcPlayer, "the sound cannot seek to %.3f s; it plays from where it is", seconds);
    avcodec_flush_buffers(decoder_.get());
    draining_ = false;
}

AvFramePtr SoundReader::decodeNextFrame(double& seconds) {
    AvFramePtr frame =
        zelq::decodeNextFrame(*ctx_, *decoder_, *packet_, index_, draining_, [](const char* fault, int error) {
            qCDebug(lcPlayer, "sound: %s: %s", fault, avErrorText(error).c_str());
        });
    if (!frame)
        return frame;
    const std::int64_t ts = frame->best_effort_timestamp;
    // A frame without a time follows the one before; the caller places it after what it has.
    seconds = ts == AV_NOPTS_VALUE ? -1 : static_cast<double>(ts) * av_q2d(timeBase()) - start_;
    return frame;
}

AVRational SoundReader::timeBase() const { return ctx_->streams[index_]->time_base; }

bool SoundReader::decodeNext(std::vector<std::int16_t>& out, double& seconds) {
    const AvFramePtr frame = decodeNextFrame(seconds);
    if (!frame)
        return false;
    const int most = swr_get_out_samples(resampler_, frame->nb_samples);
    if (most <= 0)
        return true;
    const std::size_t before = out.size();
    out.resize(before + static_cast<std::size_t>(most) * sound::kChannels);
    auto* target = reinterpret_cast<std::uint8_t*>(out.data() + before);
    const int made = swr_convert(resampler_, &target, most,
                                 const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    out.resize(before + static_cast<std::size_t>(std::max(made, 0)) * sound::kChannels);
    return true;
}

}  // namespace zelq
