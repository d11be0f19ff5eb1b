#include "media/filtergraph.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
}

namespace zelq {

namespace {

std::string sourceArguments(const FilterGraph::Source& s, bool sound) {
    char text[512];
    if (!sound) {
        std::snprintf(text, sizeof text, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1",
                      s.width, s.height, static_cast<int>(s.pixelFormat), s.timeBase.num, s.timeBase.den);
        return text;
    }
    char layout[128] = {};
    av_channel_layout_describe(&s.channelLayout, layout, sizeof layout);
    std::snprintf(text, sizeof text, "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s",
                  s.timeBase.num, s.timeBase.den, s.sampleRate, av_get_sample_fmt_name(s.sampleFormat),
                  layout);
    return text;
}

}  // namespace

int FilterGraph::build(const std::vector<Source>& sources, const std::string& description, bool sound,
                       int frameSize) {
    graph_.reset(avfilter_graph_alloc());
    sources_.clear();
    sink_ = nullptr;
    if (!graph_)
        return AVERROR(ENOMEM);
    const AVFilter* sourceFilter = avfilter_get_by_name(sound ? "abuffer" : "buffer");
    const AVFilter* sinkFilter = avfilter_get_by_name(sound ? "abuffersink" : "buffersink");
    if (!sourceFilter || !sinkFilter)
        return AVERROR_FILTER_NOT_FOUND;

    // The open ends of the description: its inputs are our sources' outputs, its output our sink's input.
    AVFilterInOut* outputs = nullptr;
    for (auto s = sources.rbegin(); s != sources.rend(); ++s) {
        AVFilterContext* ctx = nullptr;
        int ret = avfilter_graph_create_filter(&ctx, sourceFilter, s->name.c_str(),
                                               sourceArguments(*s, sound).c_str(), nullptr, graph_.get());
        if (ret < 0) {
            avfilter_inout_free(&outputs);
            error_ = "source " + s->name + ": " + avErrorText(ret);
            return ret;
        }
        sources_.insert(sources_.begin(), ctx);
        AVFilterInOut* end = avfilter_inout_alloc();
        if (!end) {
            avfilter_inout_free(&outputs);
            return AVERROR(ENOMEM);
        }
        end->name = av_strdup(s->name.c_str());
        end->filter_ctx = ctx;
        end->pad_idx = 0;
        end->next = outputs;
        outputs = end;
    }
    AvFilterInOutPtr outputsOwner(outputs);
    int ret = avfilter_graph_create_filter(&sink_, sinkFilter, "out", nullptr, nullptr, graph_.get());
    if (ret < 0)
        return ret;
    AvFilterInOutPtr inputsOwner(avfilter_inout_alloc());
    if (!inputsOwner)
        return AVERROR(ENOMEM);
    inputsOwner->name = av_strdup("out");
    inputsOwner->filter_ctx = sink_;
    inputsOwner->pad_idx = 0;
    inputsOwner->next = nullptr;

    AVFilterInOut* in = inputsOwner.release();
    AVFilterInOut* out = outputsOwner.release();
    ret = avfilter_graph_parse_ptr(graph_.get(), description.c_str(), &in, &out, nullptr);
    inputsOwner.reset(in);  // whatever the parser left unlinked
    outputsOwner.reset(out);
    if (ret >= 0)
        ret = avfilter_graph_config(graph_.get(), nullptr);
    if (ret < 0) {
        error_ = "\"" + description + "\": " + avErrorText(ret);
        return ret;
    }
    if (sound && frameSize > 0)
        av_buffersink_set_frame_size(sink_, static_cast<unsigned>(frameSize));
    return 0;
}

int FilterGraph::push(std::size_t index, AVFrame* frame) {
    return av_buffersrc_add_frame_flags(sources_.at(index), frame, 0);
}

int FilterGraph::close(std::size_t index, std::int64_t endPts) {
    return av_buffersrc_close(sources_.at(index), endPts, AV_BUFFERSRC_FLAG_PUSH);
}

int FilterGraph::pull(AVFrame* frame) {
    return av_buffersink_get_frame(sink_, frame);
}

AVRational FilterGraph::outputTimeBase() const {
    return av_buffersink_get_time_base(sink_);
}
int FilterGraph::outputWidth() const {
    return av_buffersink_get_w(sink_);
}
int FilterGraph::outputHeight() const {
    return av_buffersink_get_h(sink_);
}
AVPixelFormat FilterGraph::outputPixelFormat() const {
    return static_cast<AVPixelFormat>(av_buffersink_get_format(sink_));
}

}  // namespace zelq
