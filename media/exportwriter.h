#pragma once
// The output side of an export: one file, its muxer, and an encoder per stream, driven in the sequence of
// FFmpeg's encoding examples (send a frame, receive packets until EAGAIN, rescale their times, write them
// interleaved; a null frame flushes; the trailer closes the file). Not thread-safe: one export's thread.

#include <string>
#include <vector>

#include "platform/raii.h"

namespace zelq {

// An encoder and the settings it is opened with.
struct EncoderChoice {
    const char* name = nullptr;                                // libavcodec's name: "libx264", "aac", …
    std::vector<std::pair<std::string, std::string>> options;  // its private options: preset, crf, …
    std::int64_t bitRate = 0;
};

class ExportWriter {
public:
    // A muxer of `formatName` ("mp4", "webm", "gif") writing to `path`. Negative AVERROR on failure.
    int open(const char* formatName, const std::string& path);

    // A picture stream; its frames come with times in `timeBase`. The stream index, or a negative AVERROR
    // (AVERROR_ENCODER_NOT_FOUND when this FFmpeg has no such encoder).
    int addVideo(const EncoderChoice& choice, int width, int height, AVPixelFormat format,
                 AVRational frameRate, bool bt709);
    // A sound stream at 48 kHz stereo in `format`.
    int addAudio(const EncoderChoice& choice, AVSampleFormat format, int sampleRate);
    // The samples each frame handed to the sound encoder must have (0: any number).
    int audioFrameSize(int stream) const;
    AVRational encoderTimeBase(int stream) const;

    // Writes the header with the muxer's `options` ("movflags" …).
    int begin(const std::vector<std::pair<std::string, std::string>>& options);
    // Encodes `frame` (times in the stream's encoder time base) or, with null, flushes the stream.
    int encode(int stream, AVFrame* frame);
    int finish();

    const std::string& error() const { return error_; }

private:
    // The encoder `choice` names, not yet opened; the caller hands it to addStream, which owns it then.
    int allocEncoder(const EncoderChoice& choice, AVCodecContext*& out);
    int addStream(AVCodecContext* encoder, const EncoderChoice& choice);
    int fail(const std::string& what, int ret);

    AvOutputContextPtr ctx_;
    std::vector<AvCodecContextPtr> encoders_;
    AvPacketPtr packet_;
    std::string error_;
};

}  // namespace zelq
