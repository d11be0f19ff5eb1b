// Marking an area on sway, which puts every window into a tile and ignores where an X window asks to be:
// the main window as the program makes it, on the headless test desktop. A pattern that names each
// pixel's place covers the monitor, so a decoded frame says exactly which rectangle was recorded.
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <functional>
#include <optional>

#include "app/areaselect.h"
#include "app/toolform.h"
#include "capture/scrcam/scrcam.h"
#include "capture/vfw/vfw_testkit.h"
#include "common/ffmpeg_frames.h"
#include "mainwindow_fixture.h"
#include "platform/windowplacement.h"
#include "wayland_desktop.h"

using namespace zelq;
using zelq::test::MainWindowTest;

namespace {

// Each pixel's colour is its place on the monitor: no two pixels of 1920 x 1080 alike.
QRgb patternAt(int x, int y) {
    return qRgb(x & 255, y & 255, ((x >> 8) << 4) | (y >> 8));
}

class PatternWindow : public QWidget {
public:
    PatternWindow() {
        setWindowTitle(QStringLiteral("pattern"));
        const QSize size = QGuiApplication::primaryScreen()->geometry().size();
        image_ = QImage(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) image_.setPixel(x, y, patternAt(x, y));
        resize(size);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, image_); }

private:
    QImage image_;
};

std::string text(const std::optional<QRect>& r) {
    if (!r)
        return "nowhere";
    return QStringLiteral("%1,%2 %3x%4")
        .arg(r->x())
        .arg(r->y())
        .arg(r->width())
        .arg(r->height())
        .toStdString();
}

bool waitFor(const std::function<bool()>& done, int ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(25);
    }
    return true;
}

QString swaymsg(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("swaymsg"), args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Where sway has the X window: its own judge, besides the X server's.
std::optional<QRect> swayRect(WId window) {
    std::function<std::optional<QRect>(const QJsonObject&)> find =
        [&](const QJsonObject& node) -> std::optional<QRect> {
        if (static_cast<WId>(node.value("window").toInteger()) == window) {
            const QJsonObject r = node.value("rect").toObject();
            return QRect(r.value("x").toInt(), r.value("y").toInt(), r.value("width").toInt(),
                         r.value("height").toInt());
        }
        for (const char* list : {"nodes", "floating_nodes"})
            for (const QJsonValue& child : node.value(list).toArray())
                if (auto found = find(child.toObject()))
                    return found;
        return std::nullopt;
    };
    return find(QJsonDocument::fromJson(swaymsg({"-t", "get_tree"}).toUtf8()).object());
}

// Types a number into a box and presses Enter, as a person does.
void type(QLineEdit* box, int value) {
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::number(value));
    QTest::keyClick(box, Qt::Key_Return);
}

class SwayArea : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (const std::string why = zelq::test::waylandUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
        // The pattern floats over the whole monitor, beneath the program's windows, which come later.
        pattern.show();
        ASSERT_TRUE(waitFor([&] { return swayRect(pattern.winId()).has_value(); }));
        const QString floatPattern = QStringLiteral(
                                         "[id=%1] floating enable, border none, resize set 1920 1080, "
                                         "move absolute position 0 0")
                                         .arg(pattern.winId());
        QString said;
        // Asked again until it is done: sway may not have finished mapping the window at the first ask.
        ASSERT_TRUE(waitFor([&] {
            if (placedBounds(&pattern) == QRect(0, 0, 1920, 1080))
                return true;
            said = swaymsg({floatPattern});
            QTest::qWait(200);
            return false;
        })) << text(placedBounds(&pattern))
            << ", sway: " << text(swayRect(pattern.winId())) << " " << said.toStdString();
        QTest::qWait(300);  // drawn
        TFrmScreenCam& w = open();
        w.CaptureEngine->EnumerateCodecs();
        for (int i = 0; i < w.CaptureEngine->CodecCount; ++i)
            if (w.CaptureEngine->CodecList[static_cast<std::size_t>(i)].fccHandler ==
                mmioFOURCC('Z', 'M', 'B', 'V'))
                w.CaptureEngine->SelectCodec(i);
        w.show();
    }
    void TearDown() override {
        if (window)
            window->hide();
        MainWindowTest::TearDown();
    }

    // Opens the area window, as its button does, and waits until sway, which tiles it first, has it
    // floating where it asked to be: `asked`, the boxes' bounds when it was last closed.
    TFrmAreaSelect* openArea(const QRect& asked) {
        window->BtnAreaScreenREC->click();
        TFrmAreaSelect* area = window->FrmAreaSelect;
        if (!area || !waitFor([&] { return swayRect(area->winId()) == asked && boxes(area) == asked; }))
            return nullptr;
        return area;
    }
    static QRect boxes(const TFrmAreaSelect* area) {
        return QRect(area->EdtLeft->text().toInt(), area->EdtTop->text().toInt(),
                     area->EdtWidth->text().toInt(), area->EdtHeight->text().toInt());
    }
    const QRect designBounds{231, 192, 265, 265};

    PatternWindow pattern;
};

}  // namespace

// Typed into the boxes, away from any tile: sway has the window there, the stop window is beside the area
// and not over it, and every pixel of the last frame is the pattern's pixel of that place. Twice, since
// sway puts the window back into a tile each time it is shown again.
TEST_F(SwayArea, TheTypedRectangleIsWhatIsRecordedAndTheStopWindowIsOutsideIt) {
    TFrmScreenCam& w = *window;
    const QRect targets[] = {QRect(613, 287, 480, 320), QRect(1201, 611, 400, 240)};
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        const QRect target = targets[round - 1];
        TFrmAreaSelect* area = openArea(round == 1 ? designBounds : targets[0]);
        ASSERT_TRUE(area);
        type(area->EdtWidth, target.width());
        type(area->EdtHeight, target.height());
        type(area->EdtLeft, target.left());
        type(area->EdtTop, target.top());
        // Where sway has it, the X server too, and the boxes say so.
        ASSERT_TRUE(waitFor([&] {
            return swayRect(area->winId()) == target && placedBounds(area) == target && boxes(area) == target;
        })) << text(placedBounds(area))
            << ", sway: " << text(swayRect(area->winId()));

        // The engine counts a recording's frames from its first picture on; until then it shows the last
        // recording's count.
        w.CaptureEngine->Stats.FramesWritten = 0;
        QTest::mouseClick(area->BtnConfirm, Qt::LeftButton);
        ASSERT_TRUE(w.FrmTool);
        ASSERT_TRUE(waitFor([&] { return w.CaptureEngine->Recording.load(); }));
        const std::optional<QRect> tool = swayRect(w.FrmTool->winId());
        ASSERT_TRUE(tool.has_value());
        EXPECT_FALSE(tool->intersects(target));
        EXPECT_FALSE(placedBounds(w.FrmTool).value_or(target).intersects(target));
        // Some frames first: on a busy machine the desktop takes a while to start sending pictures.
        ASSERT_TRUE(waitFor([&] { return w.CaptureEngine->Stats.FramesWritten >= 10; }, 60000));
        QTest::mouseClick(w.FrmTool->BtnStopRec, Qt::LeftButton);
        ASSERT_TRUE(w.CaptureEngine->waitForWorker(30000));
        EXPECT_TRUE(w.isVisible());

        const QString file = recordingFolder() + QStringLiteral("%1.avi").arg(round);
        const ::test::Probe p = ::test::probe(file);
        ASSERT_TRUE(p.ok) << p.errors.toStdString();
        EXPECT_EQ(p.codecTag, "ZMBV");
        EXPECT_EQ(p.width, target.width());
        EXPECT_EQ(p.height, target.height());
        EXPECT_GE(p.headerFrames, 5);
        const QImage last = zelq::test::lastFrameByFfmpeg(file, target.width(), target.height());
        ASSERT_EQ(last.size(), target.size());
        int wrong = 0;
        QPoint firstWrong;
        for (int y = 0; y < last.height(); ++y)
            for (int x = 0; x < last.width(); ++x)
                if ((last.pixel(x, y) & 0xffffff) != (patternAt(target.x() + x, target.y() + y) & 0xffffff) &&
                    !wrong++)
                    firstWrong = {x, y};
        EXPECT_EQ(wrong, 0) << "first at " << firstWrong.x() << "," << firstWrong.y();
    }
    EXPECT_TRUE(dialogs.messages().empty()) << dialogs.messages().front().toStdString();
}

// What cannot be done is said, and the program goes back to where it was: no commands to place windows
// with, an area partly off the monitor, and the monitor changing size under a recording (last: it
// changes the desktop).
TEST_F(SwayArea, WhatCannotBeDoneIsSaidAndTheMainWindowComesBack) {
    TFrmScreenCam& w = *window;
    // sway's socket out of reach: the area window cannot be placed, and says so.
    const QByteArray socket = qgetenv("SWAYSOCK");
    qunsetenv("SWAYSOCK");
    w.BtnAreaScreenREC->click();
    ASSERT_TRUE(waitFor([&] { return !dialogs.messages().empty(); }));
    qputenv("SWAYSOCK", socket);
    EXPECT_TRUE(dialogs.messages().front().contains(QStringLiteral("请改用全屏录像")))
        << dialogs.messages().front().toStdString();
    EXPECT_FALSE(w.FrmAreaSelect->isVisible());
    EXPECT_TRUE(w.isVisible());
    dialogs.clear();

    // Partly off the monitor's right edge: moved back onto it before anything is recorded.
    TFrmAreaSelect* area = openArea(designBounds);
    ASSERT_TRUE(area);
    type(area->EdtWidth, 480);
    type(area->EdtHeight, 320);
    type(area->EdtTop, 500);
    type(area->EdtLeft, 1700);
    ASSERT_TRUE(waitFor([&] { return placedBounds(area) == QRect(1700, 500, 480, 320); }));
    QTest::mouseClick(area->BtnConfirm, Qt::LeftButton);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_TRUE(dialogs.messages().front().contains(QStringLiteral("显示器之外")));
    EXPECT_FALSE(w.CaptureEngine->Recording.load());
    const QRect inside(1440, 500, 480, 320);
    ASSERT_TRUE(waitFor([&] { return placedBounds(area) == inside && area->outerBounds() == inside; }));
    dialogs.clear();

    // Confirmed again, it records; the monitor then changes size: the recording ends by itself, with the
    // frames it had in a finished file, and the main window is back.
    QTest::mouseClick(area->BtnConfirm, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.CaptureEngine->Stats.FramesWritten >= 10; }, 60000));
    swaymsg({"output", "HEADLESS-1", "resolution", "1280x720"});
    ASSERT_TRUE(waitFor([&] { return !w.CaptureEngine->Recording && w.isVisible(); }, 30000));
    ASSERT_TRUE(w.CaptureEngine->waitForWorker(30000));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_TRUE(dialogs.messages().front().contains(QStringLiteral("显示器的大小变了")));
    const ::test::Probe p = ::test::probe(recordingFolder() + "1.avi");
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.width, 480);
    EXPECT_EQ(p.height, 320);
    EXPECT_GE(p.headerFrames, 5);
}
