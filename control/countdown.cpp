#include "control/countdown.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "platform/screenpixels.h"

namespace zelq::control {

namespace {

// The time the window system is given to take the window off the screen before the first grab: the
// numbers must never be in the recording.
constexpr int kGoneMs = 250;

}  // namespace

Countdown::Countdown(int seconds, const QRect& recorded, std::function<void()> done)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus),
      left_(seconds),
      done_(std::move(done)) {
    setObjectName(QStringLiteral("Countdown"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    const QScreen* screen = QGuiApplication::screenAt(toLogicalPixels(recorded, pixelScaleAt(recorded.center())).center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect monitor = screen ? screen->geometry() : QRect(0, 0, 800, 600);
    const int side = std::min(monitor.width(), monitor.height()) / 3;
    setGeometry(QRect(0, 0, side, side).translated(monitor.center() - QPoint(side / 2, side / 2)));
    connect(&timer_, &QTimer::timeout, this, &Countdown::tick);
    timer_.start(1000);
    show();
}

void Countdown::tick() {
    if (--left_ > 0) {
        update();
        return;
    }
    timer_.stop();
    hide();
    QTimer::singleShot(kGoneMs, this, [this] {
        if (done_) done_();
    });
}

void Countdown::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(30, 30, 30));
    QFont font = painter.font();
    font.setPixelSize(height() * 2 / 3);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, QString::number(left_));
}

}  // namespace zelq::control
