#include "web/mymessage.h"

#include "platform/skin.h"

namespace zelq {

TFrmMyMessage::TFrmMyMessage(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FrmMyMessage"));
    setBackgroundColour(this, kWindowColour);
    setFixedSize(307, 215);
}

}  // namespace zelq
