#pragma once
// Placing top-level windows by their outer bounds, frame included, on a desktop whose window manager
// draws that frame and applies maximising later than the call that asks for it. UI thread only.

#include <QRect>

class QWidget;

namespace zelq {

// Gives a window these outer bounds. Qt sizes the client area, and the frame's size is known only once
// the window manager has framed the window, so the size is set again when the frame first shows up in
// the normal (not maximised) state; the position is the frame's from the start.
void setOuterBounds(QWidget* window, const QRect& outer);

// Waits, serving events, until a maximised window has the bounds the window manager gives maximised
// windows (the screen's available area), or for at most timeoutMs. False on a timeout, or when the
// window is not on screen (a hidden window is never placed by the window manager).
bool waitUntilMaximised(QWidget* window, int timeoutMs);

}  // namespace zelq
