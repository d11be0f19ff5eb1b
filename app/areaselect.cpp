#include "app/areaselect.h"

#include "platform/skin.h"

namespace zelq {

TFrmAreaSelect::TFrmAreaSelect(QWidget* owner) : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FrmAreaSelect"));
    setWindowTitle(QStringLiteral("请拖拉本窗体到合适位置，以确定录像区域"));
    setBackgroundColour(this, kWindowColour);
    move(231, 192);
    resize(281, 279);
}

}  // namespace zelq
