#include "web/mymessage.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "platform/guard.h"
#include "platform/switchtimer.h"
#include "web/checkwebpage.h"
#include "web/sitelinks.h"

namespace zelq {

namespace {

// The window's background picture: a blue title band with a close mark at its right end over a white
// content field.
QPixmap messagePicture(QSize size) {
    QPixmap pixmap = sharpPixmap(size);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 0, 27);
    band.setColorAt(0, QColor(70, 132, 206));
    band.setColorAt(1, QColor(36, 92, 168));
    p.fillRect(QRect(0, 0, size.width(), 27), band);
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(287, 9, 296, 18);
    p.drawLine(296, 9, 287, 18);
    p.setPen(QColor(36, 92, 168));
    p.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
    return pixmap;
}

// A flat button without a face: it lies over the close mark of the picture.
class FacelessButton final : public QAbstractButton {
public:
    using QAbstractButton::QAbstractButton;

protected:
    void paintEvent(QPaintEvent*) override {}
};

}  // namespace

TFrmMyMessage::TFrmMyMessage(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FrmMyMessage"));
    setBackgroundColour(this, kWindowColour);
    setFixedSize(307, 215);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(rect());
    Image1->setPixmap(messagePicture(size()));

    LblTitle = new QLabel(this);
    LblTitle->setObjectName(QStringLiteral("LblTitle"));
    QFont titleFont(QStringLiteral("宋体"));
    titleFont.setPixelSize(13);
    LblTitle->setFont(titleFont);
    LblTitle->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    LblTitle->setGeometry(12, 7, 260, 15);

    SpeedButton1 = new FacelessButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(282, 5, 19, 17);
    SpeedButton1->setCursor(Qt::PointingHandCursor);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(10, 30, 287, 171);
    Panel1->setAutoFillBackground(true);
    Panel1->setPalette(QPalette(Qt::white));
    WebBrowser1 = new WebBrowser(Panel1);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(-4, -4, Panel1->width() + 8, Panel1->height() + 8);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(10000);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(500);

    connect(Timer1, &QTimer::timeout, this, [this] { swallowErrors([this] { Timer1Timer(); }); });
    connect(Timer2, &QTimer::timeout, this, [this] { swallowErrors([this] { Timer2Timer(); }); });
    connect(WebBrowser1, &WebBrowser::NavigateComplete2, this,
            [this] { swallowErrors([this] { WebBrowser1NavigateComplete2(); }); });
    connect(SpeedButton1, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { SpeedButton1Click(); }); });
    FormCreate();
}

void TFrmMyMessage::FormCreate() {
    swallowErrors([this] {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        move(screen.width() - width() - 20, screen.height() - height() - 30);
        WebBrowser1->move(-2000, WebBrowser1->y());
    });
}

void TFrmMyMessage::Timer1Timer() {
    if (!swallowErrors([this] {
            if (PageNumber > 9) PageNumber = 0;
            ++PageNumber;
            const QString address =
                QStringLiteral("%1/%2.html").arg(SiteAddress(QStringLiteral("screenrec1_1/scroll"))).arg(PageNumber);
            WebBrowser1->move(-2000, WebBrowser1->y());
            WebBrowser1->Navigate(address);
        })) {
        Timer1->stop();
    }
}

void TFrmMyMessage::WebBrowser1NavigateComplete2() { switchOn(Timer2); }

void TFrmMyMessage::Timer2Timer() {
    if (!swallowErrors([this] {
            Timer2->stop();
            CheckWebPage(WebBrowser1, Panel1->width(), Panel1->height(), [this](const QString& title) {
                LblTitle->setText(title);
                if (isHidden()) show();
            });
        })) {
        Timer2->stop();
    }
}

void TFrmMyMessage::SpeedButton1Click() { close(); }

void TFrmMyMessage::closeEvent(QCloseEvent* event) {
    // Closing only hides the window; the page cycle stops with it.
    Timer1->stop();
    Timer2->stop();
    event->accept();
}

}  // namespace zelq
