#pragma once
// The picture drawn for the mouse pointer in every recorded frame: the standard arrow, whatever shape the
// pointer has on screen, so that recordings look alike on every desktop theme.

#include <QImage>
#include <QPoint>

namespace zelq {

struct CursorImage {
    QImage image;    // Format_ARGB32; fully transparent where the cursor has no pixel
    QPoint hotSpot;  // the pixel of the image that sits on the pointer position
};

// The standard arrow: black outline, white body, its hot spot at the tip (0, 0). Built once, on first
// use; thread-safe (the result is never changed afterwards).
const CursorImage& standardArrowCursor();

}  // namespace zelq
