#include "platform/screenpixels.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <vector>

#include "platform/windowplacement.h"

namespace zelq {

namespace {

// A product such as 1280 * 1.5 must floor to 1920, not 1919: the doubles are nudged by far less than a
// pixel before rounding.
constexpr double kNudge = 1e-6;

int floorPixels(double v) {
    return static_cast<int>(std::floor(v + kNudge));
}
int ceilPixels(double v) {
    return static_cast<int>(std::ceil(v - kNudge));
}

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

}  // namespace

PixelScale pixelScaleOf(const QScreen* screen) {
    if (!screen)
        return {};
    return {screen->geometry().topLeft(), screen->devicePixelRatio()};
}

PixelScale pixelScaleOf(const QWidget* window) {
    const QScreen* screen = window ? window->screen() : nullptr;
    return pixelScaleOf(screen ? screen : QGuiApplication::primaryScreen());
}

PixelScale pixelScaleAt(QPoint screenPoint) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const PixelScale scale = pixelScaleOf(screen);
        if (toScreenPixels(screen->geometry(), scale).contains(screenPoint))
            return scale;
    }
    return pixelScaleOf(QGuiApplication::primaryScreen());
}

QRect toScreenPixels(const QRectF& logical, const PixelScale& scale) {
    const double ox = scale.origin.x(), oy = scale.origin.y(), r = scale.ratio;
    const int left = static_cast<int>(ox) + floorPixels((logical.left() - ox) * r);
    const int top = static_cast<int>(oy) + floorPixels((logical.top() - oy) * r);
    const int right = static_cast<int>(ox) + ceilPixels((logical.left() + logical.width() - ox) * r);
    const int bottom = static_cast<int>(oy) + ceilPixels((logical.top() + logical.height() - oy) * r);
    return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

QRect toLogicalPixels(const QRect& screenPixels, const PixelScale& scale) {
    const QPoint o = scale.origin;
    const double r = scale.ratio > 0 ? scale.ratio : 1.0;
    const QPoint topLeft(o.x() + static_cast<int>(std::lround((screenPixels.x() - o.x()) / r)),
                         o.y() + static_cast<int>(std::lround((screenPixels.y() - o.y()) / r)));
    return QRect(topLeft, QSize(static_cast<int>(std::lround(screenPixels.width() / r)),
                                static_cast<int>(std::lround(screenPixels.height() / r))));
}

QRect screenOuterBounds(const QWidget* window) {
    if (const std::optional<QRect> shown = shownScreenBounds(window))
        return *shown;
    // Never framed on screen (no window manager, or not yet shown): what Qt says, converted.
    return toScreenPixels(outerBounds(window), pixelScaleOf(window));
}

bool placeInScreenPixels(QWidget* window, const QRect& bounds, const QRegion& shape) {
    // Qt is told first, so that its idea of the window is as near as logical pixels allow; the exact
    // place then follows on the X server, and Qt takes it up from the server's notice.
    const PixelScale scale = pixelScaleAt(bounds.center());
    if (scale.ratio == 1.0) {
        // Unscaled, Qt's own placement is exact.
        window->setGeometry(bounds);
        window->setMask(shape);
        return true;
    }
    window->setGeometry(toLogicalPixels(bounds, scale));
    xcb_connection_t* c = x11Connection();
    if (!c) {
        QRegion logical;
        for (const QRect& r : shape) logical += toLogicalPixels(r, {QPoint(), scale.ratio});
        window->setMask(logical);
        return false;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    const std::uint32_t values[] = {static_cast<std::uint32_t>(bounds.x()),
                                    static_cast<std::uint32_t>(bounds.y()),
                                    static_cast<std::uint32_t>(std::max(1, bounds.width())),
                                    static_cast<std::uint32_t>(std::max(1, bounds.height()))};
    xcb_configure_window(
        c, id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
        values);
    std::vector<xcb_rectangle_t> rectangles;
    for (const QRect& r : shape)
        rectangles.push_back({static_cast<std::int16_t>(r.x()), static_cast<std::int16_t>(r.y()),
                              static_cast<std::uint16_t>(r.width()), static_cast<std::uint16_t>(r.height())});
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0,
                         static_cast<std::uint32_t>(rectangles.size()), rectangles.data());
    xcb_flush(c);
    return true;
}

}  // namespace zelq
