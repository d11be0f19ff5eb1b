// engine_pattern: a full-screen window whose every pixel changes every frame, for the engine bench to
// record. A colour gradient scrolls sideways, a dozen boxes bounce about and a clock with milliseconds
// sits in the middle. It runs as a process of its own so that its drawing is not counted against the
// recorder.
//
// It talks to the bench over its standard streams: it writes "ready" once the first full frame has been
// painted; each line it reads is answered with the number of frames painted so far; end of input quits.
#include <unistd.h>
#include <QApplication>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <vector>

namespace {

constexpr int kFrameMs = 33;     // about 30 frames a second: every 100 ms capture sees a new picture
constexpr int kScrollStep = 12;  // pixels the gradient moves a frame
constexpr int kBoxes = 12;

class PatternWindow final : public QWidget {
public:
    PatternWindow() {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setCursor(Qt::BlankCursor);
        connect(&timer_, &QTimer::timeout, this, [this] {
            ++frame_;
            update();
        });
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.start(kFrameMs);
    }

    long long painted() const { return painted_; }

protected:
    void resizeEvent(QResizeEvent*) override { strip_ = makeStrip(width(), height()); }

    void paintEvent(QPaintEvent*) override {
        const int w = width(), h = height();
        QPainter p(this);
        // The strip is two periods wide, so any window of one screen width onto it is seamless.
        p.drawImage(QPoint(0, 0), strip_, QRect((frame_ * kScrollStep) % w, 0, w, h));
        for (int i = 0; i < kBoxes; ++i) {
            const int bw = 160, bh = 120;
            const int x = bounce(frame_ * (5 + 2 * i) + i * 397, w - bw);
            const int y = bounce(frame_ * (3 + i) + i * 211, h - bh);
            p.fillRect(x, y, bw, bh, QColor::fromHsv((i * 30 + frame_ * 4) % 360, 230, 240));
        }
        QFont font = p.font();
        font.setPixelSize(96);
        p.setFont(font);
        p.setPen(Qt::white);
        const QString clock = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("%1\nframe %2").arg(clock).arg(frame_));
        ++painted_;
        if (painted_ == 1 && w > 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }

private:
    // A position that runs from 0 to span and back.
    static int bounce(int t, int span) {
        if (span <= 0)
            return 0;
        const int period = 2 * span;
        const int m = t % period;
        return m < span ? m : period - m;
    }

    // Hue along x (one full turn per screen width, twice over), brightness bands along y.
    static QImage makeStrip(int w, int h) {
        if (w <= 0 || h <= 0)
            return {};
        QImage strip(2 * w, h, QImage::Format_RGB32);
        std::vector<QRgb> hues(static_cast<std::size_t>(w));
        for (int x = 0; x < w; ++x)
            hues[static_cast<std::size_t>(x)] = QColor::fromHsv(x * 360 / w, 200, 255).rgb();
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
            const int shade = 96 + (y * 5 % 160);
            for (int x = 0; x < 2 * w; ++x) {
                const QRgb c = hues[static_cast<std::size_t>((x + y / 2) % w)];
                line[x] = qRgb(qRed(c) * shade / 255, qGreen(c) * shade / 255, qBlue(c) * shade / 255);
            }
        }
        return strip;
    }

    QTimer timer_;
    QImage strip_;
    int frame_ = 0;
    long long painted_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PatternWindow window;
    window.showFullScreen();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            app.quit();
            return;
        }
        for (ssize_t i = 0; i < n; ++i)
            if (buffer[i] == '\n')
                std::printf("%lld\n", window.painted());
        std::fflush(stdout);
    });
    return app.exec();
}
