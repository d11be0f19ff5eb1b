#pragma once
// TFrmTool, the small stay-on-top window beside a recorded area that stops the recording. UI thread only.

#include <QPlainTextEdit>
#include <QWidget>

#include "platform/skin.h"

namespace zelq {

class TFrmTool : public QWidget {
    Q_OBJECT
public:
    explicit TFrmTool(QWidget* owner = nullptr);

    SkinButton* BtnStopRec = nullptr;
    SkinButton* BtnPause = nullptr;
    QPlainTextEdit* MmHint = nullptr;
};

}  // namespace zelq
