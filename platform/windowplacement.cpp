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

#include <QWidget>
#include "platform/raii.h"
#include "platform/screenpixels.h"

namespace zelq {

namespace {

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The bounds of a window's own area (no frame) as the X server has them now, or none for a window that
// is not on screen.
std::optional<QRect> serverClientBounds(const QWidget* window) {
    xcb_connection_t* c = x11Connection();
    const auto id = static_cast<xcb_window_t>(window->internalWinId());
    if (!c || !id || !window->isVisible()) return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto geometryCookie = xcb_get_geometry(c, id);
    const auto originCookie = xcb_translate_coordinates(c, id, root, 0, 0);
    XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    XcbReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(c, originCookie, nullptr));
    if (!geometry || !origin) return std::nullopt;
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

// The outer bounds of a framed window as the X server has them now, or none for a window that is not
// on screen or has no frame from a window manager. Qt keeps the frame's widths in a cache that misses
// some of the window manager's changes (openbox takes the side borders off a maximised window, for one),
// so they are read from the window's _NET_FRAME_EXTENTS each time.
std::optional<QRect> serverOuterBounds(const QWidget* window) {
    xcb_connection_t* c = x11Connection();
    const std::optional<QRect> client = serverClientBounds(window);
    if (!client) return std::nullopt;
    static const xcb_atom_t extentsAtom = [c] {
        const char name[] = "_NET_FRAME_EXTENTS";
        XcbReply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_NONE};
    }();
    const auto id = static_cast<xcb_window_t>(window->internalWinId());
    XcbReply<xcb_get_property_reply_t> extents(
        xcb_get_property_reply(c, xcb_get_property(c, 0, id, extentsAtom, XCB_ATOM_CARDINAL, 0, 4), nullptr));
    if (!extents || xcb_get_property_value_length(extents.get()) != 16) return std::nullopt;
    const auto* e = static_cast<const std::uint32_t*>(xcb_get_property_value(extents.get()));  // left right top bottom
    return client->adjusted(-static_cast<int>(e[0]), -static_cast<int>(e[2]), static_cast<int>(e[1]),
                            static_cast<int>(e[3]));
}

bool framed(const QWidget* window) { return window->frameGeometry() != window->geometry(); }

// Whether bounds in screen pixels are, in logical pixels, the same as these: Qt rounds its logical
// geometry from screen pixels, so an edge may be a pixel off.
bool nearlySame(const QRect& screenPixels, const QRect& logical, const PixelScale& scale) {
    const QRect bounds = toLogicalPixels(screenPixels, scale);
    const auto near = [](int a, int b) { return std::abs(a - b) <= 1; };
    return near(bounds.left(), logical.left()) && near(bounds.top(), logical.top()) &&
           near(bounds.right(), logical.right()) && near(bounds.bottom(), logical.bottom());
}

// Whether the window's frame covers its screen's available area: the server's bounds are screen pixels
// and Qt's available area logical ones.
bool maximisedOnScreen(const QWidget* window) {
    const QScreen* screen = window->screen();
    const std::optional<QRect> server = serverOuterBounds(window);
    return screen && server && nearlySame(*server, screen->availableGeometry(), pixelScaleOf(screen));
}

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

// The outer bounds when last on screen, in screen pixels as the server had them, and as Qt had them.
const char* const kShownBounds = "zelqShownOuterBounds";
const char* const kShownLogicalBounds = "zelqShownLogicalOuterBounds";

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
        if (!window_->isVisible() || !framed(window_))
            return;
        const QRect logical = window_->frameGeometry();
        window_->setProperty(kShownLogicalBounds, logical);
        // A size the program gives the window (a width typed into a box) is Qt's at once and the
        // server's a moment later, and Qt tells no more once the server has it: until the two agree the
        // server's bounds are stale, so they are asked for again shortly.
        const std::optional<QRect> server = serverOuterBounds(window_);
        if (server && nearlySame(*server, logical, pixelScaleOf(window_))) {
            window_->setProperty(kShownBounds, *server);
            retries_ = 0;
            return;
        }
        window_->setProperty(kShownBounds, QVariant());
        if (server && retries_ < kRetries) {
            ++retries_;
            QTimer::singleShot(kRetryMs, this, [this] { remember(); });
        }
    }
    static constexpr int kRetries = 40;
    static constexpr int kRetryMs = 25;
    int retries_ = 0;
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

QPointer<QWidget>& homeWindow() {
    static QPointer<QWidget> home;
    return home;
}

class HomeScreenKeeper final : public QObject {
public:
    explicit HomeScreenKeeper(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        // Show comes after a dialog has placed itself and before the window is mapped, so the move
        // is never seen on the wrong monitor.
        if (event->type() != QEvent::Show || !homeWindow())
            return false;
        const QScreen* home = homeWindow()->screen();
        const QRect frame = window_->frameGeometry();
        if (!home || home->geometry().contains(frame.center()))
            return false;
        const QRect area = home->availableGeometry();
        window_->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
        return false;
    }

private:
    QWidget* window_;
};

}  // namespace

void setHomeWindow(QWidget* window) {
    homeWindow() = window;
}

void keepOnHomeScreen(QWidget* window) {
    for (QObject* child : window->children()) {
        if (dynamic_cast<HomeScreenKeeper*>(child))
            return;
    }
    new HomeScreenKeeper(window);
}

void refuseMinimise(QWidget* window) { new MinimiseRefusal(window); }

void trackOuterBounds(QWidget* window) { new BoundsTracker(window); }

std::optional<QRect> shownScreenBounds(const QWidget* window) {
    if (const std::optional<QRect> frame = serverOuterBounds(window))
        return frame;
    const QVariant shown = window->property(kShownBounds);
    if (shown.isValid())
        return shown.toRect();
    return std::nullopt;
}

std::optional<QRect> placedBounds(const QWidget* window) {
    std::optional<QRect> at = serverOuterBounds(window);
    if (!at) at = serverClientBounds(window);
    if (!at) return std::nullopt;
    return toLogicalPixels(*at, pixelScaleOf(window));
}

QRect outerBounds(const QWidget* window) {
    // The server's bounds are exact where Qt's cache of the frame is not; a window is placed in logical
    // pixels, so they are converted on the screen the window is on.
    if (const std::optional<QRect> shown = shownScreenBounds(window))
        return toLogicalPixels(*shown, pixelScaleOf(window));
    const QVariant shown = window->property(kShownLogicalBounds);
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

namespace {

// Serves events until the window has the bounds done() looks for, or for at most timeoutMs.
template <typename Done>
bool waitUntilPlaced(QWidget* window, int timeoutMs, Done done) {
    QElapsedTimer clock;
    clock.start();
    const QPointer<QWidget> guard(window);
    while (guard && window->isVisible()) {
        if (done())
            return true;
        if (clock.elapsed() >= timeoutMs) return false;
        // No user input meanwhile: a click now would act on a window that is about to be recorded.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(5);
    }
    return false;
}

}  // namespace

bool waitUntilMaximised(QWidget* window, int timeoutMs) {
    return waitUntilPlaced(window, timeoutMs,
                           [window] { return window->isMaximized() && maximisedOnScreen(window); });
}

bool waitUntilFullScreen(QWidget* window, int timeoutMs) {
    return waitUntilPlaced(window, timeoutMs, [window] {
        const QScreen* screen = window->screen();
        // A full-screen window has no frame, and a window manager that frames nothing (sway's, for its X
        // windows) never sets _NET_FRAME_EXTENTS: the window's own area is what covers the screen.
        const std::optional<QRect> server = serverClientBounds(window);
        // Qt must have taken the new bounds in too: where no frame is known, what the recording is told
        // are Qt's bounds, which follow the server's a moment later.
        return window->isFullScreen() && screen && server &&
               nearlySame(*server, screen->geometry(), pixelScaleOf(screen)) &&
               window->frameGeometry() == screen->geometry();
    });
}

}  // namespace zelq
