#pragma once
// TFrmTool, the small stay-on-top window beside a recorded area that stops the recording. UI thread only.

#include <QPlainTextEdit>
#include <QWidget>
#include <functional>

#include "platform/skin.h"

namespace zelq {

class TFrmTool : public QWidget {
    Q_OBJECT
public:
    explicit TFrmTool(QWidget* owner = nullptr);

    // The main window's stop, run by the stop button and by closing the window.
    std::function<void()> onStop;
    // The main window's pause or resume, run by the pause button.
    std::function<void()> onPause;

    void BtnStopRecClick();
    void BtnPauseClick();
    // The pause button's caption: 继续录像 while the recording is paused.
    void showPaused(bool paused);

    SkinButton* BtnStopRec = nullptr;
    SkinButton* BtnPause = nullptr;
    QPlainTextEdit* MmHint = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace zelq
