#pragma once
// Logical pixels and screen pixels, and the one place where a rectangle crosses from one to the other.
//
// Qt widgets, the area window's boxes and every window placement work in logical pixels, as Qt gives
// them. The screen grabber, the frame window's brackets, the recorded rectangle, the recording's size and
// the arrow's position are in screen pixels, the X server's own. On a desktop scaled by 1.25, 1.5 or 2
// the two differ, so the engine never takes a Qt rectangle as it is: it asks screenOuterBounds for its
// source window, and the frame window asks placeInScreenPixels to sit on exact screen pixels.
//
// Qt keeps a screen's top-left corner at the same place in both units (a second monitor at screen x 1920
// starts at logical x 1920 too); within a screen, logical pixels are the screen's device pixel ratio
// apart. So a conversion needs the screen the window is on, never one ratio for the whole desktop.
//
// UI thread only.

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QRegion>

class QScreen;
class QWidget;

namespace zelq {

// How one screen maps logical pixels to screen pixels: its top-left corner, the same in both, and its
// device pixel ratio.
struct PixelScale {
    QPoint origin;
    qreal ratio = 1.0;
};

// The scale of a screen (1 at the origin for none).
PixelScale pixelScaleOf(const QScreen* screen);
// The scale of the screen a window is on.
PixelScale pixelScaleOf(const QWidget* window);
// The scale of the screen that holds a point given in screen pixels (the primary screen when none does).
PixelScale pixelScaleAt(QPoint screenPoint);

// A logical rectangle in screen pixels, rounded outward to whole pixels: every screen pixel that the
// logical rectangle touches is in the result, so an area is never recorded a pixel short.
QRect toScreenPixels(const QRectF& logical, const PixelScale& scale);
// A rectangle of screen pixels in logical pixels, each edge rounded to the nearest logical pixel, as Qt
// rounds the geometry it reports for a window or a screen.
QRect toLogicalPixels(const QRect& screenPixels, const PixelScale& scale);

// The boundary itself: a window's outer bounds (frame included) in screen pixels, as the X server has
// them, or had them when the window was last on screen (see outerBounds in windowplacement.h). The
// engine's source window is read through this and nothing else.
QRect screenOuterBounds(const QWidget* window);

// Gives a frameless window that bypasses the window manager these bounds and this shape (in the window's
// own coordinates), both in screen pixels, exactly: Qt would place it on logical pixels, which at a
// fractional ratio cannot hit every screen pixel. False when the window system is not X11; the window
// then has the nearest logical bounds and shape Qt can give.
bool placeInScreenPixels(QWidget* window, const QRect& bounds, const QRegion& shape);

}  // namespace zelq
