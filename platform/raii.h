#pragma once
// Owning handles for the C objects of FFmpeg and xcb. Every such object the program creates is held by
// one of these from the moment it exists, so that every path out of a function releases it.

#include <sys/shm.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
}

namespace zelq {

struct AvCodecContextDeleter {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct AvFrameDeleter {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct AvPacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
// An input context opened with avformat_open_input.
struct AvInputContextDeleter {
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
// An output context from avformat_alloc_output_context2; its I/O is closed by whoever opened it.
struct AvOutputContextDeleter {
    void operator()(AVFormatContext* p) const {
        if (p && p->pb && !(p->oformat->flags & AVFMT_NOFILE))
            avio_closep(&p->pb);
        avformat_free_context(p);
    }
};

// A filter graph, with every filter in it; and the open ends handed to avfilter_graph_parse_ptr.
struct AvFilterGraphDeleter {
    void operator()(AVFilterGraph* p) const { avfilter_graph_free(&p); }
};
struct AvFilterInOutDeleter {
    void operator()(AVFilterInOut* p) const { avfilter_inout_free(&p); }
};

using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using AvInputContextPtr = std::unique_ptr<AVFormatContext, AvInputContextDeleter>;
using AvOutputContextPtr = std::unique_ptr<AVFormatContext, AvOutputContextDeleter>;
using AvFilterGraphPtr = std::unique_ptr<AVFilterGraph, AvFilterGraphDeleter>;
using AvFilterInOutPtr = std::unique_ptr<AVFilterInOut, AvFilterInOutDeleter>;

// An options dictionary. FFmpeg calls take the address of `dict` to add entries and to take theirs out.
struct AvDictionary {
    AVDictionary* dict = nullptr;
    AvDictionary() = default;
    AvDictionary(const AvDictionary&) = delete;
    AvDictionary& operator=(const AvDictionary&) = delete;
    ~AvDictionary() { av_dict_free(&dict); }
};

// xcb replies are malloc'ed by the library and released with free().
struct XcbReplyDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename Reply>
using XcbReply = std::unique_ptr<Reply, XcbReplyDeleter>;

struct XcbConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnectionPtr = std::unique_ptr<xcb_connection_t, XcbConnectionDeleter>;

// A System V shared-memory segment mapped into this process, the buffer the X server writes screen images
// into. The segment is marked for removal as soon as the server has attached it too (or when this owner
// goes), so that the kernel frees it once both sides detach, even if the process dies without unwinding.
class SharedMemorySegment {
public:
    SharedMemorySegment() = default;
    // Invalid (valid() false) when the system refuses the segment.
    explicit SharedMemorySegment(std::size_t size) {
        id_ = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id_ < 0)
            return;
        void* addr = shmat(id_, nullptr, 0);
        if (addr == reinterpret_cast<void*>(-1)) {
            markForRemoval();
            id_ = -1;
            return;
        }
        addr_ = addr;
        size_ = size;
    }
    SharedMemorySegment(SharedMemorySegment&& other) noexcept { swap(other); }
    SharedMemorySegment& operator=(SharedMemorySegment&& other) noexcept {
        SharedMemorySegment gone(std::move(other));
        swap(gone);
        return *this;
    }
    ~SharedMemorySegment() {
        if (addr_)
            shmdt(addr_);
        markForRemoval();
    }

    bool valid() const { return addr_ != nullptr; }
    int id() const { return id_; }
    void* data() const { return addr_; }
    std::size_t size() const { return size_; }
    // Safe once every process that needs the segment has attached it: it lives until the last detach.
    void markForRemoval() {
        if (id_ >= 0 && !removed_)
            shmctl(id_, IPC_RMID, nullptr);
        removed_ = true;
    }

private:
    void swap(SharedMemorySegment& other) noexcept {
        std::swap(id_, other.id_);
        std::swap(addr_, other.addr_);
        std::swap(size_, other.size_);
        std::swap(removed_, other.removed_);
    }
    int id_ = -1;
    void* addr_ = nullptr;
    std::size_t size_ = 0;
    bool removed_ = false;
};

// The X server's attachment of a shared-memory segment (MIT-SHM), detached when the owner goes. The
// connection must outlive the owner.
class XcbShmAttachment {
public:
    XcbShmAttachment() = default;
    XcbShmAttachment(xcb_connection_t* connection, xcb_shm_seg_t seg) : connection_(connection), seg_(seg) {}
    XcbShmAttachment(XcbShmAttachment&& other) noexcept
        : connection_(std::exchange(other.connection_, nullptr)), seg_(other.seg_) {}
    XcbShmAttachment& operator=(XcbShmAttachment&& other) noexcept {
        XcbShmAttachment gone(std::move(other));
        std::swap(connection_, gone.connection_);
        std::swap(seg_, gone.seg_);
        return *this;
    }
    ~XcbShmAttachment() {
        if (connection_) {
            xcb_shm_detach(connection_, seg_);
            xcb_flush(connection_);
        }
    }

    bool valid() const { return connection_ != nullptr; }
    xcb_shm_seg_t seg() const { return seg_; }

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_shm_seg_t seg_ = 0;
};

// av_err2str is a macro built on a compound literal, which C++ does not have.
inline std::string avErrorText(int errnum) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errnum, buf, sizeof buf);
    return buf;
}

}  // namespace zelq
