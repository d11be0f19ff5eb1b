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

    void BtnStopRecClick();
    void BtnPauseClick() {}

    SkinButton* BtnStopRec = nullptr;
    SkinButton* BtnPause = nullptr;
    QPlainTextEdit* MmHint = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace zelq
