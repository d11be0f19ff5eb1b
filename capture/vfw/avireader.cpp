#include "capture/vfw/avireader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>

#include "capture/vfw/averror.h"
#include "capture/vfw/getframe.h"
#include "capture/vfw/localavi.h"
#include "capture/vfw/vfwlog.h"

namespace zelq {

namespace {

DWORD streamType(const AVCodecParameters& par) {
    switch (par.codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            return streamtypeVIDEO;
        case AVMEDIA_TYPE_AUDIO:
            return streamtypeAUDIO;
        default:
            return 0;
    }
}

}  // namespace

HRESULT InputFile::open(const std::filesystem::path& path, PAVIFILE& out) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return AVIERR_FILEOPEN;
    AvInputContextPtr ctx;
    const int ret = openLocalAvi(path, ctx);
    if (ret < 0) {
        qCDebug(lcVfw, "cannot read %s as AVI: %s", path.c_str(), avErrorText(ret).c_str());
        return aviErrorFromAv(ret, AviStep::Open);
    }
    std::ifstream header(path, std::ios::binary);
    out.reset(new InputFile(std::move(ctx), readFrameRects(header)));
    return AVIERR_OK;
}

std::optional<FrameRect> InputFile::frameRect(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= rects_.size())
        return std::nullopt;
    return rects_[static_cast<std::size_t>(index)];
}

HRESULT InputFile::getStream(PAVISTREAM& out, DWORD fccType, LONG index) {
    LONG seen = 0;
    for (unsigned i = 0; i < ctx_->nb_streams; ++i) {
        if (fccType != 0 && streamType(*ctx_->streams[i]->codecpar) != fccType)
            continue;
        if (seen++ == index) {
            out = std::make_shared<ReadStream>(std::static_pointer_cast<InputFile>(shared_from_this()),
                                               static_cast<int>(i));
            return AVIERR_OK;
        }
    }
    return AVIERR_NODATA;
}

void ReadStream::info(AVISTREAMINFO& out) const {
    const AVStream& st = stream();
    const AVCodecParameters& par = *st.codecpar;
    AVISTREAMINFO i;
    i.fccType = streamType(par);
    i.fccHandler = par.codec_tag;
    // The demuxer keeps dwScale / dwRate as the stream's time base (reduced to lowest terms).
    i.dwScale = static_cast<DWORD>(st.time_base.num);
    i.dwRate = static_cast<DWORD>(st.time_base.den);
    i.dwStart = static_cast<DWORD>(start());
    i.dwLength = static_cast<DWORD>(length());
    i.dwQuality = ICQUALITY_DEFAULT;  // not kept by the reader
    if (par.codec_type == AVMEDIA_TYPE_VIDEO)
        i.rcFrame = {0, 0, pictureWidth(), pictureHeight()};
    if (const AVDictionaryEntry* title = av_dict_get(st.metadata, "title", nullptr, 0))
        std::strncpy(i.szName, title->value, sizeof i.szName - 1);
    out = i;
}

HRESULT ReadStream::readFormat(BitmapInfoHeader& out) const {
    const AVCodecParameters& par = *stream().codecpar;
    if (par.codec_type != AVMEDIA_TYPE_VIDEO)
        return AVIERR_NODATA;
    BitmapInfoHeader f;
    f.biWidth = par.width;
    f.biHeight = par.height;
    f.biBitCount = static_cast<std::uint16_t>(par.bits_per_coded_sample);
    f.biCompression = par.codec_id == AV_CODEC_ID_RAWVIDEO ? 0 : par.codec_tag;
    out = f;
    return AVIERR_OK;
}

std::optional<FrameRect> ReadStream::pictureRect() const {
    const AVCodecParameters& par = *stream().codecpar;
    const std::optional<FrameRect> r = file_->frameRect(index_);
    // Only a rectangle that picks out a top-left part of the coded frame is a picture size; writers
    // that leave it 0 or place the stream elsewhere in the movie mean something else by it.
    if (!r || r->left != 0 || r->top != 0 || r->right < 1 || r->bottom < 1 || r->right > par.width ||
        r->bottom > par.height)
        return std::nullopt;
    return r;
}

int ReadStream::pictureWidth() const {
    const std::optional<FrameRect> r = pictureRect();
    return r ? r->right : stream().codecpar->width;
}

int ReadStream::pictureHeight() const {
    const std::optional<FrameRect> r = pictureRect();
    return r ? r->bottom : stream().codecpar->height;
}

LONG ReadStream::start() const {
    const AVStream& st = stream();
    if (st.start_time != AV_NOPTS_VALUE)
        return static_cast<LONG>(st.start_time);
    return 0;
}

LONG ReadStream::length() const {
    if (!length_) length_ = positionsInFile();
    return static_cast<LONG>(std::min<std::int64_t>(*length_, INT32_MAX));
}

std::int64_t ReadStream::positionsInFile() const {
    // What the file holds, never what its header claims: a writer that died leaves a header of 0 and
    // no index, and a damaged header may claim billions of positions that are not there.
    AVStream& st = stream();
    AVFormatContext& ctx = file_->context();
    const std::int64_t fileSize = avio_size(ctx.pb);
    // The last frame whose data is all in the file: a torn last chunk is no frame.
    for (int i = avformat_index_get_entries_count(&st) - 1; i >= 0; --i) {
        const AVIndexEntry* entry = avformat_index_get_entry(&st, i);
        if (fileSize < 0 || entry->pos + entry->size <= fileSize)
            return std::max<std::int64_t>(0, entry->timestamp + 1 - start());
    }
    // No index: walk the frames once. The demuxer indexes what it reads, so readers can seek afterwards.
    AvPacketPtr packet(av_packet_alloc());
    std::int64_t end = 0;
    while (packet && av_read_frame(&ctx, packet.get()) >= 0) {
        const bool whole = !(packet->flags & AV_PKT_FLAG_CORRUPT);
        if (whole && packet->stream_index == index_ && packet->pts != AV_NOPTS_VALUE)
            end = std::max<std::int64_t>(end, packet->pts + 1 - start());
        av_packet_unref(packet.get());
    }
    file_->lastReader = this;  // the read position is at the end: every frame reader seeks before it reads
    return end;
}

PGETFRAME ReadStream::openFrames(const PAVISTREAM& self, const BitmapInfoHeader* wanted) {
    if (stream().codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return nullptr;
    return GetFrameObject::open(std::static_pointer_cast<ReadStream>(self), wanted);
}

}  // namespace zelq
