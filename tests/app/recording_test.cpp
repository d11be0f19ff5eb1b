// Starting and stopping from the main window: what the status line claims, and the first-run timer that
// must not keep the program busy while it sits idle.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>

#include "app/toolform.h"
#include "capture/scrcam/scrcam.h"
#include "common/soundprobe.h"
#include "mainwindow_fixture.h"

using namespace zelq;
using zelq::test::MainWindowTest;

namespace {

void serveEventsFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace

TEST_F(MainWindowTest, TheStatusLineReportsOnlyARecordingThatWasMade) {
    TFrmScreenCam& w = open();
    // The stop button while idle: no recording, so no file is announced.
    w.LblHint->setText("before");
    w.BtnStopRec->click();
    EXPECT_EQ(w.LblHint->text(), "before");

    // A folder below a file cannot be made, even by root: the engine says so, and the stop says no file.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w.EdtRECPath->setText(dir.filePath("blocker/rec"));
    w.BtnSartRec->click();
    ASSERT_TRUE(w.CaptureEngine->waitForWorker(20000));
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{QStringLiteral("创建视频文件时出错")});
    w.StopProcedure();
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("没有生成录像文件。"));
    EXPECT_TRUE(w.isVisible());
    w.hide();
}

TEST_F(MainWindowTest, ARecordingWhoseFolderVanishedIsReportedGone) {
    TFrmScreenCam& w = open();
    w.BtnSartRec->click();
    serveEventsFor(800);
    ASSERT_FALSE(w.CaptureEngine->RecordingFile().isEmpty());
    ASSERT_TRUE(QDir(recordingFolder()).removeRecursively());
    w.StopProcedure();
    ASSERT_TRUE(w.CaptureEngine->waitForWorker(20000));
    const QString gone = QStringLiteral("录像文件已不存在：%1").arg(recordingFolder() + "1.avi");
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{gone});
    EXPECT_EQ(w.LblHint->text(), gone);
    w.hide();
}

TEST_F(MainWindowTest, TheFirstRunTimerTicksOnceASecondAfterEachShowingAndThenRests) {
    TFrmScreenCam& w = open();
    EXPECT_FALSE(w.TimerFirstRun->isActive());
    w.show();
    EXPECT_TRUE(w.TimerFirstRun->isActive());
    EXPECT_EQ(w.TimerFirstRun->interval(), 1000);
    serveEventsFor(1300);
    EXPECT_FALSE(w.TimerFirstRun->isActive());  // stopped by its own tick: an idle program does nothing
    w.hide();
    w.show();
    EXPECT_TRUE(w.TimerFirstRun->isActive());
    w.hide();
}

TEST_F(MainWindowTest, TheToolWindowPausesIntoOneFileThatLeavesThePauseOut) {
    TFrmScreenCam& w = open();
    auto* tool = new TFrmTool(&w);
    w.attachWindows(nullptr, nullptr, tool, nullptr);
    // Idle, the button does nothing.
    tool->BtnPause->click();
    EXPECT_FALSE(w.CaptureEngine->Paused);
    EXPECT_FALSE(tool->BtnPause->isHidden());

    w.BtnSartRec->click();
    ASSERT_TRUE(w.CaptureEngine->Recording);
    serveEventsFor(1000);
    tool->BtnPause->click();
    EXPECT_TRUE(w.CaptureEngine->Paused);
    EXPECT_EQ(tool->BtnPause->text(), QStringLiteral("继续录像"));
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("录像已暂停"));
    const int framesAtPause = w.CaptureEngine->Stats.FramesWritten;
    serveEventsFor(2000);
    // Nothing is grabbed while paused.
    EXPECT_LE(w.CaptureEngine->Stats.FramesWritten - framesAtPause, 1);
    tool->BtnPause->click();
    EXPECT_FALSE(w.CaptureEngine->Paused);
    EXPECT_EQ(tool->BtnPause->text(), QStringLiteral("暂停录像"));
    serveEventsFor(1000);
    w.StopProcedure();
    ASSERT_TRUE(w.CaptureEngine->waitForWorker(20000));

    // About 2 s recorded around a 2 s pause: the file holds the recorded time only, in one video stream.
    const auto streams = soundprobe::probeStreams(recordingFolder() + "1.avi");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_GT(streams[0].duration, 1.6);
    EXPECT_LT(streams[0].duration, 2.9);
    w.hide();
}
