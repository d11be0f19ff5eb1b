#pragma once
// A window's key preview: every key pressed in the window reaches `onKey`, with the control it is meant
// for, before that control gets it, whichever control that is. The key is never taken away from it.
//
// A key a control ignores travels on to its parents as the same event; the preview sees it once, at the
// first control it reaches. UI thread only.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

class QKeyEvent;

namespace zelq {

class KeyPreview : public QObject {
    Q_OBJECT
public:
    KeyPreview(QWidget* window, std::function<void(QWidget* receiver, int key)> onKey);
    ~KeyPreview() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::function<void(QWidget*, int)> onKey_;
    // The last key event seen and the control it was seen at, to recognise it travelling on.
    const QEvent* lastEvent_ = nullptr;
    QPointer<QWidget> lastReceiver_;
};

}  // namespace zelq
