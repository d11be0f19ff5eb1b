#include "platform/sound/soundtimeline.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/sound/soundformat.h"

namespace zelq::sound {

// Off by default: a long recording's jumps and corrections, each with where it happened, for whoever
// asks why the sound and the picture parted (QT_LOGGING_RULES="zelq.sound.timeline.debug=true").
Q_LOGGING_CATEGORY(lcTimeline, "zelq.sound.timeline", QtWarningMsg)

namespace {

// Differences seen before the measured one is trusted: a quarter of a second of chunks.
constexpr std::size_t kTrusted = 25;

// A correction changes a chunk's length by at most this part of it: 2 %, a pitch nobody hears move for
// the tenth of a second that an 8 ms correction takes, and four times the fastest drift of a device.
constexpr std::int64_t kSlewPart = 50;

// `frames` interleaved frames laid over `length` frames by linear interpolation, into `out`.
void stretch(const std::int16_t* in, std::int64_t frames, std::int64_t length, std::vector<std::int16_t>& out) {
    out.resize(static_cast<std::size_t>(length * kChannels));
    for (std::int64_t j = 0; j < length; ++j) {
        const double at = static_cast<double>(j) * static_cast<double>(frames - 1) / static_cast<double>(std::max<std::int64_t>(length - 1, 1));
        const auto i = std::min(static_cast<std::int64_t>(at), frames - 1);
        const std::int64_t k = std::min(i + 1, frames - 1);
        const double w = at - static_cast<double>(i);
        for (int c = 0; c < kChannels; ++c)
            out[static_cast<std::size_t>(j * kChannels + c)] = static_cast<std::int16_t>(
                std::lround((1 - w) * in[i * kChannels + c] + w * in[k * kChannels + c]));
    }
}

std::int16_t saturate(int value) {
    return static_cast<std::int16_t>(std::clamp(value,
                                                static_cast<int>(std::numeric_limits<std::int16_t>::min()),
                                                static_cast<int>(std::numeric_limits<std::int16_t>::max())));
}

}  // namespace

void SoundTimeline::add(std::int64_t stamp, const std::int16_t* samples, std::int64_t frames) {
    if (frames <= 0)
        return;
    if (!started_) {
        started_ = true;
        next_ = stamp;
    } else {
        // Measured from where the timeline is heading, the correction still to come included.
        const std::int64_t difference = stamp - (next_ + pending_);
        if (difference > kJump || difference < -kJump) {
            qCDebug(lcTimeline, "at %.3f s: a jump of %.1f ms", static_cast<double>(stamp) / kRate,
                    static_cast<double>(difference) * 1000 / kRate);
            next_ = stamp;
            pending_ = 0;
            remembered_ = 0;
        } else {
            remember(difference);
            const std::int64_t drift = remembered_ >= kTrusted ? lowerQuartile() : 0;
            if (std::abs(drift) > kDrift) {
                qCDebug(lcTimeline, "at %.3f s: %.1f ms of drift to take up",
                        static_cast<double>(stamp) / kRate, static_cast<double>(drift) * 1000 / kRate);
                pending_ += drift;
                // The differences remembered were measured from where the timeline was heading.
                for (std::size_t i = 0; i < remembered_; ++i) differences_[i] -= drift;
            }
        }
    }
    // A correction is taken up a little at a time, each chunk laid a few frames longer or shorter: a
    // jump would leave a gap of silence, or cut sound out, that a listener hears as a click.
    const std::int64_t step = std::clamp(pending_, -frames / kSlewPart, frames / kSlewPart);
    if (step != 0) {
        pending_ -= step;
        stretch(samples, frames, frames + step, stretched_);
        samples = stretched_.data();
        frames += step;
    }
    std::int64_t at = next_;
    next_ += frames;
    if (at < base_) {
        const std::int64_t dropped = std::min(frames, base_ - at);
        samples += dropped * kChannels;
        frames -= dropped;
        at = base_;
    }
    if (frames <= 0)
        return;
    const auto offset = static_cast<std::size_t>((at - base_) * kChannels);
    const auto count = static_cast<std::size_t>(frames * kChannels);
    if (samples_.size() < offset + count)
        samples_.resize(offset + count, 0);
    // Over what was there: after a jump back the later capture is the one that counts.
    std::copy(samples, samples + count, samples_.begin() + static_cast<std::ptrdiff_t>(offset));
}

void SoundTimeline::remember(std::int64_t difference) {
    if (remembered_ < kWindow) {
        differences_[remembered_++] = difference;
    } else {
        differences_[oldest_] = difference;
        oldest_ = (oldest_ + 1) % kWindow;
    }
}

std::int64_t SoundTimeline::lowerQuartile() const {
    std::array<std::int64_t, kWindow> sorted = differences_;
    const auto end = sorted.begin() + static_cast<std::ptrdiff_t>(remembered_);
    const auto quartile = sorted.begin() + static_cast<std::ptrdiff_t>(remembered_ / 4);
    std::nth_element(sorted.begin(), quartile, end);
    return *quartile;
}

void SoundTimeline::mixInto(std::int64_t from, std::int64_t frames, std::int16_t* out) {
    const std::int64_t until = from + frames;
    for (std::int64_t pos = std::max(from, base_); pos < until; ++pos) {
        const auto index = static_cast<std::size_t>((pos - base_) * kChannels);
        if (index >= samples_.size())
            break;
        for (int c = 0; c < kChannels; ++c) {
            std::int16_t& o = out[(pos - from) * kChannels + c];
            o = saturate(o + samples_[index + static_cast<std::size_t>(c)]);
        }
    }
    if (until > base_) {
        const auto forget = static_cast<std::size_t>((until - base_) * kChannels);
        samples_.erase(samples_.begin(),
                       samples_.begin() + static_cast<std::ptrdiff_t>(std::min(forget, samples_.size())));
        base_ = until;
    }
}

}  // namespace zelq::sound
