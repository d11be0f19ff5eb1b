// The road of one recording, walked as a person walks it: the real program on its own X server, driven
// with the mouse and the keyboard, its files read back by ffprobe.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QThread>
#include <QWidget>
#include <iostream>

#include "app/optdlg.h"
#include "app/optionscales.h"
#include "app/screencam.h"
#include "common/ffmpeg_frames.h"
#include "common/scripted_dialogs.h"
#include "common/soundprobe.h"
#include "mainwindowplaces.h"
#include "rootpattern.h"
#include "session.h"

using namespace zelq;
using namespace zelq::e2e;

namespace {

// Where a control of the options dialog sits in its client area, measured the same way.
template <typename Control>
QPoint optionControl(Control* TOptionDlg::*control) {
    TOptionDlg dialog(nullptr, nullptr);
    dialog.setAttribute(Qt::WA_DontShowOnScreen);
    dialog.show();
    QWidget* w = dialog.*control;
    return w->mapTo(&dialog, w->rect().center());
}

// The area window's panel is centred on the window's outer size; its controls sit at fixed places in it.
QPoint areaControl(Session& s, const QString& area, QPoint inPanel) {
    const QMargins frame = s.frameExtents(area);
    QString out;
    int width = 0, height = 0;
    for (const QString& line : s.xdotool({"getwindowgeometry", "--shell", area}).split('\n')) {
        if (line.startsWith("WIDTH=")) width = line.mid(6).toInt();
        if (line.startsWith("HEIGHT=")) height = line.mid(7).toInt();
    }
    const int outerW = width + frame.left() + frame.right();
    const int outerH = height + frame.top() + frame.bottom();
    return QPoint((outerW - 265) / 2, (outerH - 265) / 2) + inPanel;
}

class RecordingE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.ok()) << "no private X server";
        ASSERT_TRUE(session.startProgram());
        main = *session.waitForWindow(kMainTitle);
        QThread::msleep(500);  // the maximised layout settles
    }
    void TearDown() override {
        if (::testing::Test::HasFailure()) {
            const QString shot = QDir::temp().filePath(QString("e2e-%1.png").arg(::testing::UnitTest::GetInstance()->current_test_info()->name()));
            session.screenshot(shot);
            std::cerr << "screenshot: " << shot.toStdString() << "\n";
        }
        session.closeProgram();
    }
    // Starts an area recording from the main window, sets the area's width, and confirms.
    QString startAreaRecording(int width) {
        session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnAreaScreenREC));
        const auto area = session.waitForWindow(kAreaTitle);
        EXPECT_TRUE(area.has_value());
        if (!area) return {};
        session.clickIn(*area, areaControl(session, *area, kEdtWidth));
        session.key("ctrl+a");
        session.type(QString::number(width));
        session.key("Return");
        QThread::msleep(500);
        // For the user documentation: the area window as it marks a rectangle.
        session.screenshot(QDir::temp().filePath(QString("e2e-area-window-%1.png").arg(width)));
        session.clickIn(*area, areaControl(session, *area, kAreaConfirm));
        return *area;
    }

    // Lets the recording run for a while, stops it with the tool window's button as a person would, and
    // waits until the main window is back and the worker has had time to finish the file.
    bool stopFromToolWindow(int recordMs) {
        const auto tool = session.waitForWindow(kToolTitle);
        if (!tool) return false;
        QThread::msleep(recordMs);
        session.clickIn(*tool, kToolStop);
        if (!session.waitForWindow(kMainTitle, 10000)) return false;
        QThread::msleep(1500);
        return true;
    }
    // Records the whole screen for a while and stops with Esc, as a person does; true when the window is
    // back.
    bool recordFullScreen(int recordMs) {
        session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
        QThread::msleep(recordMs);
        session.key("Escape");
        if (!session.waitForWindow(kMainTitle, 10000))
            return false;
        QThread::msleep(1500);  // the worker finishes the file
        return true;
    }
    bool maximised() {
        QString out;
        session.run("xprop", {"-id", main, "_NET_WM_STATE"}, &out);
        return out.contains("_NET_WM_STATE_MAXIMIZED_HORZ");
    }
    // Closes the hot-key dialog that a failed registration opened.
    bool closeConflictDialog() {
        const auto dialog = session.waitForWindow(kHotkeyTitle);
        if (!dialog) return false;
        session.clickIn(*dialog, kHotkeyClose);
        return true;
    }

    Session session;
    QString main;
};

}  // namespace

TEST_F(RecordingE2E, FullScreenRecordingsInARowAreTheWholeScreenStopWithEscAndAreListed) {
    RootPattern pattern(session.display());

    // Twice: the second start finds the window restored by the first stop, and the window manager
    // maximises it again later than it is asked to.
    for (int n = 1; n <= 2; ++n) {
        session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
        QThread::msleep(1000);
        EXPECT_FALSE(session.windowVisible(kMainTitle));  // out of the way while recording
        QThread::msleep(2000);
        session.key("Escape");
        ASSERT_TRUE(session.waitForWindow(kMainTitle, 10000).has_value());
        const QString file = session.recordingFolder() + QString("%1.avi").arg(n);
        QThread::msleep(1500);  // the worker finishes the file after the window is back
        ASSERT_TRUE(QFileInfo::exists(file));
        const auto probe = Session::probe(file);
        ASSERT_TRUE(probe.has_value());
        EXPECT_EQ(probe->codecTag, "MSVC");
        EXPECT_EQ(probe->frameRate, "10/1");
        EXPECT_EQ(probe->width, 1920) << "recording " << n;
        EXPECT_EQ(probe->height, 1080) << "recording " << n;
        EXPECT_GE(probe->positions, 25);  // about three seconds at ten positions a second
        EXPECT_LE(probe->positions, 45);
        EXPECT_TRUE(probe->decodesCleanly);
        // Taken from the screen's corner: both far corners hold the root's pattern, not black edges.
        const QImage frame = Session::decodedFrame(file, 10);
        ASSERT_EQ(frame.size(), QSize(1920, 1080));
        EXPECT_LE(RootPattern::mismatches(frame, 0, 0, 64), 40) << "recording " << n;
        EXPECT_LE(RootPattern::mismatches(frame, 1920 - 64, 1080 - 64, 64), 40) << "recording " << n;
        // Restored after the stop: its outer bounds are the window's design bounds, title bar on screen.
        const QPoint origin = session.clientOrigin(main);
        const QMargins edge = session.frameExtents(main);
        EXPECT_EQ(QRect(origin, clientSize(session, main)).marginsAdded(edge), QRect(10, 8, 955, 720));
    }

    // A second Esc after the stop reaches no window of ours: nothing changes.
    session.key("Escape");
    QThread::msleep(500);
    EXPECT_TRUE(session.windowVisible(kMainTitle));
    EXPECT_EQ(QDir(session.recordingFolder()).entryList(QDir::Files), QStringList({"1.avi", "2.avi"}));

    // A copy in a folder of its own is portable: its settings stay beside it, not in the user's folder.
    ASSERT_TRUE(session.closeProgram());
    EXPECT_TRUE(QFileInfo::exists(session.programDir() + "/defualt.ini"));
    EXPECT_FALSE(QFileInfo::exists(session.home() + "/.config/zelq-screenrec"));
}

TEST_F(RecordingE2E, ARecordingThatFailsLeavesTheProgramRunningAndTheStopBringsTheWindowBack) {
    // A file where the folder should be: nothing can be created below it, not even by root.
    QFile blocker(session.home() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // The folder comes from the settings file, as it would for a folder on a disk that has gone.
    ASSERT_TRUE(session.closeProgram());
    QFile settings(session.programDir() + "/defualt.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(QString("[default]\nIsFirtRunSoftware=0\nPicPath=%1/blocker/rec\n").arg(session.home()).toUtf8());
    settings.close();
    ASSERT_TRUE(session.startProgram());
    main = *session.waitForWindow(kMainTitle);
    QThread::msleep(500);
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
    ASSERT_TRUE(session.waitForWindow(QStringLiteral("Error"), 20000).has_value());
    EXPECT_FALSE(session.windowVisible(kMainTitle));
    session.key("Return");  // closes the box: the last window on screen
    QThread::msleep(1000);
    ASSERT_TRUE(session.programRunning());
    session.key("Escape");
    EXPECT_TRUE(session.waitForWindow(kMainTitle, 10000).has_value());
    EXPECT_TRUE(session.programRunning());
}

TEST_F(RecordingE2E, AFullDiskKeepsTheFramesWrittenAndTheProgramGoesOn) {
    // A small disk of its own, so that "full" is real and harms nobody (needs root).
    const QString disk = session.home() + "/small";
    QDir().mkpath(disk);
    if (mount("tmpfs", disk.toUtf8().constData(), "tmpfs", 0, "size=600k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        QString at;
        ~Unmount() { umount2(at.toUtf8().constData(), MNT_DETACH); }
    } unmount{disk};
    ASSERT_TRUE(session.closeProgram());
    QFile settings(session.programDir() + "/defualt.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(QString("[default]\nPicPath=%1\n").arg(disk).toUtf8());
    settings.close();
    ASSERT_TRUE(session.startProgram());
    main = *session.waitForWindow(kMainTitle);
    QThread::msleep(500);
    RootPattern busy(session.display());  // a picture that does not compress to nothing
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
    ASSERT_TRUE(session.waitForWindow(QStringLiteral("Error"), 20000).has_value());
    session.key("Return");
    QThread::msleep(500);
    ASSERT_TRUE(session.programRunning());
    session.key("Escape");
    ASSERT_TRUE(session.waitForWindow(kMainTitle, 10000).has_value());
    const auto probe = Session::probe(disk + "/1.avi");
    ASSERT_TRUE(probe.has_value());
    EXPECT_GT(probe->packets, 0);
    EXPECT_TRUE(probe->decodesCleanly);
}

TEST_F(RecordingE2E, ARecordingCutShortByACrashIsRepairedAtTheNextStart) {
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
    QThread::msleep(1000);
    ASSERT_FALSE(session.windowVisible(kMainTitle));
    QElapsedTimer recorded;
    recorded.start();
    QThread::msleep(3000);
    session.killProgram();
    const double seconds = recorded.elapsed() / 1000.0;
    const QString file = session.recordingFolder() + "1.avi";
    ASSERT_TRUE(QFileInfo::exists(file));

    ASSERT_TRUE(session.startProgram());
    main = *session.waitForWindow(kMainTitle);
    // The repair runs in the background once the list is shown.
    std::optional<ProbeResult> probe = Session::probe(file);
    for (QDeadlineTimer deadline(30000); (!probe || probe->positions == 0) && !deadline.hasExpired();) {
        QThread::msleep(200);
        probe = Session::probe(file);
    }
    ASSERT_TRUE(probe.has_value());
    // Finished again: the header counts the positions (a file left as it was counts none), and they
    // are about the seconds recorded.
    EXPECT_GE(probe->positions, static_cast<int>(10 * seconds) - 10);
    EXPECT_LE(probe->positions, static_cast<int>(10 * seconds) + 15);
    EXPECT_GT(probe->packets, 0);
    EXPECT_TRUE(probe->decodesCleanly);
}

TEST_F(RecordingE2E, AnAreaRecordingHasTheAreasSizeAndStopsFromTheToolWindow) {
    const QString area = startAreaRecording(400);
    ASSERT_FALSE(area.isEmpty());
    ASSERT_TRUE(session.waitForWindow(kToolTitle).has_value());
    EXPECT_FALSE(session.windowVisible(kAreaTitle));
    EXPECT_FALSE(session.windowVisible(kMainTitle));
    ASSERT_TRUE(stopFromToolWindow(1500));
    const auto probe = Session::probe(session.recordingFolder() + "1.avi");
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->width, 400);  // the area's outer width; the default compressor keeps it
    EXPECT_GE(probe->positions, 10);
    EXPECT_TRUE(probe->decodesCleanly);
}

TEST_F(RecordingE2E, ABoxIsCheckedOnlyWhenLeftForAnotherControlAndARefusedStartBringsTheWindowBack) {
    // Text that is no number, then the confirm button: no question pops up while the window goes, and
    // the window's own rectangle is recorded.
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnAreaScreenREC));
    const auto area = session.waitForWindow(kAreaTitle);
    ASSERT_TRUE(area.has_value());
    session.clickIn(*area, areaControl(session, *area, kEdtWidth));
    session.key("ctrl+a");
    session.type("abc");
    session.clickIn(*area, areaControl(session, *area, kAreaConfirm));
    ASSERT_TRUE(stopFromToolWindow(1000));
    EXPECT_FALSE(session.windowVisible(kBoxTitle));
    const auto probe = Session::probe(session.recordingFolder() + "1.avi");
    ASSERT_TRUE(probe.has_value());
    // 265 x 265; the default compressor codes whole 4 x 4 blocks, which is the size ffprobe reports.
    EXPECT_EQ(probe->width, 268);
    EXPECT_EQ(probe->height, 268);

    // A blank folder refuses the start with a message; the main window comes back after it.
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::EdtRECPath));
    session.key("ctrl+a");
    session.key("BackSpace");
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnAreaScreenREC));
    const auto again = session.waitForWindow(kAreaTitle);
    ASSERT_TRUE(again.has_value());
    session.clickIn(*again, areaControl(session, *again, kAreaConfirm));
    ASSERT_TRUE(session.waitForWindow(kBoxTitle).has_value());
    session.key("Return");
    EXPECT_TRUE(session.waitForWindow(kMainTitle, 5000).has_value());
    EXPECT_FALSE(session.windowVisible(kToolTitle));
}

TEST_F(RecordingE2E, WhenAnotherProgramHoldsEscTheDialogSaysSoAndTheToolWindowStillStops) {
    EscHolder other(session.display());
    ASSERT_TRUE(other.held());
    startAreaRecording(320);
    ASSERT_TRUE(session.waitForWindow(kHotkeyTitle).has_value());
    EXPECT_FALSE(session.windowVisible(kMainTitle));  // never over what is being recorded
    session.screenshot(QDir::temp().filePath("e2e-hotkey-conflict.png"));
    ASSERT_TRUE(closeConflictDialog());
    ASSERT_TRUE(stopFromToolWindow(1000));
    const auto probe = Session::probe(session.recordingFolder() + "1.avi");
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->width, 320);
    EXPECT_TRUE(probe->decodesCleanly);

    // A full-screen recording without its hot key would have no way to stop: the tool window is there.
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
    ASSERT_TRUE(closeConflictDialog());
    ASSERT_TRUE(stopFromToolWindow(1000));
    EXPECT_TRUE(QFileInfo::exists(session.recordingFolder() + "2.avi"));
}

TEST_F(RecordingE2E, TheCompressorIntervalAndRateChosenInTheOptionsAreTheRecordings) {
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnRectSet));
    const auto options = session.waitForWindow(kOptionsTitle);
    ASSERT_TRUE(options.has_value());
    // The second compressor of the catalogue, ZMBV: the list has the focus when the dialog opens, and a
    // click on a label brings the dialog to the keyboard without opening the list.
    QThread::msleep(300);
    session.clickIn(*options, optionControl(&TOptionDlg::LabelQuality));
    session.key("Down");
    // The bars by keyboard, as a person who wants an exact value moves them: to the start, then by
    // pages and single steps to the position the scale gives.
    TOptionDlg measure(nullptr, nullptr);
    const int pageStep = measure.TrackBarRecord->pageStep();
    auto moveBar = [&](QSlider* TOptionDlg::*bar, int position) {
        session.clickIn(*options, optionControl(bar));
        QThread::msleep(200);
        session.key("Home");
        const int steps = position - 1;
        if (steps / pageStep > 0)
            session.xdotool({"key", "--repeat", QString::number(steps / pageStep), "Page_Up"});
        if (steps % pageStep > 0)
            session.xdotool({"key", "--repeat", QString::number(steps % pageStep), "Right"});
    };
    moveBar(&TOptionDlg::TrackBarRecord, positionFromMsPerFrame(40, 1000));
    moveBar(&TOptionDlg::TrackBarPlayback, positionFromFrameRate(25, 1000));
    // The sound: the list's second entry, what the computer plays.
    session.clickIn(*options, optionControl(&TOptionDlg::ComboBoxSound));
    QThread::msleep(500);
    session.key("Down");
    session.key("Return");
    QThread::msleep(300);
    // For the user documentation: the dialog with the choices made.
    session.screenshot(QDir::temp().filePath("e2e-options-dialog.png"));
    // Enter confirms, as OK does.
    session.key("Return");
    QThread::msleep(500);
    ASSERT_FALSE(session.windowVisible(kOptionsTitle));

    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
    QThread::msleep(3000);
    session.key("Escape");
    ASSERT_TRUE(session.waitForWindow(kMainTitle, 10000).has_value());
    QThread::msleep(1500);
    const auto probe = Session::probe(session.recordingFolder() + "1.avi");
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->codecTag, "ZMBV");
    EXPECT_EQ(probe->frameRate, "25/1");
    EXPECT_GE(probe->positions, 50);  // a position every 40 ms for about three seconds; 100 ms gives 30
    EXPECT_TRUE(probe->decodesCleanly);
    // Beside the picture, its sound (silence where no sound server answers), as long as the picture.
    const std::vector<soundprobe::StreamFacts> streams =
        soundprobe::probeStreams(session.recordingFolder() + "1.avi");
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[1].codec, "pcm_s16le");
    EXPECT_NEAR(streams[1].duration, streams[0].duration, 0.04 + 1e-6);
}

namespace {

// Whether the 9 x 9 pixels round a point are all one colour (so scaling cannot change it).
bool flatAround(const QImage& image, QPoint at) {
    const QRgb c = image.pixel(at);
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx)
            if (image.pixel(at + QPoint(dx, dy)) != c) return false;
    return true;
}

}  // namespace

TEST_F(RecordingE2E, ARecordingJustMadePlaysInTheVideoPanel) {
    // Something to record: a picture of coloured blocks in a window of its own, above the program.
    QImage blocks(640, 480, QImage::Format_RGB32);
    QPainter painter(&blocks);
    const QColor colours[] = {QColor(200, 40, 40), QColor(40, 200, 40), QColor(40, 40, 200), QColor(230, 230, 60)};
    for (int i = 0; i < 4; ++i) painter.fillRect((i % 2) * 320, (i / 2) * 240, 320, 240, colours[i]);
    painter.end();
    const QString blocksPath = QDir(session.home()).filePath("blocks.png");
    ASSERT_TRUE(blocks.save(blocksPath));
    QProcess viewer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", session.display());
    viewer.setProcessEnvironment(env);
    viewer.start("display", {"-title", "blocks", "-geometry", "+400+250", blocksPath});
    ASSERT_TRUE(session.waitForWindow("blocks").has_value());

    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
    QThread::msleep(2500);
    session.key("Escape");
    ASSERT_TRUE(session.waitForWindow(kMainTitle, 10000).has_value());
    QThread::msleep(1500);  // the worker finishes the file
    viewer.kill();
    viewer.waitForFinished();
    const QString file = session.recordingFolder() + "1.avi";
    const auto probe = Session::probe(file);
    ASSERT_TRUE(probe.has_value());
    ASSERT_TRUE(probe->decodesCleanly);

    // Select it in the list and play it with the column's button, then let it play to its end.
    const QSize client = clientSize(session, main);
    session.clickIn(main, measureMain(client, [](TFrmScreenCam& w) {
                        return w.LbVideoList->viewport()->mapTo(&w, QPoint(30, 8));
                    }));
    session.clickIn(main, mainButton(client, &TFrmScreenCam::BtnReplayRec));
    QThread::msleep(probe->positions * 100 + 2000);

    // Where the panel is once the control bar shows, and what it shows against ffmpeg's last frame.
    const QRect panel = measureMain(client, [](TFrmScreenCam& w) {
        w.PnlVideoControl->show();
        w.layout()->activate();
        return QRect(w.SbVideoScreen->mapTo(&w, QPoint(0, 0)), w.SbVideoScreen->size());
    });
    const QString shotPath = QDir(session.home()).filePath("played.png");
    ASSERT_TRUE(session.screenshot(shotPath));
    // For the user documentation: the video panel with its control bar.
    QFile::copy(shotPath, QDir::temp().filePath("e2e-playback.png"));
    const QImage shot = QImage(shotPath).copy(panel.translated(session.clientOrigin(main)));
    const QImage frame = zelq::test::lastFrameByFfmpeg(file, probe->width, probe->height);
    ASSERT_FALSE(frame.isNull());
    int compared = 0, matching = 0;
    QSet<QRgb> seen;
    for (int gy = 1; gy < 16; ++gy) {
        for (int gx = 1; gx < 16; ++gx) {
            const QPoint inPanel(shot.width() * gx / 16, shot.height() * gy / 16);
            const QPoint inFrame(frame.width() * gx / 16, frame.height() * gy / 16);
            if (!flatAround(frame, inFrame)) continue;
            ++compared;
            const QRgb want = frame.pixel(inFrame), got = shot.pixel(inPanel);
            if (std::abs(qRed(want) - qRed(got)) <= 16 && std::abs(qGreen(want) - qGreen(got)) <= 16 &&
                std::abs(qBlue(want) - qBlue(got)) <= 16) {
                ++matching;
                seen.insert(want);
            }
        }
    }
    EXPECT_GE(compared, 40);
    EXPECT_GE(matching, compared * 9 / 10) << matching << " of " << compared;
    EXPECT_GE(seen.size(), 4) << "the blocks are part of what the panel shows";

    // For the user documentation: the same recording in the full-screen view, left again with Esc.
    session.clickIn(main, mainButton(client, &TFrmScreenCam::BtnFullScreen));
    QThread::msleep(1000);
    session.screenshot(QDir::temp().filePath("e2e-playback-fullscreen.png"));
    session.key("Escape");
}

namespace {

// Waits until a folder's BMP files stop growing in number, and answers how many there are.
int settledPictureCount(const QString& folder) {
    int last = -1, stableFor = 0;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 120000 && stableFor < 3) {
        QThread::msleep(1000);
        const int now = int(QDir(folder).entryList({"*.BMP"}, QDir::Files).size());
        stableFor = now == last && now > 0 ? stableFor + 1 : 0;
        last = now;
    }
    return last;
}

}  // namespace

TEST_F(RecordingE2E, AKeyTheListUsedIsNoReasonForASecondEscInTheFullScreenView) {
    ASSERT_TRUE(recordFullScreen(1000));
    ASSERT_TRUE(recordFullScreen(1000));
    // Twice: from the maximised window the program starts with, then from the window the view left.
    for (int round = 0; round < 2; ++round) {
        const QSize client = clientSize(session, main);
        const QPoint secondRow = measureMain(client, [](TFrmScreenCam& w) {
            w.LbVideoList->clear();
            w.LbVideoList->addItems({"1.avi", "2.avi"});
            const QRect row = w.LbVideoList->visualItemRect(w.LbVideoList->item(1));
            return w.LbVideoList->viewport()->mapTo(&w, row.center());
        });
        session.clickIn(main, secondRow);
        session.key("Up");  // the list uses it: the first recording becomes the current one
        QThread::msleep(300);
        session.clickIn(main, mainButton(client, &TFrmScreenCam::BtnFullScreen));
        QElapsedTimer timer;
        timer.start();
        while (!maximised() && timer.elapsed() < 10000) QThread::msleep(100);
        ASSERT_TRUE(maximised()) << "round " << round;
        QThread::msleep(500);
        session.key("Escape");  // once
        timer.restart();
        while (maximised() && timer.elapsed() < 10000) QThread::msleep(100);
        ASSERT_FALSE(maximised()) << "one Esc leaves the full-screen view, round " << round;
        QThread::msleep(800);
    }
}

TEST_F(RecordingE2E, AfterSplittingA1080pRecordingTheWindowStillFitsAndRecordsTheWholeScreen) {
    // A box is wide enough for its title: a window manager would cut it otherwise ("ZE… 手").
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnReplayRec));
    const auto box = session.waitForWindow(kBoxTitle);
    ASSERT_TRUE(box.has_value());
    QFont titleFont;
    titleFont.setBold(true);
    // Openbox puts the window's icon and three buttons of about 20 pixels each beside the title.
    EXPECT_GE(clientSize(session, *box).width(), QFontMetrics(titleFont).horizontalAdvance(kBoxTitle) + 100);
    session.key("Return");
    QThread::msleep(500);

    ASSERT_TRUE(recordFullScreen(2000));
    const QString first = session.recordingFolder() + "1.avi";
    const auto firstProbe = Session::probe(first);
    ASSERT_TRUE(firstProbe.has_value());
    ASSERT_EQ(firstProbe->width, 1920);

    // The split: the open dialog speaks Chinese, and the recording's path is typed into it.
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnAVIToPIC));
    const auto dialog = session.waitForWindow(QStringLiteral("打开"), 15000);
    ASSERT_TRUE(dialog.has_value()) << "the open dialog is titled in Chinese";
    QThread::msleep(800);
    // For the user documentation: Qt's own file dialog in Chinese.
    session.screenshot(QDir::temp().filePath("e2e-file-dialog.png"));
    session.type(first);
    session.key("Return");
    const int pictures = settledPictureCount(session.recordingFolder() + "img");
    EXPECT_GE(pictures, firstProbe->packets);

    // The preview of a 1920-pixel picture leaves the window within the screen.
    EXPECT_LE(clientSize(session, main).width(), 1920);

    ASSERT_TRUE(recordFullScreen(2000));
    const auto probe = Session::probe(session.recordingFolder() + "2.avi");
    ASSERT_TRUE(probe.has_value()) << "a recording is made";
    EXPECT_EQ(probe->width, 1920);
    EXPECT_EQ(probe->height, 1080);
    EXPECT_GE(probe->packets, 5);
    EXPECT_TRUE(probe->decodesCleanly);
}
