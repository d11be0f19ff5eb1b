#include "capture/vfw/repair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <array>
#include <cstring>
#include <fstream>
#include <map>
#include <vector>

#include "capture/vfw/averror.h"
#include "capture/vfw/avistreamheaders.h"
#include "capture/vfw/aviwriter.h"
#include "capture/vfw/localavi.h"
#include "capture/vfw/vfwlog.h"
#include "capture/vfw/writermark.h"
#include "platform/fileops.h"

namespace zelq {

namespace {

// The RIFF size a writer puts in a part's header before it knows it; it writes the real one when it
// closes the part.
constexpr std::uint32_t kUnwrittenSize = 0xffffffffu;

std::uint32_t littleEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// Whether the AVI file open at `fd` was left unfinished. A recording past 1 GB has several RIFF parts
// ("AVI " and then "AVIX"); each part's size is written when the next one begins, so only the last part
// tells whether the writer finished. Bytes after a closed part that do not start another part are not
// a writer's doing: such a file is left as it is.
bool unfinished(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t at = 0;
    for (bool first = true; at < fileSize; first = false) {
        std::array<unsigned char, 12> head{};
        if (fileSize - at < head.size() ||
            ::pread(fd, head.data(), head.size(), static_cast<off_t>(at)) != static_cast<ssize_t>(head.size()) ||
            std::memcmp(head.data(), "RIFF", 4) != 0 || std::memcmp(head.data() + 8, first ? "AVI " : "AVIX", 4) != 0)
            return false;
        const std::uint32_t size = littleEndian32(head.data() + 4);
        if (size == kUnwrittenSize || at + 8 + size > fileSize)
            return true;
        at += 8 + std::uint64_t{size} + (size & 1);
    }
    return false;
}

bool syncToDisk(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// One stream of the copy and where its positions have got to.
struct CopiedStream {
    AVRational from{};       // the old file's time base
    bool positions = false;  // each chunk is one position (video), so gaps must be kept
    std::int64_t next = 0;   // packets before this are out of order and left out
    std::int64_t end = 0;    // positions written so far, empty ones included
};

class StreamCopy {
public:
    StreamCopy(AVFormatContext& in, AVFormatContext& out) : in_(in), out_(out) {}

    // Every stream of the old file, with its format and time base, and the picture sizes of its header.
    int addStreams(const std::vector<std::optional<FrameRect>>& rects) {
        for (unsigned i = 0; i < in_.nb_streams; ++i) {
            const AVStream& source = *in_.streams[i];
            AVStream* st = avformat_new_stream(&out_, nullptr);
            if (!st)
                return AVERROR(ENOMEM);
            const int ret = avcodec_parameters_copy(st->codecpar, source.codecpar);
            if (ret < 0)
                return ret;
            st->time_base = source.time_base;
            av_dict_copy(&st->metadata, source.metadata, 0);
            const AVCodecParameters& par = *source.codecpar;
            const bool video = par.codec_type == AVMEDIA_TYPE_VIDEO;
            streams_.push_back({source.time_base, video});
            if (video && i < rects.size() && rects[i] &&
                (rects[i]->right != par.width || rects[i]->bottom != par.height))
                pictureSizes_[static_cast<int>(i)] = {rects[i]->right, rects[i]->bottom};
        }
        return 0;
    }

    const std::map<int, std::pair<int, int>>& pictureSizes() const { return pictureSizes_; }

    // Copies the packets of every stream in the order the old file has them; the packets written.
    int copyPackets(int& copied, const std::stop_token& stop) {
        AvPacketPtr packet(av_packet_alloc());
        if (!packet)
            return AVERROR(ENOMEM);
        int ret = 0;
        while (ret >= 0 && av_read_frame(&in_, packet.get()) >= 0) {
            if (stop.stop_requested())
                ret = AVERROR_EXIT;
            else
                ret = copy(*packet, copied);
            av_packet_unref(packet.get());
        }
        return ret;
    }

private:
    int copy(AVPacket& packet, int& copied) {
        const auto index = static_cast<std::size_t>(packet.stream_index);
        if (index >= streams_.size() || (packet.flags & AV_PKT_FLAG_CORRUPT))
            return 0;  // a torn last chunk
        CopiedStream& s = streams_[index];
        if (packet.dts == AV_NOPTS_VALUE)
            packet.dts = packet.pts;
        if (packet.dts == AV_NOPTS_VALUE || packet.dts < s.next)
            return 0;
        s.next = packet.dts + 1;
        packet.pos = -1;
        if (s.positions) {
            // The reader passes over empty chunks: they come back where they were, as gaps.
            packet.duration = 0;
            for (const std::int64_t position : emptyPositionsBefore(s.end, packet.dts)) {
                if (const int ret = writeEmpty(packet.stream_index, position); ret < 0)
                    return ret;
            }
            s.end = packet.dts + 1;
        }
        av_packet_rescale_ts(&packet, s.from, out_.streams[index]->time_base);
        const int ret = av_write_frame(&out_, &packet);
        copied += ret >= 0 ? 1 : 0;
        return ret;
    }

    int writeEmpty(int stream, std::int64_t position) {
        AvPacketPtr empty(av_packet_alloc());
        if (!empty)
            return AVERROR(ENOMEM);
        empty->stream_index = stream;
        empty->pts = empty->dts = position;
        return av_write_frame(&out_, empty.get());
    }

    AVFormatContext& in_;
    AVFormatContext& out_;
    std::vector<CopiedStream> streams_;
    std::map<int, std::pair<int, int>> pictureSizes_;
};

// Copies every whole chunk of every stream of `from` into the new file `to` and finishes it.
int copyStreams(const std::filesystem::path& from, const std::filesystem::path& to, const std::stop_token& stop) {
    AvInputContextPtr in;
    int ret = openLocalAvi(from, in);
    if (ret < 0)
        return ret;
    AVFormatContext* raw = nullptr;
    ret = avformat_alloc_output_context2(&raw, nullptr, "avi", nullptr);
    AvOutputContextPtr out(raw);
    if (ret < 0 || !out)
        return ret < 0 ? ret : AVERROR(ENOMEM);
    std::ifstream header(from, std::ios::binary);
    StreamCopy copy(*in, *out);
    if ((ret = copy.addStreams(readFrameRects(header))) < 0 ||
        (ret = avio_open(&out->pb, ("file:" + to.string()).c_str(), AVIO_FLAG_WRITE)) < 0 ||
        (ret = avformat_init_output(out.get(), nullptr)) < 0)
        return ret;
    putWriterMark(*out);
    if ((ret = avformat_write_header(out.get(), nullptr)) < 0)
        return ret;
    if (!copy.pictureSizes().empty())
        putPictureSizes(*out->pb, to, copy.pictureSizes());
    int copied = 0;
    if ((ret = copy.copyPackets(copied, stop)) < 0)
        return ret;
    // A copy without a chunk would put nothing in the recording's place.
    if (copied == 0)
        return AVERROR_INVALIDDATA;
    ret = av_write_trailer(out.get());
    return ret < 0 ? ret : out->pb->error;
}

}  // namespace

RepairResult repairUnfinishedRecording(const std::filesystem::path& path, std::stop_token stop) {
    const QString original = QFile::decodeName(path.c_str());
    // Regular files only: a FIFO or a device named .avi is never opened, a symbolic link never replaced.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return RepairResult::NotNeeded;
    // The writer holds this lock until its file is finished; it also keeps a second repairer away. It is
    // taken before the file is judged: a writer that finishes between a judgement and the lock would see
    // its finished file rewritten.
    const std::optional<FileLock> lock = FileLock::tryLock(original);
    if (!lock)
        return RepairResult::Busy;
    if (!unfinished(lock->fd()) || !carriesWriterMark(path))
        return RepairResult::NotNeeded;
    // The unrepaired file must be able to go to the trash; where it cannot, it stays as it is, and is not
    // copied in vain at every listing.
    if (!TrashReaches(original)) {
        qCDebug(lcVfw, "%s: no trash on its disk: left unrepaired", path.c_str());
        return RepairResult::Failed;
    }
    const QString temporary = CreateTemporaryBeside(original);
    if (temporary.isEmpty())
        return RepairResult::Failed;
    const int ret = copyStreams(path, QFile::encodeName(temporary).toStdString(), stop);
    // A file deleted or renamed while it was copied keeps what the user did: its copy has no place.
    const bool stillThere = lock->isAt(original);
    if (ret < 0 || !stillThere || !syncToDisk(temporary) || !PutInPlace(temporary, original)) {
        if (ret != AVERROR_EXIT && stillThere)
            qCWarning(lcVfw, "%s: cannot repair: %s", path.c_str(),
                      ret < 0 ? avErrorText(ret).c_str() : "not replaced");
        QFile::remove(temporary);
        return RepairResult::Failed;
    }
    return RepairResult::Repaired;
}

}  // namespace zelq
