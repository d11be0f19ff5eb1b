#pragma once
// TMediaPlayer, the main window's media player: the player device together with what the window keeps
// about it (the file name of the element to open, the device identifier, 0 when nothing is open, the
// natural frame size) and its display panel. It is never shown itself. Its requests raise
// EMCIDeviceError carrying the device's error, which the window's handlers swallow.
//
// Settings as the window has always used them: the device type follows the file, a play at the end
// goes back to the start first (rewind at end), not shareable, nothing opened until asked.
// UI thread only.

#include <QRect>
#include <QSize>
#include <QString>
#include <memory>
#include <optional>
#include <stdexcept>

#include "player/mci.h"
#include "player/playerdevice.h"

class QWidget;

namespace zelq {

class VideoView;

class EMCIDeviceError : public std::runtime_error {
public:
    explicit EMCIDeviceError(MCIERROR code);
    MCIERROR code() const { return code_; }

private:
    MCIERROR code_;
};

// The text the device's error codes are told with.
QString mciErrorText(MCIERROR code);

class TMediaPlayer {
public:
    explicit TMediaPlayer(QWidget* display);
    // Closes any open device.
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer&) = delete;
    TMediaPlayer& operator=(const TMediaPlayer&) = delete;

    QString FileName;

    MCIDEVICEID DeviceID() const { return deviceId_; }
    QWidget* Display() const;
    // The picture's own size, as the open device reports it; empty when nothing is open.
    QSize NaturalSize() const { return device_.naturalSize(); }
    // Whether a device with video is open (every device this player opens has video).
    bool HasVideo() const { return device_.isOpen(); }

    // The mode 0 not ready ... 6 open (the status value less MCI_MODE_NOT_READY), or none when the
    // query fails because nothing is open.
    std::optional<int> Mode() const;

    // Opens FileName, closing what was open first, and attaches the display.
    void Open();
    // Plays from the current position; from the start when the position is the length.
    void Play();
    void Pause();
    void Resume();
    void Stop();
    void Close();
    // Where the picture goes in the display.
    void SetDisplayRect(const QRect& rect);

    PlayerDevice& device() { return device_; }

private:
    static void check(MCIERROR code);

    PlayerDevice device_;
    std::unique_ptr<VideoView> view_;
    MCIDEVICEID deviceId_ = 0;
};

}  // namespace zelq
