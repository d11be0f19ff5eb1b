#pragma once
// The sound of one media file for playing out: libavformat reads the file (a reader of its own, apart
// from the picture's, so neither waits for the other), libavcodec decodes its best sound stream and
// libswresample turns it into the output format of platform/sound/soundformat.h.
//
// A file without sound, or with sound no decoder here understands, has no reader: its picture plays
// alone. Not thread-safe: used by the sound feeder's thread alone.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/raii.h"

struct SwrContext;

namespace zelq {

class SoundReader {
public:
    // The reader, or null when the file has no sound this player can play.
    static std::unique_ptr<SoundReader> open(const std::filesystem::path& path);
    ~SoundReader();

    // Appends the next decoded frames (interleaved stereo at 48 kHz) to `out` and gives the media time of
    // the first of them, in seconds from the stream's start. False at the end of the stream (or on an
    // error, which ends it too).
    bool decodeNext(std::vector<std::int16_t>& out, double& seconds);
    // The next frame as the decoder gives it (its own rate, layout and sample format), for a reader that
    // converts it itself; `seconds` as decodeNext gives it. Null at the end of the stream.
    AvFramePtr decodeNextFrame(double& seconds);
    const AVCodecContext& decoder() const { return *decoder_; }
    AVRational timeBase() const;
    // Goes to the frame at or before `seconds`; what precedes `seconds` is the caller's to leave out.
    void seek(double seconds);

private:
    SoundReader() = default;

    AvInputContextPtr ctx_;
    AvCodecContextPtr decoder_;
    AvPacketPtr packet_;
    AvFramePtr frame_;
    SwrContext* resampler_ = nullptr;
    int index_ = -1;
    double start_ = 0;
    bool draining_ = false;
};

}  // namespace zelq
