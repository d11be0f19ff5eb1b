#pragma once
// The one sound format the program records and plays out: 16-bit signed little-endian PCM, 48 kHz,
// stereo, samples of the two channels interleaved. The sound server converts whatever a device offers
// (44.1 kHz, mono, floating point) to this, so nothing past the server ever sees another format.

#include <cstdint>

namespace zelq::sound {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kBytesPerFrame = kChannels * 2;  // a frame: one sample of each channel

// Frames in `ms` milliseconds.
constexpr std::int64_t framesIn(std::int64_t ms) {
    return ms * kRate / 1000;
}

}  // namespace zelq::sound
