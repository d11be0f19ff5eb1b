#pragma once
// The sound stream of a recording: made beside the video stream when the user chose sound, fed from the
// desktop's sound server (platform/sound) and written a chunk at a time beside the frames, on the
// recording's clock: its first frame at the video's first position, silence wherever nothing was
// captured, and at the end exactly as long as the video.
//
// Thread rules: made and finished by the recording worker; writeSettled() runs on the frame writer's
// thread, before each frame. The file is only ever written by one of them at a time (the frame writer has
// finished before finish() is called).

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "capture/vfw/avifile.h"
#include "platform/sound/soundcapture.h"

namespace zelq {

class SoundTrack {
public:
    // Adds the sound stream to `file` (before anything is written) and begins connecting to the server.
    // AVIERR_OK, or the code of the AVI call that failed; the recording then fails as for its video.
    static HRESULT create(const PAVIFILE& file, sound::SoundChoice choice, sound::SoundCapture::Notice notice,
                          std::unique_ptr<SoundTrack>& out);

    // The moment of the recording's first position.
    void start(std::chrono::steady_clock::time_point origin);
    // The recording pauses and resumes at these moments: the sound between is left out.
    void pause(std::chrono::steady_clock::time_point at) { capture_->pause(at); }
    void resume(std::chrono::steady_clock::time_point at) { capture_->resume(at); }
    // Writes what the server has delivered (or what has stalled long enough to be silence) since the
    // last chunk, up to `limit` frames at most (the end of the frame about to be written: the sound never
    // runs past the video). AVIERR_OK or the write's failure.
    HRESULT writeSettled(std::int64_t limit);
    // Writes the rest up to `frames` (the video's length in sound frames), waiting at most the time a
    // source may stall for sound still on its way.
    HRESULT finish(std::int64_t frames);

private:
    SoundTrack() = default;
    HRESULT writeUpTo(std::int64_t end);

    PAVISTREAM stream_;
    std::unique_ptr<sound::SoundCapture> capture_;
    std::vector<std::int16_t> chunk_;
    std::int64_t written_ = 0;
    bool started_ = false;
};

// The sound frames that `positions` video positions at `rate` per second last.
std::int64_t soundFramesFor(std::int64_t positions, int rate);

}  // namespace zelq
