// Recording a headless Wayland desktop (sway, or GNOME's mutter) through the screen-cast portal and
// PipeWire, with the real engine: a known picture at a known place is recorded full screen and in an area,
// and the files are judged by ffprobe and ffmpeg against that picture, and on sway against grim, the
// desktop's own screenshot tool, as well.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPaintEvent>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <csignal>

#include "capture/scrcam/scrcam.h"
#include "capture/vfw/vfw_testkit.h"
#include "common/ffmpeg_frames.h"
#include "common/scripted_dialogs.h"
#include "platform/clock.h"
#include "platform/screen/portalsession.h"
#include "platform/screen/screensource.h"
#include "wayland_desktop.h"

using namespace zelq;

namespace {

const QString kDesktop = qEnvironmentVariable("ZELQ_WAYLAND_DIR");

// The process of one service of the test desktop, from DIR/pids.
qint64 servicePid(const QString& name) {
    QFile pids(QDir(kDesktop).filePath("pids"));
    if (!pids.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : pids.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2 && fields[0] == name.toUtf8())
            return fields[1].toLongLong();
    }
    return 0;
}

// The terminal on the test desktop stops scrolling while DIR/pause exists, and says so by DIR/paused once
// its last line is printed: on a loaded machine that line may come well after the pause was asked for.
// GNOME's test desktop has no terminal: it is still as it is.
void holdStill(bool still) {
    if (servicePid("foot") == 0)
        return;
    QFile pause(QDir(kDesktop).filePath("pause"));
    if (still) {
        ASSERT_TRUE(pause.open(QIODevice::WriteOnly));
        const QString paused = QDir(kDesktop).filePath("paused");
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(paused) && waited.elapsed() < 20000) QTest::qWait(20);
        ASSERT_TRUE(QFile::exists(paused));
    } else {
        pause.remove();
    }
}

// The desktop's picture of the rectangle (desktop coordinates) as grim takes it, at one pixel a unit.
QImage grim(const QRect& r) {
    QProcess p;
    p.start("grim",
            {"-s", "1", "-t", "ppm", "-g",
             QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()), "-"});
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return {};
    return QImage::fromData(p.readAllStandardOutput(), "PPM").convertToFormat(QImage::Format_RGB32);
}

// grim's picture once the desktop has drawn everything the terminal printed: two pictures alike, taken a
// moment apart (on a busy machine the terminal may draw its last line late).
QImage settledPicture(const QRect& r) {
    QImage last = grim(r);
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(300);
        QImage now = grim(r);
        if (now == last)
            return now;
        last = now;
    }
    return {};
}

// A window that shows a known picture at a known place of the desktop, above everything else; bypassing the
// window manager, no desktop moves or frames it. While it runs a small square crosses it, so that the
// desktop has pictures to send (and little to encode); stopped, the picture is whole again.
class KnownPicture final : public QWidget {
public:
    explicit KnownPicture(const QRect& where)
        : QWidget(nullptr,
                  Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
          picture_(picture(where.size())) {
        setGeometry(where);
        QObject::connect(&tick_, &QTimer::timeout, this, [this] {
            const QRect was = square();
            step_ = (step_ + 1) % (width() / kSquare);
            update(was.united(square()));
        });
        show();
    }
    void run(bool moving) {
        if (moving) {
            tick_.start(50);
        } else {
            tick_.stop();
            repaint();
        }
    }
    // Red climbs with x, green with y, both wrapping every 256 pixels, so that a picture taken one pixel
    // off differs everywhere.
    static QImage picture(const QSize& size) {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < size.width(); ++x) row[x] = qRgb(x & 255, y & 255, 96);
        }
        return image;
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.drawImage(event->rect(), picture_, event->rect());
        if (tick_.isActive())
            painter.fillRect(square(), Qt::black);
    }

private:
    static constexpr int kSquare = 32;
    QRect square() const { return {step_ * kSquare, 0, kSquare, kSquare}; }
    const QImage picture_;
    QTimer tick_;
    int step_ = 0;
};

bool onGnome() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP") == QLatin1String("GNOME");
}

// How many of GNOME's questions the test desktop's answerer has answered (a line each in DIR/answered).
int questionsAnswered() {
    QFile answered(QDir(kDesktop).filePath("answered"));
    return answered.open(QIODevice::ReadOnly) ? static_cast<int>(answered.readAll().count('\n')) : 0;
}

// What the answerer has done, for a failure to show.
std::string answererLog() {
    QFile log(QDir(kDesktop).filePath("logs/answerer.log"));
    return log.open(QIODevice::ReadOnly) ? log.readAll().toStdString() : std::string("(no log)");
}

struct Difference {
    int worst = 0;     // largest difference of one component
    double share = 0;  // share of pixels with a component more than `near` apart
};
Difference compare(const QImage& a, const QImage& b, int near) {
    Difference d;
    long long far = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int most = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                       std::abs(qBlue(p) - qBlue(q))});
            d.worst = std::max(d.worst, most);
            far += most > near;
        }
    }
    d.share = static_cast<double>(far) / (static_cast<double>(a.width()) * a.height());
    return d;
}

class WaylandRecording : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = zelq::test::waylandUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(dir.isValid());
        // The portal's permission token goes to the state folder of this test alone.
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
        engine = std::make_unique<TScreenCam>(&owner, dialogs, systemClock());
        engine->ShowFrame = false;
    }
    void TearDown() override { holdStill(false); }

    qint64 recordedMs = 0;  // from the last record()'s start to its stop

    // Records `area` (never shown: its bounds are what is recorded) while the terminal scrolls for
    // `scrollMs` and then stands still for `stillMs`; `still` receives grim's picture of the still screen.
    QString record(const QRect& area, int scrollMs, int stillMs, QImage* still, const QString& name) {
        QWidget source;
        source.setGeometry(area);
        const QString path = dir.filePath(name);
        if (known)
            known->run(true);
        // GNOME may ask first: the time counts from the recording's start.
        std::atomic<bool> started{false};
        engine->OnRecordStart = [&started](TScreenCam&) { started = true; };
        engine->StartRecording(&source, path);
        QElapsedTimer asked;
        asked.start();
        while (!started && asked.elapsed() < 60000) QTest::qWait(20);
        EXPECT_TRUE(started.load());
        QElapsedTimer recording;
        recording.start();
        // The known picture is whole again half a second before the terminal stops: its last change is
        // then followed by the terminal's, never at nearly the same moment.
        QTest::qWait(scrollMs - 500);
        if (known)
            known->run(false);
        QTest::qWait(500);
        holdStill(true);
        if (still)
            *still = settledPicture(area);
        QTest::qWait(stillMs);
        recordedMs = recording.elapsed();
        engine->StopRecording();
        EXPECT_TRUE(engine->waitForWorker(60000));
        engine->OnRecordStart = nullptr;
        holdStill(false);
        return path;
    }

    // Records an area, does `fault` to the desktop while it runs, and expects the recording to end by
    // itself with a message `saying` so, and the frames it had in a finished file.
    void endsByItselfAfter(const std::function<void()>& fault, const QString& saying, const QString& name) {
        bool lost = false;
        engine->OnScreenLost = [&lost](TScreenCam&) { lost = true; };
        QWidget source;
        source.setGeometry(100, 200, 640, 360);
        const QString path = dir.filePath(name);
        engine->StartRecording(&source, path);
        QTest::qWait(1500);
        ASSERT_TRUE(engine->Recording.load());
        fault();
        QElapsedTimer waited;
        waited.start();
        while (engine->Recording && dialogs.messages().empty() && waited.elapsed() < 30000) QTest::qWait(50);
        ASSERT_EQ(dialogs.messages().size(), 1u);
        EXPECT_TRUE(dialogs.messages().front().contains(saying)) << dialogs.messages().front().toStdString();
        EXPECT_TRUE(engine->waitForWorker(60000));
        EXPECT_TRUE(lost);
        const ::test::Probe p = ::test::probe(path);
        ASSERT_TRUE(p.ok) << p.errors.toStdString();
        EXPECT_EQ(p.width, 640);
        EXPECT_GE(p.headerFrames, 5);
        EXPECT_EQ(p.decodedFrames, static_cast<long long>(p.packetPositions.size()));
    }

    QTemporaryDir dir;
    std::unique_ptr<KnownPicture> known;  // frozen for the still part of each recording, where there is one
    QWidget owner;
    zelq::test::ScriptedDialogs dialogs;
    std::unique_ptr<TScreenCam> engine;
};

}  // namespace

// Full screen at the defaults (Microsoft Video 1, 10 a second) and an area losslessly (Huffyuv: ZMBV's
// motion search takes about 90 ms of a core for each frame of a changing screen, which a loaded machine
// cannot give ten times a second, and the positions it missed made the test fail), twice each:
// the size is the rectangle's, every position of the time grid has a frame (those of the still screen
// too, when the desktop sends no pictures at all), and the last frame shows the known picture where the
// monitor has it, and on sway is grim's picture of the whole rectangle. The desktop asks once: GNOME's
// question comes before the first recording only, answered as a person would (scripts/gnome-answer.py).
TEST_F(WaylandRecording, RecordsTheScreenAndAnAreaAsTheMonitorShowsThem) {
    engine->EnumerateCodecs();
    int huffyuv = -1;
    for (int i = 0; i < engine->CodecCount; ++i)
        if (engine->CodecList[static_cast<std::size_t>(i)].fccHandler == mmioFOURCC('H', 'F', 'Y', 'U'))
            huffyuv = i;
    ASSERT_GE(huffyuv, 0);
    const QRect screen(0, 0, 1920, 1080), area(100, 200, 640, 360), picture(400, 350, 800, 400);
    EXPECT_EQ(engine->ScreenWidth, 1920);
    EXPECT_EQ(engine->ScreenHeight, 1080);
    known = std::make_unique<KnownPicture>(picture);
    const bool grimWorks = !onGnome();
    for (int round = 0; round < 2; ++round) {
        for (const QRect& rect : {screen, area}) {
            SCOPED_TRACE(QStringLiteral("round %1, %2x%3")
                             .arg(round)
                             .arg(rect.width())
                             .arg(rect.height())
                             .toStdString());
            const bool lossless = rect == area;
            if (lossless)
                engine->SelectCodec(huffyuv);
            else
                engine->CodecFourCC = kCodecMSVC;
            QImage still;
            // Without grim to say when the desktop has drawn the still picture, it is given longer.
            const QString path =
                record(rect, 2000, grimWorks ? 1500 : 3000, grimWorks ? &still : nullptr,
                       QStringLiteral("%1-%2.avi").arg(round).arg(lossless ? "area" : "screen"));
            EXPECT_TRUE(dialogs.messages().empty()) << dialogs.messages().front().toStdString();

            const ::test::Probe p = ::test::probe(path);
            ASSERT_TRUE(p.ok) << p.errors.toStdString();
            EXPECT_EQ(p.width, rect.width());
            EXPECT_EQ(p.height, rect.height());
            EXPECT_EQ(p.frameRate, "10/1");
            // 3.5 s (5 s on GNOME) at 10 a second, or longer when grim took its time over the still
            // picture on a busy machine: never more than the time until the stop, and a second's slack.
            EXPECT_GE(p.headerFrames, 25);
            EXPECT_LE(p.headerFrames, recordedMs / 100 + 10);
            // The still screen's positions (the last second at least) have frames of their own, though the
            // desktop sends no pictures then: a fault leaves them all empty, while a machine at a load of
            // 13 to 19 on 2 cores left up to four empty for want of time.
            const long long stillFrom = p.headerFrames - 10;
            const auto stillFrames = std::count_if(p.packetPositions.begin(), p.packetPositions.end(),
                                                   [&](long long at) { return at >= stillFrom; });
            EXPECT_GE(stillFrames, 5) << ::testing::PrintToString(p.packetPositions);

            const QImage last = zelq::test::lastFrameByFfmpeg(path, rect.width(), rect.height());
            ASSERT_EQ(last.size(), rect.size());
            // Five bits a component and four-by-four blocks: close everywhere, exact nowhere.
            const int near = lossless ? 0 : 24;
            const double far = lossless ? 0 : 0.02;
            const QRect shown = picture.intersected(rect);
            const Difference k = compare(
                last.copy(shown.translated(-rect.topLeft())),
                KnownPicture::picture(picture.size()).copy(shown.translated(-picture.topLeft())), near);
            EXPECT_LE(k.share, far) << "the known picture, worst " << k.worst;
            if (grimWorks) {
                // The rest of the rectangle (the terminal) against grim; the known picture, judged above,
                // is left out, its sharp edges adding block errors of their own to the lossy share.
                ASSERT_EQ(last.size(), still.size());
                QImage recorded = last, seen = still;
                QPainter(&recorded).fillRect(shown.translated(-rect.topLeft()), Qt::black);
                QPainter(&seen).fillRect(shown.translated(-rect.topLeft()), Qt::black);
                const Difference d = compare(recorded, seen, near);
                EXPECT_LE(d.share, far) << "grim's picture, worst " << d.worst;
            }
        }
    }
    // Asked once, remembered: the desktop's token is in the state folder, never in the settings.
    QFile token(PortalSession::restoreTokenPath());
    ASSERT_TRUE(token.open(QIODevice::ReadOnly));
    EXPECT_FALSE(token.readAll().trimmed().isEmpty());
    if (onGnome()) {
        EXPECT_EQ(questionsAnswered(), 1);
    }
}

// GNOME: a stop while the desktop asks which monitor to share leaves the question to the person, and
// GNOME's portal working: once the person has answered, the next recording asks again and records.
TEST_F(WaylandRecording, StopWhileGnomeAsksLeavesThePortalWorking) {
    ASSERT_TRUE(onGnome());
    const int answeredBefore = questionsAnswered();
    QFile hold(QDir(kDesktop).filePath("hold"));
    ASSERT_TRUE(hold.open(QIODevice::WriteOnly));
    QWidget source;
    source.setGeometry(100, 200, 640, 360);
    const QString unasked = dir.filePath("stopped.avi");
    engine->StartRecording(&source, unasked);
    const QString asking = QDir(kDesktop).filePath("asking");
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(asking) && waited.elapsed() < 30000) QTest::qWait(50);
    ASSERT_TRUE(QFile::exists(asking));
    engine->StopRecording();
    ASSERT_TRUE(engine->waitForWorker(30000));
    EXPECT_TRUE(dialogs.messages().empty()) << dialogs.messages().front().toStdString();
    EXPECT_FALSE(QFile::exists(unasked));
    // The person answers the question left open; the program drops the answer.
    hold.remove();
    waited.restart();
    while (QFile::exists(asking) && waited.elapsed() < 30000) QTest::qWait(50);
    ASSERT_FALSE(QFile::exists(asking)) << answererLog();

    const QString path = record(source.geometry(), 1000, 500, nullptr, "after.avi");
    EXPECT_TRUE(dialogs.messages().empty()) << dialogs.messages().front().toStdString();
    EXPECT_TRUE(QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.freedesktop.impl.portal.desktop.gnome")));
    const ::test::Probe p = ::test::probe(path);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 360);
    EXPECT_GE(p.headerFrames, 10);
    EXPECT_EQ(questionsAnswered(), answeredBefore + 2);
}

// PipeWire going away mid-recording (restarted, say): the recording ends by itself with a message, and the
// frames it had are in a finished file. (The compositor itself cannot be ended here: Xwayland, and with
// it the program's windows, go with it.)
TEST_F(WaylandRecording, StreamGoneEndsTheRecordingWithAFinishedFile) {
    endsByItselfAfter(
        [] {
            const qint64 pipewire = servicePid("pipewire");
            ASSERT_GT(pipewire, 0);
            ::kill(static_cast<pid_t>(pipewire), SIGKILL);
        },
        QStringLiteral("画面流（PipeWire）中断了"), "gone.avi");
}

// A monitor scaled by 2 (the desktop runs with ZELQ_WAYLAND_SCALE=2): Xwayland, and so the rectangle, is in
// the desktop's units, the monitor's picture has twice as many pixels each way. The area must come from
// the same place of the desktop as grim's picture of it, at the rectangle's size.
TEST_F(WaylandRecording, ScaledMonitorRecordsTheAreaWhereXwaylandHasIt) {
    ASSERT_EQ(qEnvironmentVariable("ZELQ_WAYLAND_SCALE"), "2");
    EXPECT_EQ(engine->ScreenWidth, 960);
    EXPECT_EQ(engine->ScreenHeight, 540);
    const QRect area(100, 150, 320, 180);
    QImage still;
    const QString path = record(area, 1000, 1000, &still, "scaled.avi");
    EXPECT_TRUE(dialogs.messages().empty());
    const ::test::Probe p = ::test::probe(path);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 180);
    const QImage last = zelq::test::lastFrameByFfmpeg(path, area.width(), area.height());
    ASSERT_EQ(last.size(), still.size());
    // Both halve the monitor's pixels, each with its own filter, and the recording is 16-bit: close, not
    // equal. A rectangle taken from the wrong place shows other lines of text, far apart.
    EXPECT_LT(compare(last, still, 64).share, 0.03);
}

// No screen-sharing service on the bus (the desktop's portal has ended): the start ends with a message
// that says so, no file is made, and the engine is ready for the next start.
TEST_F(WaylandRecording, NoPortalEndsTheStartWithoutAFile) {
    const qint64 portal = servicePid("portal");
    ASSERT_GT(portal, 0);
    ::kill(static_cast<pid_t>(portal), SIGKILL);
    // Gone from the bus once the bus has noticed.
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    for (int i = 0; i < 200 && bus->isServiceRegistered(QStringLiteral("org.freedesktop.portal.Desktop"));
         ++i)
        QTest::qWait(50);
    bool lost = false;
    engine->OnScreenLost = [&lost](TScreenCam&) { lost = true; };
    QWidget source;
    source.setGeometry(100, 200, 640, 360);
    const QString path = dir.filePath("none.avi");
    for (int round = 0; round < 2; ++round) {
        lost = false;
        dialogs.clear();
        engine->StartRecording(&source, path);
        EXPECT_TRUE(engine->waitForWorker(60000));
        ASSERT_EQ(dialogs.messages().size(), 1u);
        EXPECT_TRUE(dialogs.messages().front().contains(QStringLiteral("找不到桌面的屏幕共享服务")))
            << dialogs.messages().front().toStdString();
        EXPECT_TRUE(lost);
        EXPECT_FALSE(QFile::exists(path));
        EXPECT_TRUE(engine->RecordingFile().isEmpty());
    }
}

// The monitor changing size mid-recording (another mode, or unplugged and replaced): the rectangle means
// nothing on the new picture, so the recording ends with a message and the frames it had in a finished
// file.
TEST_F(WaylandRecording, MonitorResizedEndsTheRecordingWithAFinishedFile) {
    endsByItselfAfter(
        [] {
            QProcess::execute("swaymsg", {"output", "HEADLESS-1", "resolution", "1280x720"});
        },
        QStringLiteral("显示器的大小变了"), "resized.avi");
}
