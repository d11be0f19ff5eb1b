#include "platform/windowplacement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QWidget>

namespace zelq {

namespace {

bool framed(const QWidget* window) { return window->frameGeometry() != window->geometry(); }

void applyOuterSize(QWidget* window, const QRect& outer) {
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    const int extraW = frame.width() - client.width();
    const int extraH = frame.height() - client.height();
    window->resize(std::max(1, outer.width() - extraW), std::max(1, outer.height() - extraH));
    window->move(outer.topLeft());
}

// Sets the size once more when the window manager's frame first arrives on the window in its normal
// state; then it has done its work and goes.
class FrameArrival final : public QObject {
public:
    FrameArrival(QWidget* window, const QRect& outer) : QObject(window), window_(window), outer_(outer) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type t = event->type();
        if (t != QEvent::Move && t != QEvent::Resize && t != QEvent::Show && t != QEvent::WindowStateChange)
            return false;
        if (!window_->isVisible() || window_->windowState() != Qt::WindowNoState || !framed(window_))
            return false;
        applyOuterSize(window_, outer_);
        window_->removeEventFilter(this);
        deleteLater();
        return false;
    }

private:
    QWidget* window_;
    QRect outer_;
};

}  // namespace

void setOuterBounds(QWidget* window, const QRect& outer) {
    if (window->isVisible() && window->windowState() == Qt::WindowNoState && framed(window)) {
        applyOuterSize(window, outer);
        return;
    }
    // For a window, move() places the frame's corner (Qt asks the window manager for north-west
    // gravity), so the position is right already before the frame exists.
    window->move(outer.topLeft());
    window->resize(outer.size());
    for (QObject* child : window->children()) {
        if (auto* pending = dynamic_cast<FrameArrival*>(child)) pending->deleteLater();
    }
    new FrameArrival(window, outer);
}

bool waitUntilMaximised(QWidget* window, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    const QPointer<QWidget> guard(window);
    while (guard && window->isVisible()) {
        const QScreen* screen = window->screen();
        if (window->isMaximized() && screen && window->frameGeometry() == screen->availableGeometry()) return true;
        if (clock.elapsed() >= timeoutMs) return false;
        // No user input meanwhile: a click now would act on a window that is about to be recorded.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(5);
    }
    return false;
}

}  // namespace zelq
