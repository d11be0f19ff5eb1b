// The moving picture for msvc_live_bench: a window with a big clock showing tenths of a second, redrawn
// every 100 ms, as a clock or a timer on a desktop is. It runs as a process of its own so that its
// drawing is not counted in the recorder's CPU time. It prints "ready" once the window is on screen.
//
// Usage: msvc_clock
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QTime>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel clock;
    clock.setWindowTitle(QStringLiteral("clock"));
    QFont font = clock.font();
    font.setPixelSize(160);
    font.setBold(true);
    clock.setFont(font);
    clock.setAlignment(Qt::AlignCenter);
    clock.setStyleSheet(QStringLiteral("background: #f4f4ec; color: #202060;"));
    clock.setGeometry(360, 380, 1200, 280);
    const auto tick = [&clock] {
        const QTime now = QTime::currentTime();
        clock.setText(now.toString(QStringLiteral("hh:mm:ss.")) + QString::number(now.msec() / 100));
    };
    tick();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &clock, tick);
    timer.start(100);
    clock.show();
    // Once the window manager has mapped and the first paint is done.
    QTimer::singleShot(800, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    return app.exec();
}
