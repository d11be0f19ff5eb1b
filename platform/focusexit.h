#pragma once
// When the focus leaving a box counts as the user leaving it for another control of the same window,
// which is when a box checks and applies what was typed into it. The window being hidden, another
// program taking the focus, or a context menu opening is none of these: the user has not finished with
// the box, and a check then would pop up over whatever happens next. UI thread only.

class QEvent;
class QWidget;

namespace zelq {

// True for a focus-out event of `box` that moved the focus to another control of its window.
bool focusLeftForAnotherControl(const QWidget* box, const QEvent* event);

}  // namespace zelq
