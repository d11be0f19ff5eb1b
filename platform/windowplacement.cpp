#include "platform/windowplacement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QVariant>
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

const char* const kShownBounds = "zelqShownOuterBounds";

class BoundsTracker final : public QObject {
public:
    explicit BoundsTracker(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
        remember();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type t = event->type();
        if (t == QEvent::Move || t == QEvent::Resize || t == QEvent::Show || t == QEvent::WindowStateChange)
            remember();
        return false;
    }

private:
    void remember() {
        // Only what the window manager has placed and framed counts: a hidden window's geometry is not
        // where it was on screen.
        if (window_->isVisible() && framed(window_)) window_->setProperty(kShownBounds, window_->frameGeometry());
    }
    QWidget* window_;
};

class MinimiseRefusal final : public QObject {
public:
    explicit MinimiseRefusal(QWidget* window) : QObject(window), window_(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange && window_->isMinimized()) {
            // After the window manager has finished minimising; undoing it inside the change is lost.
            QTimer::singleShot(0, window_, [w = window_] {
                if (w->isMinimized()) w->showNormal();
            });
        }
        return false;
    }

private:
    QWidget* window_;
};

}  // namespace

void refuseMinimise(QWidget* window) { new MinimiseRefusal(window); }

void trackOuterBounds(QWidget* window) { new BoundsTracker(window); }

QRect outerBounds(const QWidget* window) {
    const QVariant shown = window->property(kShownBounds);
    if (window->isVisible() && framed(window)) return window->frameGeometry();
    return shown.isValid() ? shown.toRect() : window->frameGeometry();
}

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
