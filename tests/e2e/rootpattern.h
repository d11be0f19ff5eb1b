#pragma once
// A root window pattern that shows in a recorded frame exactly which screen pixels the frame was taken
// from.
#include <xcb/xcb.h>

#include <cstdint>

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

// The root window of the session's display tiled with 8-pixel squares of two colours that the default
// compressor keeps exactly, so a frame shows whether it was taken from the screen's own corner.
class RootPattern {
public:
    explicit RootPattern(const QString& display) : c_(xcb_connect(display.toLatin1().constData(), nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        const xcb_pixmap_t tile = xcb_generate_id(c_);
        xcb_create_pixmap(c_, screen->root_depth, tile, screen->root, 16, 16);
        const xcb_gcontext_t gc = xcb_generate_id(c_);
        for (int square = 0; square < 4; ++square) {
            const std::uint32_t colour = colourAt(8 * (square % 2), 8 * (square / 2));
            xcb_create_gc(c_, gc, tile, XCB_GC_FOREGROUND, &colour);
            const xcb_rectangle_t r{static_cast<std::int16_t>(8 * (square % 2)),
                                    static_cast<std::int16_t>(8 * (square / 2)), 8, 8};
            xcb_poly_fill_rectangle(c_, tile, gc, 1, &r);
            xcb_free_gc(c_, gc);
        }
        xcb_change_window_attributes(c_, screen->root, XCB_CW_BACK_PIXMAP, &tile);
        xcb_clear_area(c_, 0, screen->root, 0, 0, 0, 0);
        xcb_free_pixmap(c_, tile);
        xcb_flush(c_);
    }
    ~RootPattern() { xcb_disconnect(c_); }
    static std::uint32_t colourAt(int x, int y) { return ((x / 8 + y / 8) % 2) ? 0xF80000u : 0x0000F8u; }
    // Pixels of the picture's square of side n at (x, y) whose colour is not the pattern's there.
    static int mismatches(const QImage& picture, int x0, int y0, int n) {
        return mismatchesAt(picture, QRect(x0, y0, n, n), QPoint());
    }
    // Pixels of the part of a picture whose colour is not the pattern's at the screen place the picture
    // was taken from (`origin`: the screen pixel of the picture's top-left corner).
    static int mismatchesAt(const QImage& picture, const QRect& part, QPoint origin) {
        int wrong = 0;
        for (int y = part.top(); y <= part.bottom(); ++y) {
            for (int x = part.left(); x <= part.right(); ++x) {
                wrong += !matches(picture.pixel(x, y), origin + QPoint(x, y));
            }
        }
        return wrong;
    }
    // Whether a colour is the pattern's at a screen pixel.
    static bool matches(QRgb p, QPoint screen) {
        const bool red = qRed(p) > 128 && qBlue(p) < 128;
        const bool blue = qBlue(p) > 128 && qRed(p) < 128;
        return colourAt(screen.x(), screen.y()) == 0xF80000u ? red : blue;
    }

private:
    xcb_connection_t* c_;
};
