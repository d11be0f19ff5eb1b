#include "common/tonespeaker.h"

#include <chrono>
#include <cmath>
#include <cstdint>

#include "platform/sound/soundformat.h"

namespace soundsync {

namespace {

// What the server holds ahead of the device, and what the feeder keeps queued beyond that (under
// SoundOutput's room): well over any stall a busy machine has shown.
constexpr int kServerAheadMs = 1000;
constexpr std::int64_t kAhead = zelq::sound::kRate * 3 / 2;
constexpr std::int64_t kChunk = zelq::sound::kRate / 10;

}  // namespace

bool TonePattern::toneAt(double seconds) const {
    if (seconds < first || seconds >= end())
        return false;
    return std::fmod(seconds - first, every) < length;
}

ToneSpeaker::ToneSpeaker(TonePattern pattern) : pattern_(pattern), speaker_(kServerAheadMs) {}

ToneSpeaker::~ToneSpeaker() {
    stop_ = true;
    if (feeder_.joinable())
        feeder_.join();
}

bool ToneSpeaker::waitReady(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!speaker_.ready() && !speaker_.failed() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return speaker_.ready() && !speaker_.failed();
}

void ToneSpeaker::feed(std::int64_t frames) {
    std::vector<std::int16_t> chunk;
    chunk.reserve(static_cast<std::size_t>(frames) * 2);
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(fed_ + i) / zelq::sound::kRate;
        const auto s =
            static_cast<std::int16_t>(pattern_.toneAt(t) ? 12000 * std::sin(2 * M_PI * 1000 * t) : 0);
        chunk.push_back(s);
        chunk.push_back(s);
    }
    fed_ += speaker_.queue(chunk.data(), frames);
}

void ToneSpeaker::start() {
    while (speaker_.queued() < kAhead) feed(kChunk);
    feeder_ = std::thread([this] {
        while (!stop_) {
            while (speaker_.queued() < kAhead) feed(kChunk);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    speaker_.setRunning(true);
}

std::optional<bool> ToneSpeaker::turn() {
    const std::optional<double> heard = speaker_.heard();
    if (!heard)
        return std::nullopt;
    const double next = pattern_.first + static_cast<double>(asked_.size()) * pattern_.every;
    // Dark again a tone's length after it was shown, not after the tone ended: a marker shown late (this
    // thread kept waiting that long on a busy machine) would otherwise be bright for no picture at all.
    if (bright_ && *heard >= askedAt_ + pattern_.length)
        bright_ = false;
    else if (!bright_ && static_cast<int>(asked_.size()) < pattern_.count && *heard >= next)
        bright_ = true;
    else
        return std::nullopt;
    if (bright_)
        askedAt_ = *heard;
    return bright_;
}

void ToneSpeaker::markShown() {
    asked_.push_back(askedAt_);
    drawn_.push_back(speaker_.heard().value_or(askedAt_));
    stillAt_.push_back(speaker_.stoodStill());
}

std::vector<soundprobe::Span> ToneSpeaker::shownLate() const {
    std::vector<soundprobe::Span> late;
    for (std::size_t i = 0; i < asked_.size(); ++i) {
        const double tone = pattern_.first + static_cast<double>(i) * pattern_.every;
        // The server reports every second and a half at most, two flashes on: a standstill before this
        // flash is told by then.
        const double stillAfter =
            (i + 2 < stillAt_.size() ? stillAt_[i + 2] : speaker_.stoodStill()) - stillAt_[i];
        late.push_back({asked_[i] - stillAfter - tone, drawn_[i] - tone});
    }
    return late;
}

bool ToneSpeaker::finished() const {
    const std::optional<double> heard = speaker_.heard();
    return heard && *heard > pattern_.end() + 0.5;
}

}  // namespace soundsync
