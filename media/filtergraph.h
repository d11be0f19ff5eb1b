#pragma once
// One libavfilter graph with named sources and one sink: frames in, frames out, in FFmpeg's own
// filtering sequence (push, then pull until EAGAIN; close a source with its end time; pull to EOF).
// Not thread-safe: built and used by one thread.

#include <string>
#include <vector>

#include "platform/raii.h"

namespace zelq {

class FilterGraph {
public:
    // What a source is fed: pictures or sound, with the properties every frame pushed into it has.
    struct Source {
        std::string name;  // the label the description uses: "in", "pal"
        AVRational timeBase;
        // pictures
        int width = 0, height = 0;
        AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
        // sound
        int sampleRate = 0;
        AVSampleFormat sampleFormat = AV_SAMPLE_FMT_NONE;
        AVChannelLayout channelLayout{};
    };

    // The graph of `description`, which reads the sources by their labels and ends in the label "out".
    // `frameSize` (sound only): every frame pulled has that many samples, the last one excepted.
    // Negative AVERROR when the graph cannot be built.
    int build(const std::vector<Source>& sources, const std::string& description, bool sound,
              int frameSize = 0);

    // Hands a frame to source `index` (the frame is left empty).
    int push(std::size_t index, AVFrame* frame);
    // Tells source `index` that its stream ends at `endPts` (in its time base).
    int close(std::size_t index, std::int64_t endPts);
    // The next frame out: 0, AVERROR(EAGAIN) when more input is needed, AVERROR_EOF at the end.
    int pull(AVFrame* frame);

    AVRational outputTimeBase() const;
    int outputWidth() const;
    int outputHeight() const;
    AVPixelFormat outputPixelFormat() const;
    // What a failure was, in FFmpeg's words, for the log.
    const std::string& error() const { return error_; }

private:
    AvFilterGraphPtr graph_;
    std::vector<AVFilterContext*> sources_;  // owned by graph_
    AVFilterContext* sink_ = nullptr;        // owned by graph_
    std::string error_;
};

}  // namespace zelq
