#pragma once
// TFrmAreaSelect, the window that marks the rectangle to record. Its title bar and frame stay on screen
// while its client area is see-through except for a small centred panel, so the frame outlines the
// rectangle. The user drags and resizes it, or types its position and size into four boxes. Its outer
// bounds, title bar included, are what gets recorded. UI thread only.

#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <optional>

#include "platform/placementcheck.h"
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

    // Whether the window manager ignored where the window asked to be (a tiling desktop) and the window
    // is placed by its commands instead: typed numbers then go to it, and the stop window follows suit.
    bool placedByCommands() const { return placedByCommands_; }

    void FormResize();
    void UpdateAreaEdits();
    void BtnConfirmClick();
    void BtnCloseClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Side { Left, Top, Width, Height };
    // Applies a box's number to the window; false when the text is no integer.
    bool applyBox(QLineEdit* box);
    Side sideOf(const QLineEdit* box) const;
    // What the window manager did with a showing, and with a rectangle typed while it places the window.
    void judgeShowing(const QRect& asked);
    void showingPlaced(const PlacementResult& result, const QRect& asked);
    void typedPlaced(const PlacementResult& result, const QRect& asked);
    // On a desktop that places the window itself, the window is kept on its monitor: a part off the
    // monitor would be recorded black. False (and the window on its way back) when it was not.
    bool keptOnMonitor();

    Dialogs& dialogs_;
    QSize centredFor_;  // the outer size the panel was last centred on
    bool placedByCommands_ = false;
    // What the window manager did with the showing, or with typed bounds, is not known yet.
    bool placing_ = false;
    std::optional<QRect> pendingAsk_;  // bounds asked of the window manager, not yet reached
};

}  // namespace zelq
