#include "app/player/mediaplayer.h"

#include <QFile>
#include <QWidget>

#include "app/player/videoview.h"

namespace zelq {

namespace {

// Identifiers are handed out in turn, as the system hands out device identifiers; 0 means none.
MCIDEVICEID nextDeviceId() {
    static MCIDEVICEID last = 0;
    if (++last == 0)
        ++last;
    return last;
}

}  // namespace

QString mciErrorText(MCIERROR code) {
    switch (code) {
        case MCIERR_INVALID_DEVICE_ID: return QStringLiteral("Invalid MCI device ID.");
        case MCIERR_OUT_OF_MEMORY: return QStringLiteral("There is not enough memory to perform the operation.");
        case MCIERR_UNSUPPORTED_FUNCTION: return QStringLiteral("The MCI device does not support the action.");
        case MCIERR_FILE_NOT_FOUND: return QStringLiteral("Cannot find the specified file.");
        case MCIERR_INVALID_FILE: return QStringLiteral("The specified file cannot be played on the device.");
        case MCIERR_NONAPPLICABLE_FUNCTION: return QStringLiteral("The command cannot be carried out now.");
        default: return QStringLiteral("MCI error %1.").arg(code);
    }
}

EMCIDeviceError::EMCIDeviceError(MCIERROR code)
    : std::runtime_error(mciErrorText(code).toStdString()), code_(code) {}

TMediaPlayer::TMediaPlayer(QWidget* display) : view_(std::make_unique<VideoView>(device_, display)) {}

TMediaPlayer::~TMediaPlayer() { device_.close(); }

QWidget* TMediaPlayer::Display() const { return view_->display(); }

void TMediaPlayer::check(MCIERROR code) {
    if (code != MMSYSERR_NOERROR)
        throw EMCIDeviceError(code);
}

std::optional<int> TMediaPlayer::Mode() const {
    std::uint32_t mode = 0;
    if (device_.status(MciStatusItem::Mode, mode) != MMSYSERR_NOERROR)
        return std::nullopt;
    return static_cast<int>(mode - MCI_MODE_NOT_READY);
}

void TMediaPlayer::Open() {
    Close();
    check(device_.open(QFile::encodeName(FileName).toStdString()));
    deviceId_ = nextDeviceId();
    if (HasVideo())
        check(device_.window(view_.get()));
}

void TMediaPlayer::Play() {
    std::uint32_t position = 0, length = 0;
    check(device_.status(MciStatusItem::Position, position));
    check(device_.status(MciStatusItem::Length, length));
    if (position == length)
        check(device_.seekToStart());
    check(device_.play(true));
}

void TMediaPlayer::Pause() { check(device_.pause()); }
void TMediaPlayer::Resume() { check(device_.resume(true)); }
void TMediaPlayer::Stop() { check(device_.stop()); }

void TMediaPlayer::Close() {
    check(device_.close());
    deviceId_ = 0;
}

void TMediaPlayer::SetDisplayRect(const QRect& rect) { check(device_.putDestination(rect)); }

}  // namespace zelq
