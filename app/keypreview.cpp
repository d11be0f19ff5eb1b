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
    // Every key press begins with its short-cut check (Qt asks the focused control whether it wants the
    // key before any short cut runs) or, from the window system, with the press reaching the top-level
    // window: from then on, whatever memory the new key event occupies, it is a new key. Qt builds key
    // events on the stack, so the address alone cannot tell a new key from the last one travelling on.
    if (event->type() == QEvent::ShortcutOverride ||
        (event->type() == QEvent::KeyPress && !watched->isWidgetType())) {
        lastEvent_ = nullptr;
        return false;
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* receiver = static_cast<QWidget*>(watched);
    if (receiver->window() != window_) return false;
    // A key a control ignores moves on to that control's parent as the same event, one parent at a time.
    const bool travelling = event == lastEvent_ && lastReceiver_ && receiver == lastReceiver_->parentWidget();
    lastEvent_ = event;
    lastReceiver_ = receiver;
    if (!travelling) onKey_(receiver, static_cast<QKeyEvent*>(event)->key());
    return false;
}

}  // namespace zelq
