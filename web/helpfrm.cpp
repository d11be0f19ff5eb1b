#include "web/helpfrm.h"

#include <QShowEvent>
#include <QVBoxLayout>

#include "platform/guard.h"
#include "platform/windowplacement.h"
#include "web/sitelinks.h"

namespace zelq {

TFrmHelp::TFrmHelp(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("FrmHelp"));
    setWindowTitle(QStringLiteral("ZELQ屏幕录像-帮助文档"));
    installSkinFrame(this);
    setOuterBounds(this, QRect(59, 3, 964, 756));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSkinMargins);
    layout->setSpacing(0);
    WebBrowser1 = new WebBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(41);
    setBackgroundColour(Panel2, kWindowColour);
    SpeedButton1 = namedSkinButton(Panel2, "SpeedButton1", QStringLiteral("关闭"));
    SpeedButton1->setGeometry(612, 2, 57, 26);
    layout->addWidget(WebBrowser1, 1);
    layout->addWidget(Panel2);

    connect(SpeedButton1, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { SpeedButton1Click(); }); });
}

void TFrmHelp::FormShow() { WebBrowser1->Navigate(SiteAddress(QStringLiteral("demo/screenrec/"))); }

void TFrmHelp::SpeedButton1Click() { close(); }

void TFrmHelp::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) swallowErrors([this] { FormShow(); });
}

}  // namespace zelq
