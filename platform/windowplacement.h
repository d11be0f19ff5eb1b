#pragma once
// Placing top-level windows by their outer bounds, frame included, on a desktop whose window manager
// draws that frame and applies maximising later than the call that asks for it. UI thread only.

#include <QRect>
#include <optional>

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
// answers them in logical pixels (Qt's), or the current frame geometry for a window that was never
// tracked or never framed on screen.
void trackOuterBounds(QWidget* window);
QRect outerBounds(const QWidget* window);
// The same bounds in screen pixels, exactly as the X server had them, or none for a window never framed
// on screen. The engine reads them through screenOuterBounds (screenpixels.h).
std::optional<QRect> shownScreenBounds(const QWidget* window);
// Where a window is on screen now, as the X server has it, in logical pixels: its outer bounds where a
// window manager frames it, its own area where nothing does (sway draws no X frame); none when the
// window is not on screen. What the window manager did with a placement is judged by this, not by Qt's
// geometry, which may still hold what was asked.
std::optional<QRect> placedBounds(const QWidget* window);

// Brings the window straight back when it is minimised. For the windows that are the only way back
// to the program while the main window is hidden: not every window manager drops the minimise box
// when asked to (openbox keeps it), so the window itself undoes a minimise.
void refuseMinimise(QWidget* window);

// The program's main window, on whose monitor the windows without an owner (the hot-key dialog, the
// recording's message boxes) appear: Qt would put them on the monitor under the pointer, which during
// an area recording is the recorded one.
void setHomeWindow(QWidget* window);
// Keeps a window without an owner on the home window's monitor: each time it is shown somewhere else,
// it is centred on that monitor instead.
void keepOnHomeScreen(QWidget* window);

// Waits, serving events, until a maximised window has the bounds the window manager gives maximised
// windows (the screen's available area), or for at most timeoutMs. False on a timeout, or when the
// window is not on screen (a hidden window is never placed by the window manager).
bool waitUntilMaximised(QWidget* window, int timeoutMs);
// The same for a window asked for full screen: it must cover its whole screen.
bool waitUntilFullScreen(QWidget* window, int timeoutMs);

}  // namespace zelq
