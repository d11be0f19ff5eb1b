#include "app/player/videoview.h"

#include <QEvent>
#include <QImage>
#include <QPainter>

#include "app/player/playerdevice.h"

namespace zelq {

VideoView::VideoView(const PlayerDevice& device, QWidget* display)
    : device_(device), display_(display) {
    display->installEventFilter(this);
}

void VideoView::pictureChanged() {
    if (display_)
        display_->update();
}

bool VideoView::eventFilter(QObject* watched, QEvent* event) {
    if (watched != display_ || event->type() != QEvent::Paint)
        return QObject::eventFilter(watched, event);
    const Picture* picture = device_.shownPicture();
    if (!picture)
        return false;
    // Wraps the player's buffer; the image is gone before the buffer can be given back.
    const QImage image(picture->pixels.get(), picture->width, picture->height, picture->stride,
                       QImage::Format_RGB32);
    QPainter painter(display_);
    const QRect target = device_.destination();
    if (target.size() == image.size()) {
        painter.drawImage(target.topLeft(), image);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image);
    }
    return false;  // the widget's own painting (none for a plain panel) follows
}

}  // namespace zelq
