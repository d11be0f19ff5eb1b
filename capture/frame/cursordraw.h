#pragma once
// Draws a cursor picture into a captured image, as the pointer would appear on screen: the picture's
// top-left pixel at `topLeft`, blended by its alpha, cut off where it leaves the image. Any thread.

#include <QImage>
#include <QPoint>

#include "platform/screen/arrowcursor.h"

namespace zelq {

// `image` must be Format_RGB32 (as ScreenGrabber gives it).
void drawCursor(QImage& image, const CursorImage& cursor, QPoint topLeft);

}  // namespace zelq
