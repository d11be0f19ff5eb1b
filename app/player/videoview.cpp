#include "app/player/videoview.h"

#include <QEvent>
#include <QImage>
#include <QPainter>

#include "player/playerdevice.h"

namespace zelq {

VideoView::VideoView(const PlayerDevice& device, QWidget* display)
    : device_(device), display_(display) {
    display->installEventFilter(this);
}

void VideoView::pictureChanged() {
    if (!display_)
        return;
    coverBackground();
    display_->update();
}

void VideoView::coverBackground() {
    // While a picture fills the whole widget its background is never seen: Qt need not paint it (a fill
    // of the whole panel for every picture) before the picture is drawn over it.
    const bool covered = device_.shownPicture() && device_.destination().contains(display_->rect());
    if (display_->testAttribute(Qt::WA_OpaquePaintEvent) != covered)
        display_->setAttribute(Qt::WA_OpaquePaintEvent, covered);
}

bool VideoView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == display_ && event->type() == QEvent::Resize)
        coverBackground();  // before the paint that follows, which may show background again
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
