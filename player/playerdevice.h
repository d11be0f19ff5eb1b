#pragma once
// The player device: one open media file, played into a display window, driven by media-control
// commands (open, window, put destination, play with notify, pause, resume, stop, seek to start, close)
// and asked for its mode by a status query. Every command returns MMSYSERR_NOERROR or an MCIERR_ code;
// with nothing open, every command but open and close fails with MCIERR_INVALID_DEVICE_ID.
//
// A decoding worker (decodeworker.h) keeps a few pictures ready, already scaled to the destination.
// Presentation follows the stream's own time base on a steady clock: each picture is put on screen when
// its position is due, by a single-shot timer set for that moment, so nothing runs between pictures and
// nothing at all when nothing plays. A picture that is late while the one after it is already due is
// skipped. Empty positions have no picture, so the one before stays up for them. At the end the last
// picture stays on screen and the device is stopped with its position equal to its length; a play from
// there ends at once (a caller that wants it again seeks to the start first).
//
// Sound: a file with sound plays it through the desktop's sound server (soundfeeder.h), and while the
// server tells how much has been heard, that is the clock the pictures follow, so picture and sound stay
// together whatever the device's pace. Without sound, with sound no decoder here reads, or without a
// sound server, the steady clock leads as before and the picture plays alone.
//
// No widget here: the display is a VideoSink. UI thread only (the worker's notices arrive as queued
// calls on the thread the device lives on).

#include <QObject>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <memory>

#include "player/decodeworker.h"
#include "player/mci.h"
#include "player/soundfeeder.h"

namespace zelq {

class VideoSink;

// What presentation has achieved since the last open or seek to start.
struct PlaybackStats {
    int shown = 0;               // pictures put on screen
    int skipped = 0;             // pictures left out because the next was due already
    double lastLatenessMs = 0;   // how late the last picture went up
    double worstLatenessMs = 0;  // the latest any picture went up
    std::chrono::steady_clock::time_point lastShownAt;  // when the last picture went up
};

class PlayerDevice : public QObject {
    Q_OBJECT
public:
    explicit PlayerDevice(QObject* parent = nullptr);
    ~PlayerDevice() override;

    // Opens the file as the device's element (no device type: the file says what it is), closing what
    // was open first. Stopped at the first frame afterwards, which goes up as soon as it is decoded.
    MCIERROR open(const std::filesystem::path& element);
    // The display window; null detaches it.
    MCIERROR window(VideoSink* display);
    // Where in the display the picture goes, stretched to fill it.
    MCIERROR putDestination(const QRect& rect);
    // Plays from the current position to the end. With notify, the end (or what cuts it short) is
    // told through notified().
    MCIERROR play(bool notify);
    MCIERROR pause();
    // Continues a paused play; fails when not paused.
    MCIERROR resume(bool notify);
    // Stops; the position stays where it stopped and the picture stays up.
    MCIERROR stop();
    MCIERROR seekToStart();
    MCIERROR close();
    // Mode (MCI_MODE_*), position or length (frames); fails with nothing open.
    MCIERROR status(MciStatusItem item, std::uint32_t& result) const;

    bool isOpen() const { return worker_ != nullptr; }
    QSize naturalSize() const { return natural_; }
    // For the display: the picture on screen (null when none) and where it goes.
    const Picture* shownPicture() const { return shown_.get(); }
    QRect destination() const { return destination_; }
    const PlaybackStats& stats() const { return stats_; }
    // Whether the open file's sound is being played (and so leads the pictures once heard).
    bool hasSound() const { return hasSound_; }

signals:
    // The completion notice of a play (or resume) with notify: MCI_NOTIFY_SUCCESSFUL at the end,
    // MCI_NOTIFY_ABORTED or MCI_NOTIFY_SUPERSEDED when cut short.
    void notified(std::uint32_t how);

private:
    using Clock = std::chrono::steady_clock;
    enum class Mode { Stopped, Playing, Paused };

    void pictureReady();
    void present();
    void show(std::unique_ptr<Picture> picture, double latenessMs);
    void finishAtEnd(std::int64_t endPosition);
    void haltClock();
    void endNotice(std::uint32_t how);
    Clock::time_point dueTime(std::int64_t position) const;
    double mediaNow() const;
    // While playing, takes the sound's clock as the media clock when the server tells it; true then.
    bool followSound(Clock::time_point now);

    std::filesystem::path element_;
    std::unique_ptr<SoundFeeder> sound_;  // while playing, and ready to play from a stop at the start
    bool hasSound_ = false;
    std::unique_ptr<DecodeWorker> worker_;
    VideoSink* display_ = nullptr;
    QRect destination_;
    QSize natural_;
    AVRational timeBase_{1, 1};
    std::int64_t frameTicks_ = 1;
    std::int64_t length_ = 0;

    Mode mode_ = Mode::Stopped;
    std::unique_ptr<Picture> shown_;
    std::int64_t position_ = 0;  // ticks: the picture on screen, or the end
    bool atEnd_ = false;
    bool showNext_ = false;      // after an open or a seek, the next picture goes up even when not playing
    bool notifyPending_ = false;
    // The media clock: clockTicks_ while halted; while playing, clockTicks_ at anchor_ plus the time since.
    double clockTicks_ = 0;
    Clock::time_point anchor_;
    QTimer timer_;
    PlaybackStats stats_;
};

}  // namespace zelq
