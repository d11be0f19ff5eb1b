#include "platform/windowplacement.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QVariant>
#include <optional>

#include "platform/raii.h"
#include <QWidget>

namespace zelq {

namespace {

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The outer bounds of a framed window as the X server has them now, or none for a window that is not
// on screen or has no frame from a window manager. Qt keeps the frame's widths in a cache that misses
// some of the window manager's changes (openbox takes the side borders off a maximised window, for one),
// so they are read from the window's _NET_FRAME_EXTENTS each time.
std::optional<QRect> serverOuterBounds(const QWidget* window) {
    xcb_connection_t* c = x11Connection();
    const auto id = static_cast<xcb_window_t>(window->internalWinId());
    if (!c || !id || !window->isVisible()) return std::nullopt;
    static const xcb_atom_t extentsAtom = [c] {
        const char name[] = "_NET_FRAME_EXTENTS";
        XcbReply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_NONE};
    }();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto geometryCookie = xcb_get_geometry(c, id);
    const auto originCookie = xcb_translate_coordinates(c, id, root, 0, 0);
    const auto extentsCookie = xcb_get_property(c, 0, id, extentsAtom, XCB_ATOM_CARDINAL, 0, 4);
    XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    XcbReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(c, originCookie, nullptr));
    XcbReply<xcb_get_property_reply_t> extents(xcb_get_property_reply(c, extentsCookie, nullptr));
    if (!geometry || !origin || !extents || xcb_get_property_value_length(extents.get()) != 16) return std::nullopt;
    const auto* e = static_cast<const std::uint32_t*>(xcb_get_property_value(extents.get()));  // left right top bottom
    return QRect(origin->dst_x - static_cast<int>(e[0]), origin->dst_y - static_cast<int>(e[2]),
                 geometry->width + static_cast<int>(e[0] + e[1]), geometry->height + static_cast<int>(e[2] + e[3]));
}

bool framed(const QWidget* window) { return window->frameGeometry() != window->geometry(); }

void applyOuterSize(QWidget* window, const QRect& outer, const QRect& frame) {
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
        applyOuterSize(window_, outer_, window_->frameGeometry());
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
    if (const std::optional<QRect> frame = serverOuterBounds(window)) return *frame;
    const QVariant shown = window->property(kShownBounds);
    return shown.isValid() ? shown.toRect() : window->frameGeometry();
}

void setOuterBounds(QWidget* window, const QRect& outer) {
    if (window->isVisible() && window->windowState() == Qt::WindowNoState && framed(window)) {
        applyOuterSize(window, outer, window->frameGeometry());
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
        if (window->isMaximized() && screen && serverOuterBounds(window) == screen->availableGeometry()) return true;
        if (clock.elapsed() >= timeoutMs) return false;
        // No user input meanwhile: a click now would act on a window that is about to be recorded.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(5);
    }
    return false;
}

}  // namespace zelq
