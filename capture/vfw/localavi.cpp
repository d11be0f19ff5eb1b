#include "capture/vfw/localavi.h"

#include <string>

namespace zelq {

int openLocalAvi(const std::filesystem::path& path, AvInputContextPtr& out) {
    out.reset();
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
