#include "app/keypreview.h"

#include <QApplication>
#include <QKeyEvent>

namespace zelq {

KeyPreview::KeyPreview(QWidget* window, std::function<void(QWidget*, int)> onKey)
    : QObject(window), window_(window), onKey_(std::move(onKey)) {
    // Only the application sees a key before the focused control does.
    qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview() { qApp->removeEventFilter(this); }

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* receiver = static_cast<QWidget*>(watched);
    if (receiver->window() != window_) return false;
    // The same event arriving at an ancestor of the control that had it is that key travelling on. A new
    // key may reuse the old one's memory, but it starts again at the focused control, never higher up.
    const bool travelling = event == lastEvent_ && lastReceiver_ && receiver->isAncestorOf(lastReceiver_);
    lastEvent_ = event;
    lastReceiver_ = receiver;
    if (!travelling) onKey_(receiver, static_cast<QKeyEvent*>(event)->key());
    return false;
}

}  // namespace zelq
