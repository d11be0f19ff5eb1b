#include "screen_testkit.h"

#include <QCoreApplication>
#include <QThread>
#include <random>

namespace zelq::test {

namespace {

const xcb_screen_t* firstScreen(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data;
}

void sync(xcb_connection_t* c) {
    XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

// Copies a Format_RGB32 picture into a pixmap, a band of rows at a time to stay under the request limit.
void putPicture(xcb_connection_t* c, xcb_pixmap_t pixmap, xcb_gcontext_t gc, const QImage& picture,
                int depth) {
    const int band = 32;
    for (int y = 0; y < picture.height(); y += band) {
        const int rows = std::min(band, picture.height() - y);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, static_cast<std::uint16_t>(picture.width()),
                      static_cast<std::uint16_t>(rows), 0, static_cast<std::int16_t>(y), 0,
                      static_cast<std::uint8_t>(depth),
                      static_cast<std::uint32_t>(picture.bytesPerLine() * rows), picture.constScanLine(y));
    }
}

xcb_cursor_t makeCursor(xcb_connection_t* c, xcb_window_t root, QPoint hotSpot) {
    const xcb_pixmap_t bits = xcb_generate_id(c);
    xcb_create_pixmap(c, 1, bits, root, 16, 16);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const std::uint32_t one = 1;
    xcb_create_gc(c, gc, bits, XCB_GC_FOREGROUND, &one);
    const xcb_rectangle_t all{0, 0, 16, 16};
    xcb_poly_fill_rectangle(c, bits, gc, 1, &all);
    const xcb_cursor_t cursor = xcb_generate_id(c);
    xcb_create_cursor(c, cursor, bits, bits, 0, 0, 0, 0xffff, 0xffff, 0xffff,
                      static_cast<std::uint16_t>(hotSpot.x()), static_cast<std::uint16_t>(hotSpot.y()));
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, bits);
    return cursor;
}

}  // namespace

QImage patternImage(int width, int height, unsigned seed) {
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) row[x] = 0xff000000u | (random() & 0xffffffu);
    }
    return image;
}

PatternWindow::PatternWindow(const QRect& area, const QImage& picture, QPoint hotSpot)
    : connection_(xcb_connect(nullptr, nullptr)),
      area_(area),
      picture_(picture.convertToFormat(QImage::Format_RGB32)) {
    xcb_connection_t* c = connection_.get();
    const xcb_screen_t* screen = firstScreen(c);
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, pixmap, screen->root, static_cast<std::uint16_t>(area.width()),
                      static_cast<std::uint16_t>(area.height()));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    putPicture(c, pixmap, gc, picture_, screen->root_depth);
    xcb_free_gc(c, gc);

    const xcb_cursor_t cursor = makeCursor(c, screen->root, hotSpot);
    window_ = xcb_generate_id(c);
    const std::uint32_t values[] = {pixmap, 1, cursor};  // background, override-redirect, cursor
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, screen->root, static_cast<std::int16_t>(area.x()),
                      static_cast<std::int16_t>(area.y()), static_cast<std::uint16_t>(area.width()),
                      static_cast<std::uint16_t>(area.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_CURSOR,
                      values);
    xcb_free_pixmap(c, pixmap);
    xcb_free_cursor(c, cursor);
    xcb_map_window(c, window_);
    sync(c);
}

PatternWindow::~PatternWindow() {
    xcb_destroy_window(connection_.get(), window_);
    sync(connection_.get());
}

void warpPointer(QPoint p) {
    XcbConnectionPtr connection(xcb_connect(nullptr, nullptr));
    xcb_connection_t* c = connection.get();
    xcb_warp_pointer(c, XCB_NONE, firstScreen(c)->root, 0, 0, 0, 0, static_cast<std::int16_t>(p.x()),
                     static_cast<std::int16_t>(p.y()));
    sync(c);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return true;
}

}  // namespace zelq::test
