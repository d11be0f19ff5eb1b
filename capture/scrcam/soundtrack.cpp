#include "capture/scrcam/soundtrack.h"

#include <thread>

#include "platform/sound/soundformat.h"

namespace zelq {

using namespace std::chrono_literals;

HRESULT SoundTrack::create(const PAVIFILE& file, sound::SoundChoice choice,
                           sound::SoundCapture::Notice notice, std::unique_ptr<SoundTrack>& out) {
    const WaveFormatEx format = pcmWaveFormat(sound::kChannels, sound::kRate, 16);
    AVISTREAMINFO info;
    info.fccType = streamtypeAUDIO;
    info.dwScale = format.nBlockAlign;
    info.dwRate = format.nAvgBytesPerSec;
    info.dwSampleSize = format.nBlockAlign;
    std::unique_ptr<SoundTrack> track(new SoundTrack);
    HRESULT hr = AVIFileCreateStream(file, track->stream_, info);
    if (hr == AVIERR_OK)
        hr = AVIStreamSetFormat(track->stream_, 0, &format, static_cast<LONG>(sizeof format));
    if (hr != AVIERR_OK)
        return hr;
    track->capture_ = std::make_unique<sound::SoundCapture>(choice, std::move(notice));
    out = std::move(track);
    return AVIERR_OK;
}

void SoundTrack::start(std::chrono::steady_clock::time_point origin) {
    capture_->setOrigin(origin);
    started_ = true;
}

HRESULT SoundTrack::writeUpTo(std::int64_t end) {
    // A chunk at most a few seconds long, so that a long stall is not one huge allocation.
    constexpr std::int64_t kMostFrames = sound::kRate * 4;
    while (written_ < end) {
        const std::int64_t frames = std::min(end - written_, kMostFrames);
        chunk_.resize(static_cast<std::size_t>(frames * sound::kChannels));
        capture_->take(written_, frames, chunk_.data());
        const HRESULT hr =
            AVIStreamWrite(stream_, static_cast<LONG>(written_), static_cast<LONG>(frames), chunk_.data(),
                           static_cast<LONG>(frames * sound::kBytesPerFrame), 0);
        if (hr != AVIERR_OK)
            return hr;
        written_ += frames;
    }
    return AVIERR_OK;
}

HRESULT SoundTrack::writeSettled(std::int64_t limit) {
    if (!started_)
        return AVIERR_OK;
    const std::int64_t now = capture_->framesAt(std::chrono::steady_clock::now());
    return writeUpTo(std::min(limit, capture_->settled(now)));
}

HRESULT SoundTrack::finish(std::int64_t frames) {
    if (started_) {
        // Sound of the last positions may still be on its way from the server; it is waited for as long
        // as a source may stall, no longer.
        const auto until =
            std::chrono::steady_clock::now() +
            std::chrono::milliseconds(sound::SoundCapture::kStallFrames * 1000 / sound::kRate) + 100ms;
        while (std::chrono::steady_clock::now() < until &&
               capture_->settled(capture_->framesAt(std::chrono::steady_clock::now())) < frames)
            std::this_thread::sleep_for(10ms);
    }
    return writeUpTo(frames);
}

std::int64_t soundFramesFor(std::int64_t positions, int rate) {
    return rate > 0 ? positions * sound::kRate / rate : 0;
}

}  // namespace zelq
