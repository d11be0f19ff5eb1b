#include "platform/focusexit.h"

#include <QFocusEvent>
#include <QWidget>

namespace zelq {

bool focusLeftForAnotherControl(const QWidget* box, const QEvent* event) {
    if (event->type() != QEvent::FocusOut) return false;
    switch (static_cast<const QFocusEvent*>(event)->reason()) {
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::MouseFocusReason:
        case Qt::ShortcutFocusReason:
        case Qt::OtherFocusReason: break;
        default: return false;  // the window lost the focus, or a pop-up took it for a while
    }
    const QWidget* window = box->window();
    return window->isVisible() && window->isActiveWindow();
}

}  // namespace zelq
