#pragma once
// Owning handles for the C objects of FFmpeg and xcb. Every such object the program creates is held by
// one of these from the moment it exists, so that every path out of a function releases it.

#include <cstdlib>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
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
        if (p && p->pb && !(p->oformat->flags & AVFMT_NOFILE)) avio_closep(&p->pb);
        avformat_free_context(p);
    }
};

using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using AvInputContextPtr = std::unique_ptr<AVFormatContext, AvInputContextDeleter>;
using AvOutputContextPtr = std::unique_ptr<AVFormatContext, AvOutputContextDeleter>;

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

// av_err2str is a macro built on a compound literal, which C++ does not have.
inline std::string avErrorText(int errnum) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errnum, buf, sizeof buf);
    return buf;
}

}  // namespace zelq
