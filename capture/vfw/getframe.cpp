#include "capture/vfw/getframe.h"

#include <algorithm>
#include <cstring>

#include "capture/vfw/decodenext.h"
#include "capture/vfw/localavi.h"
#include "capture/vfw/vfwlog.h"

namespace zelq {

void GetFrameDeleter::operator()(GetFrameObject* p) const noexcept {
    delete p;
}

GetFrameObject::GetFrameObject(std::shared_ptr<ReadStream> stream, AvCodecContextPtr decoder, int depth)
    : stream_(std::move(stream)), decoder_(std::move(decoder)), packet_(av_packet_alloc()), depth_(depth) {}

PGETFRAME GetFrameObject::open(std::shared_ptr<ReadStream> stream, const BitmapInfoHeader* wanted) {
    const AVCodecParameters& par = *stream->stream().codecpar;
    int depth = 0;
    if (wanted) {
        // The depth and size asked for; the picture is never scaled.
        const bool sizeOk =
            (wanted->biWidth == 0 && wanted->biHeight == 0) ||
            (wanted->biWidth == stream->pictureWidth() && wanted->biHeight == stream->pictureHeight());
        const bool depthOk = wanted->biBitCount == 16 || wanted->biBitCount == 24 ||
                             wanted->biBitCount == 32 ||
                             (wanted->biBitCount == 8 && par.format == AV_PIX_FMT_PAL8);
        if (!sizeOk || !depthOk || wanted->biCompression != kBiRgb)
            return nullptr;
        depth = wanted->biBitCount;
    }
    // A header that claims a picture beyond 8K is refused before a decoder allocates for it.
    if (!pictureSizeAcceptable(par.width, par.height) ||
        !pictureSizeAcceptable(stream->pictureWidth(), stream->pictureHeight())) {
        qCDebug(lcVfw, "refusing a %dx%d picture", par.width, par.height);
        return nullptr;
    }
    const AVCodec* codec = avcodec_find_decoder(par.codec_id);
    if (!codec) {
        qCDebug(lcVfw, "no decoder for %s", avcodec_get_name(par.codec_id));
        return nullptr;
    }
    AvCodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), &par) < 0)
        return nullptr;
    decoder->pkt_timebase = stream->stream().time_base;
    decoder->thread_count = 0;
    decoder->max_pixels = kMaxPictureArea;
    const int ret = avcodec_open2(decoder.get(), codec, nullptr);
    if (ret < 0) {
        qCWarning(lcVfw, "cannot open the %s decoder: %s", codec->name, avErrorText(ret).c_str());
        return nullptr;
    }
    PGETFRAME reader(new GetFrameObject(std::move(stream), std::move(decoder), depth));
    if (!reader->packet_)
        return nullptr;
    return reader;
}

std::int64_t GetFrameObject::positionOf(const AVFrame& frame) const {
    // The stream's time base is one position, so timestamps are positions.
    const std::int64_t ts =
        frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
    return ts == AV_NOPTS_VALUE ? 0 : ts - stream_->start();
}

bool GetFrameObject::restart(std::int64_t pos) {
    InputFile& file = stream_->file();
    // A file nobody has read yet is at its first frame already; that also serves files without an index.
    if (file.lastReader != nullptr) {
        const std::int64_t ts = pos + stream_->start();
        int ret = av_seek_frame(&file.context(), stream_->index(), ts, AVSEEK_FLAG_BACKWARD);
        // No key frame at or before it: the position is one of the empty ones before the first frame,
        // which show the first frame, so the nearest key frame after it is the place to start.
        if (ret < 0)
            ret = avformat_seek_file(&file.context(), stream_->index(), INT64_MIN, ts, INT64_MAX, 0);
        if (ret < 0) {
            qCWarning(lcVfw, "cannot seek to position %lld: %s", static_cast<long long>(pos),
                      avErrorText(ret).c_str());
            return false;
        }
    }
    file.lastReader = this;
    avcodec_flush_buffers(decoder_.get());
    draining_ = false;
    held_.reset();
    next_.reset();
    return true;
}

AvFramePtr GetFrameObject::decodeNext() {
    return decodeNextFrame(stream_->file().context(), *decoder_, *packet_, stream_->index(), draining_,
                           [](const char* fault, int error) {
                               qCWarning(lcVfw, "%s: %s", fault, avErrorText(error).c_str());
                           });
}

const BitmapInfoHeader* GetFrameObject::frameAt(LONG pos) {
    const LONG length = stream_->length();
    if (pos < 0 || (length > 0 && pos >= length))
        return nullptr;
    if (dibPosition_ == pos)
        return reinterpret_cast<BitmapInfoHeader*>(dib_.data());
    const bool inOrder = stream_->file().lastReader == this && held_ && positionOf(*held_) <= pos;
    if (!inOrder && !restart(pos))
        return nullptr;
    for (;;) {
        if (!next_)
            next_ = decodeNext();
        if (!next_)
            break;  // the end: the last frame stands for every position after it
        if (held_ && positionOf(*next_) > pos)
            break;
        // The first frame also stands for empty positions before it.
        held_ = std::move(next_);
    }
    if (!held_)
        return nullptr;
    // Without a length in the header, the stream ends with its last frame.
    if (length == 0 && !next_ && positionOf(*held_) < pos)
        return nullptr;
    if (!toDib(*held_))
        return nullptr;
    dibPosition_ = pos;
    return reinterpret_cast<BitmapInfoHeader*>(dib_.data());
}

bool GetFrameObject::toDib(const AVFrame& frame) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    if (depth_ == 0)
        depth_ = dibDepthFor(format);
    if (depth_ == 8 && format != AV_PIX_FMT_PAL8)
        return false;  // a palette cannot be made up
    // The picture is the top-left part of a frame coded larger; rows and columns past it are padding.
    const int width = std::min(frame.width, stream_->pictureWidth());
    const int height = std::min(frame.height, stream_->pictureHeight());
    const BitmapInfoHeader header = makeDibHeader(width, height, depth_);
    DibFormat dib;
    dib.width = width;
    dib.height = height;
    dib.bitCount = depth_;
    dib.paletteEntries = static_cast<int>(header.biClrUsed);
    // Cleared only when the size changes: the rows are overwritten whole for every frame, and the padding
    // at their ends, never written, stays zero. Clearing megabytes per frame cost a split a pass of memory.
    const std::size_t bytes = dib.headerBytes() + dib.imageBytes();
    if (dib_.size() != bytes)
        dib_.assign(bytes, 0);
    std::memcpy(dib_.data(), &header, sizeof header);
    std::uint8_t* pixels = dib_.data() + dib.headerBytes();
    const Planes dst = dibPlanes(pixels, dib, nullptr);
    Planes src;
    for (int i = 0; i < 4; ++i) {
        src.data[i] = frame.data[i];
        src.stride[i] = frame.linesize[i];
    }
    if (depth_ == 8) {
        paletteFromAv(reinterpret_cast<const std::uint32_t*>(frame.data[1]),
                      reinterpret_cast<RgbQuad*>(dib_.data() + sizeof header), dib.paletteEntries);
        copyPackedRows(src, dst, format, width, height);
        return true;
    }
    if (format == dib.pixelFormat()) {
        copyPackedRows(src, dst, format, width, height);
        return true;
    }
    return converter_.convert(src, pictureFormat(format, frame.color_range), dst,
                              pictureFormat(dib.pixelFormat(), AVCOL_RANGE_JPEG), width, height);
}

}  // namespace zelq
