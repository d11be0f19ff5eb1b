#pragma once
// TFrmAreaSelect, the window that marks the rectangle to record. Its title bar and frame stay on screen
// while its client area is see-through except for a small centred panel, so the frame outlines the
// rectangle. The user drags and resizes it, or types its position and size into four boxes. Its outer
// bounds, title bar included, are what gets recorded. UI thread only.

#include <QLineEdit>
#include <QWidget>
#include <functional>

#include "platform/skin.h"

namespace zelq {

class Dialogs;

class TFrmAreaSelect : public QWidget {
    Q_OBJECT
public:
    TFrmAreaSelect(Dialogs& dialogs, QWidget* owner = nullptr);

    // What the main window does when the user confirms the area, and when the window is closed.
    std::function<void()> onConfirm;
    std::function<void()> onClose;

    QWidget* PnlMain = nullptr;
    SkinStrip* PnlTop = nullptr;
    SkinStrip* PnlBottom = nullptr;
    QLineEdit* EdtLeft = nullptr;
    QLineEdit* EdtTop = nullptr;
    QLineEdit* EdtWidth = nullptr;
    QLineEdit* EdtHeight = nullptr;
    SkinButton* BtnConfirm = nullptr;
    SkinButton* BtnClose = nullptr;

    // The outer bounds, as the boxes show them and as they are recorded.
    QRect outerBounds() const;

    void FormResize();
    void UpdateAreaEdits();
    void BtnConfirmClick();
    void BtnCloseClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Side { Left, Top, Width, Height };
    // Applies a box's number to the window; false when the text is no integer.
    bool applyBox(QLineEdit* box);
    Side sideOf(const QLineEdit* box) const;

    Dialogs& dialogs_;
    QSize centredFor_;  // the outer size the panel was last centred on
};

}  // namespace zelq
