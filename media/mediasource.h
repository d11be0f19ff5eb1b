#pragma once
// The video of one media file: libavformat reads it, libavcodec decodes its first video stream. Any other
// streams (sound, subtitles) are discarded by this demuxer; the sound is read apart (soundreader.h), so a
// file whose sound cannot be played still plays its picture.
//
// Positions are the stream's own ticks (its time base: 1/rate for our recordings, so a tick is a frame
// position). A position with no frame of its own (an empty position of our recordings) simply has no
// decoded picture: the one before it stands until the next one is due.
//
// Not thread-safe: opened on the UI thread, then used by the decoding worker alone.

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/raii.h"

namespace zelq {

// Why a file could not be opened; each reader tells it in its own words (the player as its device errors).
enum class MediaOpen { Ok, NotFound, Invalid, OutOfMemory };

class MediaSource {
public:
    // Ok and the source, or the reason and no source.
    static MediaOpen open(const std::filesystem::path& path, std::unique_ptr<MediaSource>& out);

    // The picture size (for our recordings coded larger than their picture, the picture's own size).
    int width() const { return width_; }
    int height() const { return height_; }
    AVRational timeBase() const { return timeBase_; }
    std::int64_t start() const { return start_; }
    // Ticks from start() to the end of the stream, empty positions included; 0 when the file does not
    // say (the end is then known only once it is reached).
    std::int64_t length() const { return length_; }
    // Ticks the header promises (its frame count), which a file cut short no longer holds; 0 when it
    // does not say.
    std::int64_t promised() const { return promised_; }
    // Ticks one frame lasts, from the stream's frame rate (1 for our recordings).
    std::int64_t frameTicks() const { return frameTicks_; }

    // The next decoded frame, or null at the end of the stream (or on a read error, which ends it too).
    // The frame's position from start() is in `position`.
    AvFramePtr decodeNext(std::int64_t& position);
    // How many times reading or decoding met a fault (a damaged frame skipped, reading stopped early).
    int faults() const { return faults_; }
    // Back to the first frame. False when the file cannot seek.
    bool rewind();

private:
    MediaSource() = default;
    std::int64_t positionOf(const AVFrame& frame) const;

    AvInputContextPtr ctx_;
    AvCodecContextPtr decoder_;
    AvPacketPtr packet_;
    int index_ = -1;
    int width_ = 0, height_ = 0;
    AVRational timeBase_{1, 1};
    std::int64_t start_ = 0;
    std::int64_t length_ = 0;
    std::int64_t frameTicks_ = 1;
    std::int64_t promised_ = 0;
    std::int64_t lastPosition_ = -1;  // frames without a timestamp follow the one before
    bool draining_ = false;
    int faults_ = 0;
};

}  // namespace zelq
