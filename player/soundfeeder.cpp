#include "player/soundfeeder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/sound/soundformat.h"

namespace zelq {

namespace {

// The queue is topped up to this: ahead enough for a busy machine, and the output holds two seconds.
constexpr std::int64_t kAhead = sound::kRate;
// A piece more than this off the place where the one before ended is put at its own time instead.
constexpr std::int64_t kSlack = sound::kRate * 40 / 1000;

}  // namespace

std::unique_ptr<SoundFeeder> SoundFeeder::open(const std::filesystem::path& path, double seconds) {
    std::unique_ptr<SoundReader> reader = SoundReader::open(path);
    if (!reader)
        return nullptr;
    if (seconds > 0)
        reader->seek(seconds);
    return std::unique_ptr<SoundFeeder>(new SoundFeeder(std::move(reader), std::max(seconds, 0.0)));
}

SoundFeeder::SoundFeeder(std::unique_ptr<SoundReader> reader, double seconds)
    : reader_(std::move(reader)), start_(seconds), thread_([this] { feed(); }) {}

SoundFeeder::~SoundFeeder() {
    quit_ = true;
    thread_.join();
}

void SoundFeeder::feed() {
    // The file's frame that the next one handed to the output stands for, silence included.
    std::int64_t queued = std::llround(start_ * sound::kRate);
    std::vector<std::int16_t> piece;
    std::size_t offset = 0;  // samples of `piece` already handed over
    bool ended = false;
    bool firstPiece = true;
    while (!quit_ && !output_.failed()) {
        if (offset >= piece.size() && !ended) {
            piece.clear();
            offset = 0;
            double seconds = -1;
            if (!reader_->decodeNext(piece, seconds)) {
                ended = true;
                continue;
            }
            const std::int64_t at = seconds < 0 ? queued : std::llround(seconds * sound::kRate);
            const bool first = std::exchange(firstPiece, false);
            if (at > queued + kSlack) {
                // Silence up to the piece's own time, in front of it.
                piece.insert(piece.begin(), static_cast<std::size_t>((at - queued) * sound::kChannels), 0);
            } else if (at < queued - kSlack || (first && at < queued)) {
                // Already past (or before the time this feeder starts at): what is late is left out, so
                // the sound never falls behind its time.
                const auto late = static_cast<std::size_t>((queued - at) * sound::kChannels);
                offset = std::min(late, piece.size());
            }
        }
        if (offset < piece.size() && output_.queued() < kAhead) {
            const auto frames = static_cast<std::int64_t>((piece.size() - offset) / sound::kChannels);
            const std::int64_t taken = output_.queue(piece.data() + offset, frames);
            offset += static_cast<std::size_t>(taken * sound::kChannels);
            queued += taken;
            continue;
        }
        // Full, or nothing left to decode: wait for the device to take some.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace zelq
