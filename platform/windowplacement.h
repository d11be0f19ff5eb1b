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

// A window's outer bounds as they were when it was last on screen. Once a window is hidden the window
// manager takes its frame away, and what Qt then reports (the client area at some place, or nothing
// maximised any more) is not where the window was: a recording of a hidden window's rectangle must use
// the bounds it had when the user last saw it. trackOuterBounds starts remembering them; outerBounds
// answers the remembered bounds, or the current frame geometry for a window that was never tracked or
// never framed on screen.
void trackOuterBounds(QWidget* window);
QRect outerBounds(const QWidget* window);

// Brings the window straight back when it is minimised. For the windows that are the only way back
// to the program while the main window is hidden: not every window manager drops the minimise box
// when asked to (openbox keeps it), so the window itself undoes a minimise.
void refuseMinimise(QWidget* window);

// Waits, serving events, until a maximised window has the bounds the window manager gives maximised
// windows (the screen's available area), or for at most timeoutMs. False on a timeout, or when the
// window is not on screen (a hidden window is never placed by the window manager).
bool waitUntilMaximised(QWidget* window, int timeoutMs);

}  // namespace zelq
