#include "player/playerdevice.h"

#include <algorithm>
#include <cmath>

#include "player/videosink.h"

namespace zelq {

namespace {

// A destination side is never larger than this: the picture pool holds pictures of the destination's
// size, and a mistaken rectangle must not claim gigabytes.
constexpr int kMaxDestinationSide = 8192;

}  // namespace

PlayerDevice::PlayerDevice(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PlayerDevice::present);
}

PlayerDevice::~PlayerDevice() { close(); }

MCIERROR PlayerDevice::open(const std::filesystem::path& element) {
    close();
    std::unique_ptr<MediaSource> source;
    switch (MediaSource::open(element, source)) {
    case MediaOpen::Ok: break;
    case MediaOpen::NotFound: return MCIERR_FILE_NOT_FOUND;
    case MediaOpen::Invalid: return MCIERR_INVALID_FILE;
    case MediaOpen::OutOfMemory: return MCIERR_OUT_OF_MEMORY;
    }
    natural_ = QSize(source->width(), source->height());
    timeBase_ = source->timeBase();
    frameTicks_ = source->frameTicks();
    length_ = source->length();
    destination_ = QRect(QPoint(0, 0), natural_);
    mode_ = Mode::Stopped;
    position_ = 0;
    clockTicks_ = 0;
    atEnd_ = false;
    showNext_ = true;
    stats_ = {};
    element_ = element;
    // Made now so that its first sound is decoded and waiting when the play starts.
    sound_ = SoundFeeder::open(element, 0);
    hasSound_ = sound_ != nullptr;
    // The worker's notices are posted to this object; the worker is joined before this object goes, and
    // Qt drops what is still posted to an object that is gone.
    worker_ = std::make_unique<DecodeWorker>(std::move(source), natural_.width(), natural_.height(), [this] {
        QMetaObject::invokeMethod(this, &PlayerDevice::pictureReady, Qt::QueuedConnection);
    });
    return MMSYSERR_NOERROR;
}

MCIERROR PlayerDevice::window(VideoSink* display) {
    if (!isOpen())
        return MCIERR_INVALID_DEVICE_ID;
    display_ = display;
    if (display_)
        display_->pictureChanged();
    return MMSYSERR_NOERROR;
}

MCIERROR PlayerDevice::putDestination(const QRect& rect) {
    if (!isOpen())
        return MCIERR_INVALID_DEVICE_ID;
    destination_ = QRect(rect.topLeft(), QSize(std::clamp(rect.width(), 1, kMaxDestinationSide),
                                               std::clamp(rect.height(), 1, kMaxDestinationSide)));
    worker_->setSize(destination_.width(), destination_.height());
    if (display_)
        display_->pictureChanged();
    return MMSYSERR_NOERROR;
}

MCIERROR PlayerDevice::play(bool notify) {
    if (!isOpen())
        return MCIERR_INVALID_DEVICE_ID;
    if (notifyPending_ && notify)
        endNotice(MCI_NOTIFY_SUPERSEDED);
    notifyPending_ = notifyPending_ || notify;
    if (atEnd_) {
        // Nothing left to play from the end: done at once. Going back first is the caller's choice.
        endNotice(MCI_NOTIFY_SUCCESSFUL);
        return MMSYSERR_NOERROR;
    }
    if (mode_ == Mode::Playing)
        return MMSYSERR_NOERROR;
    mode_ = Mode::Playing;
    anchor_ = Clock::now();
    if (hasSound_ && !sound_)
        sound_ = SoundFeeder::open(element_, clockTicks_ * timeBase_.num / timeBase_.den);
    if (sound_)
        sound_->run();
    present();
    return MMSYSERR_NOERROR;
}

MCIERROR PlayerDevice::pause() {
    if (!isOpen())
        return MCIERR_INVALID_DEVICE_ID;
    if (mode_ == Mode::Playing) {
        haltClock();
        mode_ = Mode::Paused;
    }
    return MMSYSERR_NOERROR;
}

MCIERROR PlayerDevice::resume(bool notify) {
    if (!isOpen())
        return MCIERR_INVALID_DEVICE_ID;
    if (mode_ != Mode::Paused)
        return MCIERR_NONAPPLICABLE_FUNCTION;
    return play(notify);
}

MCIERROR PlayerDevice::stop() {
    if (!isOpen())
        return MCIERR_INVALID_DEVICE_ID;
    if (mode_ == Mode::Playing)
        haltClock();
    mode_ = Mode::Stopped;
    endNotice(MCI_NOTIFY_ABORTED);
    return MMSYSERR_NOERROR;
}

MCIERROR PlayerDevice::seekToStart() {
    if (!isOpen())
        return MCIERR_INVALID_DEVICE_ID;
    stop();
    worker_->rewind();
    // The sound starts over too, ready before the next play.
    if (hasSound_)
        sound_ = SoundFeeder::open(element_, 0);
    position_ = 0;
    clockTicks_ = 0;
    atEnd_ = false;
    showNext_ = true;
    stats_ = {};
    return MMSYSERR_NOERROR;
}

MCIERROR PlayerDevice::close() {
    if (!isOpen())
        return MMSYSERR_NOERROR;
    timer_.stop();
    endNotice(MCI_NOTIFY_ABORTED);
    sound_.reset();
    worker_.reset();
    shown_.reset();
    mode_ = Mode::Stopped;
    natural_ = QSize();
    if (display_)
        display_->pictureChanged();
    display_ = nullptr;
    return MMSYSERR_NOERROR;
}

MCIERROR PlayerDevice::status(MciStatusItem item, std::uint32_t& result) const {
    if (!isOpen())
        return MCIERR_INVALID_DEVICE_ID;
    switch (item) {
        case MciStatusItem::Mode:
            result = mode_ == Mode::Playing  ? MCI_MODE_PLAY
                     : mode_ == Mode::Paused ? MCI_MODE_PAUSE
                                             : MCI_MODE_STOP;
            break;
        case MciStatusItem::Position:
            result = static_cast<std::uint32_t>(position_ / frameTicks_);
            break;
        case MciStatusItem::Length:
            result = static_cast<std::uint32_t>(length_ / frameTicks_);
            break;
    }
    return MMSYSERR_NOERROR;
}

void PlayerDevice::pictureReady() {
    if (!isOpen())
        return;
    if (mode_ == Mode::Playing) {
        if (!timer_.isActive())
            present();
        return;
    }
    // Stopped or paused after an open or a seek: the first picture goes up so the panel is not empty.
    if (showNext_) {
        const std::optional<DecodeWorker::Head> head = worker_->first();
        if (head && !head->end)
            show(worker_->popFirst(), 0);
    }
}

void PlayerDevice::present() {
    while (mode_ == Mode::Playing) {
        const std::optional<DecodeWorker::Head> head = worker_->first();
        if (!head)
            return;  // the worker's next notice brings us back
        const Clock::time_point now = Clock::now();
        const bool soundLeads = followSound(now);
        if (showNext_ && !head->end && !soundLeads) {
            // The first picture after an open or a seek starts the clock when it arrives, so the time the
            // worker needed to get going does not make every picture after it late.
            anchor_ = now;
            clockTicks_ = static_cast<double>(head->position);
        }
        const Clock::time_point due = dueTime(head->position);
        if (due > now) {
            // Rounded up to whole milliseconds, the timer's unit: never early, at most 1 ms late.
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
            timer_.start(static_cast<int>(wait.count()));
            return;
        }
        if (head->end) {
            finishAtEnd(head->position);
            return;
        }
        std::unique_ptr<Picture> picture = worker_->popFirst();
        const std::optional<DecodeWorker::Head> next = worker_->first();
        if (next && !next->end && dueTime(next->position) <= now) {
            // Late, and its successor is due already: showing it would only make the rest late too.
            worker_->recycle(std::move(picture));
            ++stats_.skipped;
            continue;
        }
        const double lateness = std::chrono::duration<double, std::milli>(now - due).count();
        stats_.worstLatenessMs = std::max(stats_.worstLatenessMs, lateness);
        show(std::move(picture), lateness);
    }
}

void PlayerDevice::show(std::unique_ptr<Picture> picture, double latenessMs) {
    position_ = picture->position;
    ++stats_.shown;
    stats_.lastLatenessMs = latenessMs;
    stats_.lastShownAt = Clock::now();
    showNext_ = false;
    if (shown_)
        worker_->recycle(std::move(shown_));
    shown_ = std::move(picture);
    if (display_)
        display_->pictureChanged();
}

void PlayerDevice::finishAtEnd(std::int64_t endPosition) {
    worker_->popFirst();  // the end mark; the worker keeps it no longer
    haltClock();
    mode_ = Mode::Stopped;
    position_ = std::max(endPosition, position_);
    // The length is now known from the frames themselves, whatever the header said: at the end the
    // position and the length agree, so a play from here goes back to the start.
    length_ = position_;
    atEnd_ = true;
    endNotice(MCI_NOTIFY_SUCCESSFUL);
}

void PlayerDevice::haltClock() {
    followSound(Clock::now());
    clockTicks_ = mediaNow();
    timer_.stop();
    // A new feeder takes over from here at the next play.
    sound_.reset();
}

bool PlayerDevice::followSound(Clock::time_point now) {
    if (!sound_ || mode_ != Mode::Playing)
        return false;
    const std::optional<double> heard = sound_->heard();
    if (!heard)
        return false;
    anchor_ = now;
    clockTicks_ = *heard * timeBase_.den / timeBase_.num;
    return true;
}

void PlayerDevice::endNotice(std::uint32_t how) {
    if (!notifyPending_)
        return;
    notifyPending_ = false;
    emit notified(how);
}

double PlayerDevice::mediaNow() const {
    if (mode_ != Mode::Playing)
        return clockTicks_;
    const double seconds = std::chrono::duration<double>(Clock::now() - anchor_).count();
    return clockTicks_ + seconds * timeBase_.den / timeBase_.num;
}

PlayerDevice::Clock::time_point PlayerDevice::dueTime(std::int64_t position) const {
    const double seconds = (static_cast<double>(position) - clockTicks_) * timeBase_.num / timeBase_.den;
    return anchor_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace zelq
