#include "capture/vfw/localavi.h"

#include <string>
#include <system_error>

namespace zelq {

int openLocalAvi(const std::filesystem::path& path, AvInputContextPtr& out) {
    out.reset();
    // A FIFO, a socket or a device named .avi would block the open or read something that never ends:
    // only regular files (also through a link) are recordings.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return ec ? AVERROR(ec.value()) : AVERROR_INVALIDDATA;
    const AVInputFormat* avi = av_find_input_format("avi");
    if (!avi)
        return AVERROR_DEMUXER_NOT_FOUND;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return AVERROR(ENOMEM);
    // The whitelists bind the context and anything it would open on the file's word.
    raw->protocol_whitelist = av_strdup("file");
    raw->format_whitelist = av_strdup("avi");
    if (!raw->protocol_whitelist || !raw->format_whitelist) {
        avformat_free_context(raw);
        return AVERROR(ENOMEM);
    }
    // "file:" in front, so that a name such as "http:x.avi" or "concat:a|b" is read as the file it is.
    const std::string url = "file:" + path.string();
    const int ret = avformat_open_input(&raw, url.c_str(), avi, nullptr);  // frees the context on failure
    if (ret >= 0)
        out.reset(raw);
    return ret;
}

}  // namespace zelq
