#include "capture/vfw/repair.h"

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <array>
#include <cstring>
#include <fstream>

#include "capture/vfw/avireader.h"
#include "capture/vfw/aviwriter.h"
#include "capture/vfw/vfwlog.h"

namespace zelq {

namespace {

// The RIFF size a writer puts in its header before it knows it; it writes the real one when it finishes.
constexpr std::uint32_t kUnwrittenSize = 0xffffffffu;

bool unfinished(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, 12> head{};
    if (!in.read(head.data(), head.size()) || std::memcmp(head.data(), "RIFF", 4) != 0 ||
        std::memcmp(head.data() + 8, "AVI ", 4) != 0)
        return false;
    std::uint32_t riffSize = 0;
    for (int i = 3; i >= 0; --i) riffSize = (riffSize << 8) | static_cast<unsigned char>(head[4 + i]);
    std::error_code ec;
    const auto fileSize = std::filesystem::file_size(path, ec);
    return !ec && (riffSize == kUnwrittenSize || std::uint64_t{riffSize} + 8 > fileSize);
}

// Stands in for a compressor when frames are copied: the stream's format is the old file's.
class CopiedFormat final : public VideoEncoder {
public:
    explicit CopiedFormat(const AVCodecParameters& par) : par_(par) {}
    void describe(AVCodecParameters& out) const override { avcodec_parameters_copy(&out, &par_); }
    int encode(const std::uint8_t*, std::int64_t, bool, const PacketSink&) override { return AVERROR(ENOSYS); }
    int flush(const PacketSink&) override { return 0; }

private:
    const AVCodecParameters& par_;
};

bool syncToDisk(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Copies every whole frame of the first video stream of `from` into the new file `to` and finishes it.
HRESULT copyFrames(const std::filesystem::path& from, const std::filesystem::path& to) {
    PAVIFILE in, out;
    PAVISTREAM source, target;
    HRESULT hr = AVIFileOpen(in, from, OF_READ);
    if (hr == AVIERR_OK) hr = AVIFileGetStream(in, source, streamtypeVIDEO, 0);
    if (hr != AVIERR_OK) return hr;
    auto& reader = static_cast<ReadStream&>(*source);
    AVISTREAMINFO info;
    AVIStreamInfo(source, &info, sizeof info);
    if ((hr = AVIFileOpen(out, to, OF_WRITE | OF_CREATE)) != AVIERR_OK ||
        (hr = AVIFileCreateStream(out, target, info)) != AVIERR_OK)
        return hr;
    auto& writer = static_cast<RawWriteStream&>(*target);
    const CopiedFormat format(*reader.stream().codecpar);
    if ((hr = writer.setCompressedFormat(format, info.rcFrame.right, info.rcFrame.bottom)) != AVIERR_OK) return hr;

    AVFormatContext& ctx = reader.file().context();
    const AVRational unit = reader.stream().time_base;
    // Learning the stream's length may have read the file to its end.
    if (avformat_seek_file(&ctx, reader.index(), INT64_MIN, reader.start(), INT64_MAX, 0) < 0) return AVIERR_FILEREAD;
    AvPacketPtr packet(av_packet_alloc());
    std::int64_t next = 0;  // positions must grow
    while (packet && av_read_frame(&ctx, packet.get()) >= 0) {
        const bool wanted = packet->stream_index == reader.index() && !(packet->flags & AV_PKT_FLAG_CORRUPT) &&
                            packet->pts != AV_NOPTS_VALUE && packet->size > 0;
        if (wanted && packet->pts - reader.start() >= next) {
            packet->pts = packet->dts = packet->pts - reader.start();
            packet->duration = 0;
            packet->pos = -1;
            next = packet->pts + 1;
            if ((hr = writer.writeCompressed(*packet, unit)) != AVIERR_OK) return hr;
        }
        av_packet_unref(packet.get());
    }
    // A copy without a frame would put nothing in the recording's place.
    if (next == 0) return AVIERR_NODATA;
    return AVIFileFinish(out);
}

}  // namespace

RepairResult repairUnfinishedRecording(const std::filesystem::path& path) {
    if (!unfinished(path)) return RepairResult::NotNeeded;
    // The writer holds this lock until its file is finished; it also keeps a second repairer away.
    const std::optional<FileLock> lock = FileLock::tryLock(QString::fromStdString(path.string()));
    if (!lock) return RepairResult::Busy;
    std::filesystem::path temporary = path;
    temporary.replace_filename("." + path.filename().string() + ".repair");
    const HRESULT hr = copyFrames(path, temporary);
    std::error_code ec;
    if (hr != AVIERR_OK || !syncToDisk(temporary)) {
        qCWarning(lcVfw, "%s: cannot repair: error %ld", path.c_str(), static_cast<long>(hr));
        std::filesystem::remove(temporary, ec);
        return RepairResult::Failed;
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return RepairResult::Failed;
    }
    return RepairResult::Repaired;
}

}  // namespace zelq
