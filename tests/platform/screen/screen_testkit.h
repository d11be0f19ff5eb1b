#pragma once
// What the screen tests need to put known pixels on the test X server and read them back: a window that
// shows a picture (kept by the server as the window's background, so it is there as soon as the window is
// mapped and after any exposure), with a cursor whose hot spot the test chooses, and pointer moves.
// UI thread only.

#include <xcb/xcb.h>

#include <QImage>
#include <QPoint>
#include <QRect>
#include <chrono>
#include <functional>

#include "platform/raii.h"

namespace zelq::test {

// Pseudo-random opaque colours, different in every byte, so that a misplaced row, column or byte shows.
QImage patternImage(int width, int height, unsigned seed);

class PatternWindow {
public:
    // Shows `picture` at `area` (the picture is scaled by nothing: it must be area's size), above every
    // other window, with a 16 x 16 cursor whose hot spot is `hotSpot`. Returns once the server shows it.
    PatternWindow(const QRect& area, const QImage& picture, QPoint hotSpot = QPoint(0, 0));
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;

    const QRect& area() const { return area_; }
    const QImage& picture() const { return picture_; }

private:
    XcbConnectionPtr connection_;
    QRect area_;
    QImage picture_;
    xcb_window_t window_ = 0;
};

// Moves the pointer to screen position p; returns once the server has done it.
void warpPointer(QPoint p);

// Pumps Qt's events until `condition` holds or the time is up; answers the condition.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace zelq::test
