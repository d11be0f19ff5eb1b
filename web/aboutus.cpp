#include "web/aboutus.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "platform/guard.h"
#include "platform/windowplacement.h"
#include "web/bundledsite.h"

namespace zelq {

namespace {

// The picture of the content area (window coordinates less the skin's left and top strips). The site
// line sits where Label1 lies across it, at 130,124 of the window.
QPixmap aboutPicture(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(colourFromBgr(kWindowColour));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, size.width(), 0);
    band.setColorAt(0, QColor(40, 104, 176));
    band.setColorAt(1, QColor(120, 170, 224));
    p.fillRect(QRect(0, 0, size.width(), 62), band);

    QFont font(QStringLiteral("黑体"));
    font.setPixelSize(26);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(16, 0, size.width() - 32, 62), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("ZELQ屏幕录像助手"));

    font.setPixelSize(14);
    font.setBold(false);
    p.setFont(font);
    p.setPen(QColor(24, 52, 92));
    const int left = 30;
    p.drawText(QPoint(left, 94), QStringLiteral("版本：1.2"));
    p.drawText(QPoint(left, 116), QStringLiteral("制作：ZELQ 屏幕录像开发组"));
    p.drawText(QPoint(left, 138), QStringLiteral("网站：程序自带的帮助网站（点击打开）"));
    p.drawText(QPoint(left, 160), QStringLiteral("反馈：请参看帮助文档中的“常见问题”"));
    p.drawText(QPoint(left, 182), QStringLiteral("许可：GPL-3.0-or-later"));
    return pixmap;
}

}  // namespace

TFrmVersion::TFrmVersion(ShellOpener open, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowCloseButtonHint | Qt::WindowTitleHint), open_(std::move(open)) {
    setObjectName(QStringLiteral("FrmVersion"));
    setWindowTitle(QStringLiteral("关于..."));
    installSkinFrame(this);
    setOuterBounds(this, QRect(256, 197, 388, 281));

    const QRect content = rect().marginsRemoved(kSkinMargins);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(content);
    Image1->setPixmap(aboutPicture(content.size()));

    Label1 = new QLabel(QString(20, QLatin1Char('_')), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont linkFont(QStringLiteral("黑体"));
    linkFont.setPixelSize(21);
    linkFont.setUnderline(true);
    Label1->setFont(linkFont);
    Label1->setStyleSheet(QStringLiteral("color: rgb(40,104,176); background: transparent;"));
    Label1->setGeometry(130, 124, 210, 21);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);

    SpeedButton1 = namedSkinButton(this, "SpeedButton1", QStringLiteral("关闭"));
    SpeedButton1->setGeometry(252, 205, 57, 26);
    connect(SpeedButton1, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { SpeedButton1Click(); }); });
}

void TFrmVersion::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The picture fills the content area, which shrinks once the window manager's frame is known.
    if (Image1) Image1->setGeometry(rect().marginsRemoved(kSkinMargins));
}

void TFrmVersion::Label1Click() {
    open_(DesktopAddress(SiteAddress(QString())));
}

void TFrmVersion::SpeedButton1Click() { close(); }

bool TFrmVersion::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        swallowErrors([this] { Label1Click(); });
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zelq
