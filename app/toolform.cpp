#include "app/toolform.h"

#include <QCloseEvent>

#include "platform/guard.h"
#include "platform/windowplacement.h"

namespace zelq {

TFrmTool::TFrmTool(QWidget* owner)
    // System menu and help only: no minimise box, as a minimised stop window with the main window
    // hidden would leave the recording without a visible way to stop it.
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowSystemMenuHint | Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FrmTool"));
    setWindowTitle(QStringLiteral("区域屏幕录像"));
    setBackgroundColour(this, kWindowColour);
    setFixedSize(167, 144);
    BtnStopRec = new SkinButton(QStringLiteral("停止录像"), this);
    BtnStopRec->setObjectName(QStringLiteral("BtnStopRec"));
    BtnStopRec->setToolTip(QStringLiteral("停止录像"));
    BtnStopRec->setGeometry(24, 20, 119, 40);
    BtnPause = new SkinButton(QStringLiteral("暂停录像"), this);
    BtnPause->setObjectName(QStringLiteral("BtnPause"));
    BtnPause->setGeometry(24, 70, 119, 30);
    MmHint = new QPlainTextEdit(this);
    MmHint->setObjectName(QStringLiteral("MmHint"));
    MmHint->setFrameShape(QFrame::NoFrame);
    MmHint->setPlainText(QStringLiteral("毫秒/帧\n总帧数：\n忽略帧数：\n\n  "));
    MmHint->setGeometry(8, 70, 151, 66);
    MmHint->hide();
    refuseMinimise(this);
    connect(BtnStopRec, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { BtnStopRecClick(); }); });
    connect(BtnPause, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { BtnPauseClick(); }); });
}

void TFrmTool::BtnPauseClick() {
    if (onPause) onPause();
}

void TFrmTool::showPaused(bool paused) {
    BtnPause->setText(paused ? QStringLiteral("继续录像") : QStringLiteral("暂停录像"));
}

void TFrmTool::BtnStopRecClick() {
    if (onStop) onStop();
    hide();
}

void TFrmTool::closeEvent(QCloseEvent* event) {
    swallowErrors([this] {
        if (onStop) onStop();
    });
    event->accept();
}

}  // namespace zelq
