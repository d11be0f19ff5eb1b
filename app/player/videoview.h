#pragma once
// Paints the player device's picture into its display widget. The widget stays what it is (the main
// window's video panel keeps its own class, background and mouse handling): this watches its paint
// events and draws the shown picture into the destination rectangle after the background (left out while
// the picture covers the whole widget). The picture's buffer is drawn as it is, without a copy; only while
// a new destination size has not reached the decoding worker yet is a picture of the old size stretched
// into it. The owner keeps the view; the display may go first. UI thread only.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "player/videosink.h"

namespace zelq {

class PlayerDevice;

class VideoView : public QObject, public VideoSink {
    Q_OBJECT
public:
    VideoView(const PlayerDevice& device, QWidget* display);

    QWidget* display() const { return display_; }
    void pictureChanged() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void coverBackground();

    const PlayerDevice& device_;
    QPointer<QWidget> display_;
};

}  // namespace zelq
