#include "web/helpfrm.h"

#include "platform/skin.h"

namespace zelq {

TFrmHelp::TFrmHelp(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("FrmHelp"));
    setWindowTitle(QStringLiteral("ZELQ屏幕录像-帮助文档"));
    setBackgroundColour(this, kWindowColour);
    setGeometry(59, 3, 964, 756);
}

}  // namespace zelq
