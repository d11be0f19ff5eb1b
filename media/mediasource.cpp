#include "media/mediasource.h"

#include <QLoggingCategory>
#include <fstream>
#include <system_error>

#include "capture/vfw/avistreamheaders.h"
#include "capture/vfw/decodenext.h"
#include "capture/vfw/localavi.h"

namespace zelq {

Q_LOGGING_CATEGORY(lcPlayer, "zelq.player")

MediaOpen MediaSource::open(const std::filesystem::path& path, std::unique_ptr<MediaSource>& out) {
    out.reset();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return MediaOpen::NotFound;
    std::unique_ptr<MediaSource> src(new MediaSource);
    int ret = openLocalAvi(path, src->ctx_);
    if (ret < 0) {
        qCDebug(lcPlayer, "cannot open %s: %s", path.c_str(), avErrorText(ret).c_str());
        return MediaOpen::Invalid;
    }
    AVFormatContext* raw = src->ctx_.get();
    ret = avformat_find_stream_info(raw, nullptr);
    if (ret < 0)
        qCDebug(lcPlayer, "no stream information in %s: %s", path.c_str(), avErrorText(ret).c_str());
    const AVCodec* codec = nullptr;
    src->index_ = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (src->index_ < 0 || !codec)
        return MediaOpen::Invalid;
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        raw->streams[i]->discard = static_cast<int>(i) == src->index_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    AVStream& st = *raw->streams[src->index_];
    const AVCodecParameters& par = *st.codecpar;
    if (!pictureSizeAcceptable(par.width, par.height)) {
        qCDebug(lcPlayer, "refusing a %dx%d picture", par.width, par.height);
        return MediaOpen::Invalid;
    }
    src->decoder_.reset(avcodec_alloc_context3(codec));
    src->packet_.reset(av_packet_alloc());
    if (!src->decoder_ || !src->packet_)
        return MediaOpen::OutOfMemory;
    if (avcodec_parameters_to_context(src->decoder_.get(), &par) < 0)
        return MediaOpen::Invalid;
    src->decoder_->pkt_timebase = st.time_base;
    src->decoder_->max_pixels = kMaxPictureArea;
    // The worker already decodes ahead of the screen, so up to 1080p one decoding thread keeps up, and
    // frame threads would only add their hand-overs to the cost; larger pictures get a second thread.
    src->decoder_->thread_count = static_cast<std::int64_t>(par.width) * par.height <= 1920 * 1088 ? 1 : 2;
    ret = avcodec_open2(src->decoder_.get(), codec, nullptr);
    if (ret < 0) {
        qCDebug(lcPlayer, "cannot open the %s decoder: %s", codec->name, avErrorText(ret).c_str());
        return MediaOpen::Invalid;
    }

    src->width_ = par.width;
    src->height_ = par.height;
    // Our recordings of a picture whose sides are not multiples of 4 are coded larger; the header's frame
    // rectangle keeps the picture's size, and the padding is not shown.
    {
        std::ifstream header(path, std::ios::binary);
        const auto rects = readFrameRects(header);
        if (static_cast<std::size_t>(src->index_) < rects.size() && rects[src->index_]) {
            const FrameRect& r = *rects[src->index_];
            if (r.left == 0 && r.top == 0 && r.right >= 1 && r.bottom >= 1 && r.right <= par.width &&
                r.bottom <= par.height) {
                src->width_ = r.right;
                src->height_ = r.bottom;
            }
        }
    }
    src->timeBase_ = st.time_base;
    src->start_ = st.start_time != AV_NOPTS_VALUE ? st.start_time : 0;
    if (st.duration != AV_NOPTS_VALUE && st.duration > 0)
        src->length_ = st.duration;
    else if (raw->duration != AV_NOPTS_VALUE && raw->duration > 0)
        src->length_ = av_rescale_q(raw->duration, AV_TIME_BASE_Q, st.time_base);
    const AVRational rate = av_guess_frame_rate(raw, &st, nullptr);
    if (rate.num > 0 && rate.den > 0)
        src->frameTicks_ = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), st.time_base));
    src->promised_ = std::max(src->length_, st.nb_frames * src->frameTicks_);
    out = std::move(src);
    return MediaOpen::Ok;
}

std::int64_t MediaSource::positionOf(const AVFrame& frame) const {
    const std::int64_t ts = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
    if (ts == AV_NOPTS_VALUE)
        return lastPosition_ < 0 ? 0 : lastPosition_ + frameTicks_;
    return ts - start_;
}

AvFramePtr MediaSource::decodeNext(std::int64_t& position) {
    // A truncated or vanished file ends like a finished one: what was decoded is shown.
    AvFramePtr frame = decodeNextFrame(*ctx_, *decoder_, *packet_, index_, draining_,
                                       [this](const char* fault, int error) {
                                           ++faults_;
                                           qCDebug(lcPlayer, "%s: %s", fault, avErrorText(error).c_str());
                                       });
    if (frame) {
        position = positionOf(*frame);
        lastPosition_ = position;
    }
    return frame;
}

bool MediaSource::rewind() {
    int ret = av_seek_frame(ctx_.get(), index_, start_, AVSEEK_FLAG_BACKWARD);
    if (ret < 0)
        ret = avformat_seek_file(ctx_.get(), index_, INT64_MIN, start_, INT64_MAX, 0);
    if (ret < 0) {
        qCDebug(lcPlayer, "cannot go back to the start: %s", avErrorText(ret).c_str());
        return false;
    }
    avcodec_flush_buffers(decoder_.get());
    draining_ = false;
    lastPosition_ = -1;
    return true;
}

}  // namespace zelq
