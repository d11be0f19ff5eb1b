#include "capture/vfw/aviwriter.h"

#include <sys/statvfs.h>

#include <cstring>
#include <fstream>
#include <system_error>

extern "C" {
#include <libavutil/avutil.h>
}

#include "capture/vfw/averror.h"
#include "capture/vfw/avistreamheaders.h"
#include "capture/vfw/soundwritestream.h"
#include "capture/vfw/vfwlog.h"
#include "capture/vfw/writermark.h"

namespace zelq {

namespace {

// The AVI muxer refuses a gap of more than 60000 positions at once; empty packets of our own break
// longer gaps into steps of this size.
constexpr std::int64_t kGapStep = 50000;
// What the index costs per position: idx1 (16 bytes) or OpenDML ix (8 bytes), plus the 8-byte empty
// chunk of a skipped position, rounded up.
constexpr std::int64_t kIndexBytesPerPosition = 32;
// The file's header (about 6 KB, most of it room for the OpenDML super index), with a margin.
constexpr std::int64_t kHeaderBytes = 16 * 1024;
// What closing the file writes besides the index entries: chunk headers and the last counts.
constexpr std::int64_t kClosingBytes = 4 * 1024;

}  // namespace

std::vector<std::int64_t> emptyPositionsBefore(std::int64_t end, std::int64_t dts) {
    std::vector<std::int64_t> positions;
    for (std::int64_t at = end; at == 0 ? dts > 0 : dts - at > kGapStep; at = positions.back() + 1)
        positions.push_back(at == 0 ? 0 : at + kGapStep);
    return positions;
}

OutputFile::OutputFile(std::filesystem::path path, AvOutputContextPtr ctx)
    : path_(std::move(path)), ctx_(std::move(ctx)) {}

HRESULT OutputFile::create(const std::filesystem::path& path, PAVIFILE& out) {
    AVFormatContext* raw = nullptr;
    int ret = avformat_alloc_output_context2(&raw, nullptr, "avi", path.c_str());
    AvOutputContextPtr ctx(raw);
    if (ret < 0 || !ctx) {
        qCWarning(lcVfw, "no AVI writer: %s", avErrorText(ret).c_str());
        return ret == AVERROR(ENOMEM) ? AVIERR_MEMORY : AVIERR_UNSUPPORTED;
    }
    // A folder is not a file, and avio would happily open one for writing on some systems.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return AVIERR_FILEOPEN;
    ret = avio_open(&ctx->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (ret < 0) {
        qCWarning(lcVfw, "cannot create %s: %s", path.c_str(), avErrorText(ret).c_str());
        return aviErrorFromAv(ret, AviStep::Open);
    }
    auto* file = new OutputFile(path, std::move(ctx));
    // A listing may be judging the new, empty file at this moment (it lets go at once: an empty file
    // is no unfinished recording).
    file->lock_ = FileLock::tryLockFor(QString::fromStdString(path.string()), std::chrono::seconds(1));
    out.reset(file);
    return AVIERR_OK;
}

OutputFile::~OutputFile() {
    finish();
}

HRESULT OutputFile::createStream(const AVISTREAMINFO& info, PAVISTREAM& out) {
    if (info.fccType != streamtypeVIDEO && info.fccType != streamtypeAUDIO)
        return AVIERR_UNSUPPORTED;
    if (info.dwRate == 0 || info.dwScale == 0 || info.dwRate > INT32_MAX || info.dwScale > INT32_MAX)
        return AVIERR_BADPARAM;
    // The header lists every stream; once it is written no stream can join.
    if (headerWritten_ || failed_)
        return AVIERR_UNSUPPORTED;
    AVStream* st = avformat_new_stream(ctx_.get(), nullptr);
    if (!st)
        return AVIERR_MEMORY;
    st->time_base = {static_cast<int>(info.dwScale), static_cast<int>(info.dwRate)};
    const bool sound = info.fccType == streamtypeAUDIO;
    st->codecpar->codec_type = sound ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
    if (info.szName[0]) {
        const std::string name(info.szName, strnlen(info.szName, sizeof info.szName));
        av_dict_set(&st->metadata, "title", name.c_str(), 0);
    }
    auto self = std::static_pointer_cast<OutputFile>(shared_from_this());
    if (sound)
        out = std::make_shared<SoundWriteStream>(self, st->index, info);
    else
        out = std::make_shared<RawWriteStream>(self, st->index, info);
    return AVIERR_OK;
}

bool OutputFile::roomFor(std::int64_t bytes, std::int64_t newPositions) const {
    struct statvfs fs {};
    // Where the free space cannot be learnt, the write itself has to tell.
    if (statvfs(path_.c_str(), &fs) != 0)
        return true;
    const auto available = static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
    const std::int64_t needed = bytes + kClosingBytes + kIndexBytesPerPosition * (positions_ + newPositions);
    return available >= needed;
}

HRESULT OutputFile::ensureHeader() {
    if (headerWritten_)
        return AVIERR_OK;
    if (failed_)
        return AVIERR_FILEWRITE;
    if (ctx_->nb_streams == 0)
        return AVIERR_NODATA;
    for (unsigned i = 0; i < ctx_->nb_streams; ++i)
        if (ctx_->streams[i]->codecpar->codec_id == AV_CODEC_ID_NONE)
            return AVIERR_BADFORMAT;  // no format yet
    if (!roomFor(kHeaderBytes, 0)) {
        qCWarning(lcVfw, "%s: the disk is too full to start the file", path_.c_str());
        failed_ = true;
        return AVIERR_FILEWRITE;
    }
    std::vector<AVRational> units;
    for (unsigned i = 0; i < ctx_->nb_streams; ++i) units.push_back(ctx_->streams[i]->time_base);
    // Uncompressed rows go in bottom-up, as DIBs have them; without this the muxer marks them top-down.
    AvDictionary options;
    av_dict_set(&options.dict, "flipped_raw_rgb", "1", 0);
    int ret = avformat_init_output(ctx_.get(), &options.dict);
    if (ret >= 0) {
        putWriterMark(*ctx_);
        ret = avformat_write_header(ctx_.get(), nullptr);
    }
    if (ret >= 0) {
        avio_flush(ctx_->pb);
        ret = ctx_->pb->error;
    }
    if (ret < 0) {
        qCWarning(lcVfw, "%s: cannot write the header: %s", path_.c_str(), avErrorText(ret).c_str());
        failed_ = diskFailed_ = true;
        return aviErrorFromAv(ret, AviStep::Write);
    }
    headerWritten_ = true;
    writePictureSizes();
    goodEnd_ = avio_tell(ctx_->pb);
    for (unsigned i = 0; i < ctx_->nb_streams; ++i)
        if (av_cmp_q(units[i], ctx_->streams[i]->time_base) != 0)
            qCWarning(lcVfw, "the AVI writer changed the time base of stream %u; positions will drift", i);
    return AVIERR_OK;
}

void OutputFile::setPictureSize(int index, int width, int height) {
    pictureSizes_[index] = {width, height};
}

void OutputFile::writePictureSizes() {
    if (!pictureSizes_.empty())
        putPictureSizes(*ctx_->pb, path_, pictureSizes_);
}

void putPictureSizes(AVIOContext& pb, const std::filesystem::path& path,
                     const std::map<int, std::pair<int, int>>& sizes) {
    // The muxer's own output is the only map of where its header put each field: read it back.
    avio_flush(&pb);
    std::ifstream written(path, std::ios::binary);
    const std::vector<StreamHeaderChunk> headers = findStreamHeaders(written);
    const std::int64_t end = avio_tell(&pb);
    for (const auto& [index, size] : sizes) {
        if (static_cast<std::size_t>(index) >= headers.size() || headers[index].size < kRcFrameEnd) {
            qCWarning(lcVfw,
                      "%s: no header of stream %d to put its picture size in; players will show "
                      "the coded size",
                      path.c_str(), index);
            continue;
        }
        // right and bottom; left and top stay 0
        avio_seek(&pb, headers[index].offset + kRcFrameOffset + 4, SEEK_SET);
        avio_wl16(&pb, static_cast<unsigned>(size.first));
        avio_wl16(&pb, static_cast<unsigned>(size.second));
    }
    avio_seek(&pb, end, SEEK_SET);
    avio_flush(&pb);
}

HRESULT OutputFile::mux(AVPacket& packet, std::int64_t newPositions) {
    if (!roomFor(packet.size, newPositions)) {
        qCWarning(lcVfw, "%s: the disk is too full for %d more bytes", path_.c_str(), packet.size);
        failed_ = true;
        return AVIERR_FILEWRITE;
    }
    // av_write_frame rather than the interleaving queue: samples are stored in the order they are
    // written, as Windows stores them, and a failure belongs to the write that caused it.
    int ret = av_write_frame(ctx_.get(), &packet);
    if (ret >= 0) {
        avio_flush(ctx_->pb);
        ret = ctx_->pb->error;
    }
    if (ret < 0) {
        qCWarning(lcVfw, "%s: write failed: %s", path_.c_str(), avErrorText(ret).c_str());
        failed_ = true;
        diskFailed_ = ctx_->pb->error < 0;
        return aviErrorFromAv(ret, AviStep::Write);
    }
    goodEnd_ = avio_tell(ctx_->pb);
    positions_ += newPositions;
    return AVIERR_OK;
}

HRESULT OutputFile::prepare(AVPacket& packet, AVRational from) {
    if (failed_)
        return AVIERR_FILEWRITE;
    const HRESULT hr = ensureHeader();
    if (hr != AVIERR_OK)
        return hr;
    const AVStream& st = *ctx_->streams[packet.stream_index];
    av_packet_rescale_ts(&packet, from, st.time_base);
    if (packet.dts == AV_NOPTS_VALUE)
        packet.dts = packet.pts;
    return AVIERR_OK;
}

HRESULT OutputFile::writeSamples(AVPacket& packet, AVRational from, std::int64_t samples, std::int64_t& end) {
    HRESULT hr = prepare(packet, from);
    if (hr != AVIERR_OK)
        return hr;
    // The muxer counts a sound stream's length by its bytes, not by timestamps: a chunk placed anywhere
    // but at the end would shift every sample after it.
    if (packet.dts != end)
        return AVIERR_BADPARAM;
    hr = mux(packet, 1);  // one chunk, one index entry
    if (hr == AVIERR_OK)
        end += samples;
    return hr;
}

HRESULT OutputFile::writePacket(AVPacket& packet, AVRational from, std::int64_t& end) {
    HRESULT hr = prepare(packet, from);
    if (hr != AVIERR_OK)
        return hr;
    if (packet.dts < end) {
        qCWarning(lcVfw, "a frame for position %lld arrived after position %lld",
                  static_cast<long long>(packet.dts), static_cast<long long>(end - 1));
        return AVIERR_INTERNAL;
    }
    for (const std::int64_t position : emptyPositionsBefore(end, packet.dts)) {
        AvPacketPtr empty(av_packet_alloc());
        if (!empty)
            return AVIERR_MEMORY;
        empty->stream_index = packet.stream_index;
        empty->pts = empty->dts = position;
        hr = mux(*empty, position - end + 1);
        if (hr != AVIERR_OK)
            return hr;
        end = position + 1;
    }
    hr = mux(packet, packet.dts - end + 1);
    if (hr != AVIERR_OK)
        return hr;
    end = packet.dts + 1;
    return AVIERR_OK;
}

HRESULT OutputFile::finish() {
    if (finished_)
        return diskFailed_ ? AVIERR_FILEWRITE : AVIERR_OK;
    finished_ = true;
    // A file whose streams all have a format is finished even without frames: it is a valid, empty recording.
    if (!headerWritten_ && !failed_ && ensureHeader() != AVIERR_OK) {
        qCDebug(lcVfw, "%s: closed before it could be written", path_.c_str());
    }
    failed_ = true;  // no frame after the index
    if (headerWritten_) {
        const int ret = av_write_trailer(ctx_.get());
        if (ret < 0 || ctx_->pb->error < 0) {
            qCWarning(lcVfw, "%s: cannot finish the file: %s", path_.c_str(),
                      avErrorText(ret < 0 ? ret : ctx_->pb->error).c_str());
            diskFailed_ = true;
        }
    }
    ctx_.reset();  // closes the file
    if (diskFailed_ && headerWritten_) {
        // The disk refused part of a chunk or of the index: keep the whole frames before it.
        std::error_code ec;
        std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(goodEnd_), ec);
        if (ec)
            qCWarning(lcVfw, "%s: cannot cut off the torn end: %s", path_.c_str(), ec.message().c_str());
    }
    lock_.reset();
    return diskFailed_ ? AVIERR_FILEWRITE : AVIERR_OK;
}

// ---- RawWriteStream

RawWriteStream::RawWriteStream(std::shared_ptr<OutputFile> file, int index, const AVISTREAMINFO& header)
    : file_(std::move(file)), index_(index), header_(header) {}

AVRational RawWriteStream::positionUnit() const {
    return {static_cast<int>(header_.dwScale), static_cast<int>(header_.dwRate)};
}

HRESULT RawWriteStream::checkFormatPosition(LONG pos) const {
    // One format for the whole stream: palette or size changes are not written.
    if (pos != 0 || formatSet_ || file_->headerWritten())
        return AVIERR_UNSUPPORTED;
    return AVIERR_OK;
}

HRESULT RawWriteStream::setFormat(LONG pos, const BitmapInfoHeader* format, LONG cb) {
    HRESULT hr = checkFormatPosition(pos);
    if (hr != AVIERR_OK)
        return hr;
    if (cb < 0)
        return AVIERR_BADSIZE;
    DibFormat dib;
    hr = readDibFormat(format, static_cast<std::size_t>(cb), dib);
    if (hr != AVIERR_OK)
        return hr;
    AVCodecParameters& par = *file_->stream(index_).codecpar;
    par.codec_type = AVMEDIA_TYPE_VIDEO;
    par.codec_id = AV_CODEC_ID_RAWVIDEO;
    par.codec_tag = 0;  // BI_RGB: the muxer stores the rows as they are, bottom-up
    // The muxer knows 32-bit DIB rows as BGRA (the fourth byte unused, as in BGRX).
    par.format = dib.bitCount == 32 ? AV_PIX_FMT_BGRA : dib.pixelFormat();
    par.width = dib.width;
    par.height = dib.height;
    par.bits_per_coded_sample = dib.bitCount;
    raw_ = dib;
    pictureWidth_ = dib.width;
    pictureHeight_ = dib.height;
    formatSet_ = true;
    return AVIERR_OK;
}

HRESULT RawWriteStream::write(LONG start, LONG samples, const void* buffer, LONG cb, DWORD /*flags*/,
                              LONG* samplesWritten, LONG* bytesWritten) {
    if (!formatSet_ || !raw_.width)
        return formatSet_ ? AVIERR_UNSUPPORTED : AVIERR_BADFORMAT;
    if (samples != 1)
        return AVIERR_UNSUPPORTED;
    if (!buffer || start < end_)
        return AVIERR_BADPARAM;
    const std::size_t bytes = raw_.imageBytes();
    if (cb < 0 || static_cast<std::size_t>(cb) < bytes)
        return AVIERR_BADSIZE;
    AvPacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(bytes)) < 0)
        return AVIERR_MEMORY;
    std::memcpy(packet->data, buffer, bytes);
    packet->stream_index = index_;
    packet->pts = packet->dts = start;
    packet->flags = AV_PKT_FLAG_KEY;  // an uncompressed frame needs no other to be shown
    if (raw_.bitCount <= 8) {
        // The muxer takes the colour table from the packet and stores it in the stream format.
        std::uint8_t* side = av_packet_new_side_data(packet.get(), AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
        if (!side)
            return AVIERR_MEMORY;
        const auto palette = paletteToAv(raw_);
        std::memcpy(side, palette.data(), AVPALETTE_SIZE);
    }
    const HRESULT hr = file_->writePacket(*packet, positionUnit(), end_);
    if (hr != AVIERR_OK)
        return hr;
    if (samplesWritten)
        *samplesWritten = 1;
    if (bytesWritten)
        *bytesWritten = static_cast<LONG>(bytes);
    return AVIERR_OK;
}

void RawWriteStream::info(AVISTREAMINFO& out) const {
    out = header_;
    out.dwStart = 0;
    out.dwLength = static_cast<DWORD>(end_);
    if (formatSet_) {
        out.rcFrame = {0, 0, pictureWidth_, pictureHeight_};
        if (raw_.width)
            out.dwSuggestedBufferSize = static_cast<DWORD>(raw_.imageBytes());
    }
}

HRESULT RawWriteStream::setCompressedFormat(const VideoEncoder& encoder, int pictureWidth,
                                            int pictureHeight) {
    if (formatSet_ || file_->headerWritten())
        return AVIERR_UNSUPPORTED;
    AVCodecParameters& par = *file_->stream(index_).codecpar;
    encoder.describe(par);
    if (pictureWidth != par.width || pictureHeight != par.height)
        file_->setPictureSize(index_, pictureWidth, pictureHeight);
    pictureWidth_ = pictureWidth;
    pictureHeight_ = pictureHeight;
    formatSet_ = true;
    return AVIERR_OK;
}

HRESULT RawWriteStream::writeCompressed(AVPacket& packet, AVRational from) {
    packet.stream_index = index_;
    return file_->writePacket(packet, from, end_);
}

}  // namespace zelq
