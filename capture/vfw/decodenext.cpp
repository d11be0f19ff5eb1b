#include "capture/vfw/decodenext.h"

namespace zelq {

AvFramePtr decodeNextFrame(AVFormatContext& ctx, AVCodecContext& decoder, AVPacket& packet, int index,
                           bool& draining, const std::function<void(const char* fault, int error)>& report) {
    const auto tell = [&](const char* fault, int error) {
        if (report)
            report(fault, error);
    };
    AvFramePtr frame(av_frame_alloc());
    if (!frame)
        return nullptr;
    for (;;) {
        int ret = avcodec_receive_frame(&decoder, frame.get());
        if (ret == 0)
            return frame;
        if (ret == AVERROR_EOF)
            return nullptr;
        if (ret != AVERROR(EAGAIN)) {
            tell("decoding failed", ret);
            return nullptr;
        }
        if (draining)
            return nullptr;
        ret = av_read_frame(&ctx, &packet);
        if (ret < 0) {
            if (ret != AVERROR_EOF)
                tell("reading stopped", ret);
            draining = true;
            avcodec_send_packet(&decoder, nullptr);
            continue;
        }
        if (packet.stream_index == index && packet.size > 0) {
            ret = avcodec_send_packet(&decoder, &packet);
            if (ret < 0)
                tell("a damaged frame was skipped", ret);
        }
        av_packet_unref(&packet);
    }
}

}  // namespace zelq
