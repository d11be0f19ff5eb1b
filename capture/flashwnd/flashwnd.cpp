#include "flashwnd.h"

#include <QMetaObject>
#include <QPainter>
#include <QThread>

#include "platform/desktopsession.h"
#include "platform/screenpixels.h"
#include "platform/skin.h"

namespace zelq {

namespace {

// Each arm of a bracket runs this far from the window's corner.
constexpr int kArm = 24;
// The window reaches this far beyond the rectangle on every side.
constexpr int kMargin = 8;

}  // namespace

TFlashingWnd::TFlashingWnd(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus) {
    // A marker, not a window to use: it never takes the focus and, bypassing the window manager, sits
    // exactly where it is put, even partly off the screen.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_NoSystemBackground);
    // Xwayland shows a window's whole rectangle whatever its shape, black where nothing is painted: the
    // frame would cover the very area being recorded. A see-through window shows only what is painted.
    if (isWaylandSession())
        setAttribute(Qt::WA_TranslucentBackground);
    setGeometry(430, 104, 483, 458);
}

QRegion TFlashingWnd::frameShape(int width, int height) {
    const int outerWidth = width + 2 * kMargin, outerHeight = height + 2 * kMargin;
    QRegion shape(0, 0, outerWidth, outerHeight);
    // The hole: the rectangle plus one column and one row, so the right and bottom brackets are a pixel
    // thinner than the left and top ones.
    shape -= QRegion(kMargin, kMargin, width + 1, height + 1);
    // Bands that cut each side between its brackets; on a short side the bands would reach into the
    // opposite bracket, so the side is left whole instead.
    const int sideEndY = height + kMargin - 19;  // the vertical arms start 19 rows above the bottom edge
    if (sideEndY > kArm)
        shape -= QRegion(0, kArm, outerWidth, sideEndY - kArm);
    const int sideEndX = width + kMargin - 19;
    if (sideEndX > kArm)
        shape -= QRegion(kArm, 0, sideEndX - kArm, outerHeight);
    return shape;
}

template <typename Fn>
void TFlashingWnd::onWindowThread(Fn&& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(this, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
}

void TFlashingWnd::SetArea(int left, int top, int width, int height) {
    onWindowThread([=, this] {
        // The rectangle is in screen pixels; on a scaled desktop logical ones could not put the brackets
        // on the pixels just outside it.
        placeInScreenPixels(this,
                            QRect(left - kMargin, top - kMargin, width + 2 * kMargin, height + 2 * kMargin),
                            frameShape(width, height));
        AreaLeft = left;
        AreaTop = top;
        AreaRight = left + width - 1;
        AreaBottom = top + height - 1;
    });
}

void TFlashingWnd::PaintFrame(quint32 colour) {
    onWindowThread([=, this] {
        colour_ = colourFromBgr(colour);
        repaint();
    });
}

void TFlashingWnd::showFrame() {
    onWindowThread([this] {
        show();
        raise();
    });
}

void TFlashingWnd::hideFrame() {
    onWindowThread([this] { hide(); });
}

void TFlashingWnd::paintEvent(QPaintEvent*) {
    // The brackets in the colour: the shape cuts the window down to them, and where the shape is not
    // honoured (Xwayland) the rest stays see-through.
    if (!colour_)
        return;
    QPainter painter(this);
    if (!mask().isEmpty())
        painter.setClipRegion(mask());
    painter.fillRect(rect(), *colour_);
}

}  // namespace zelq
