// Recording and exporting from scripts, end to end: the real program on a private X server and a private
// session bus, driven by its command-line verbs and its bus interface as a script would drive it; every
// file read back by ffprobe.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

#include "controltest.h"

using namespace zelq::e2e;

using zelq::test::ControlTest;

TEST_F(ControlTest, AScriptRecordsForADurationWithACountdownAndVerbsWithoutARecordingSayNothingToStop) {
    // Nothing runs: nothing to stop or pause; bad arguments are refused before anything starts.
    EXPECT_EQ(verb({"--stop"}), 3);
    EXPECT_EQ(verb({"--toggle-pause"}), 3);
    EXPECT_EQ(verb({"--record-full", "--duration=0"}), 2);
    EXPECT_EQ(verb({"--record-area=0,0,0x10"}), 2);
    EXPECT_EQ(verb({"--record-area=5000,5000,100x100"}), 2);
    EXPECT_EQ(verb({"--record-full", "--output=/no/such/folder/x.avi"}), 2);
    EXPECT_EQ(verb({"--record-full", "--frobnicate"}), 2);

    // Three seconds of file time at the default 10 positions a second, ± one frame; the path comes back.
    QString out;
    ASSERT_EQ(verb({"--record-full", "--duration=3", "--wait", "--output=" + file("three.avi")}, &out), 0);
    EXPECT_EQ(out.trimmed(), file("three.avi"));
    const auto three = Session::probe(file("three.avi"));
    ASSERT_TRUE(three);
    EXPECT_EQ(three->codecTag, "MSVC");
    EXPECT_NEAR(three->positions, 30, 1);
    EXPECT_TRUE(three->decodesCleanly);

    // The same name again is never replaced: the next free name is taken.
    ASSERT_EQ(verb({"--record-area=800,420,320x240", "--duration=1", "--countdown=2", "--wait",
                    "--output=" + file("three.avi")},
                   &out),
              0);
    const QString second = out.trimmed();
    EXPECT_NE(second, file("three.avi"));
    const auto area = Session::probe(second);
    ASSERT_TRUE(area);
    EXPECT_EQ(area->width, 320);
    EXPECT_EQ(area->height, 240);
    EXPECT_NEAR(area->positions, 10, 1);
    // The countdown's numbers sat in the middle of the monitor, over the whole area: the first frame shows
    // the screen as it is without them.
    const QImage first = Session::decodedFrame(second, 0);
    ASSERT_FALSE(first.isNull());
    const QString shot = file("screen.png");
    ASSERT_TRUE(session.screenshot(shot));
    const QImage screen(shot);
    ASSERT_EQ(first.size(), QSize(320, 240));
    const QPoint centre(960 - 800, 540 - 420);  // the monitor's centre, in the area's frame
    const QColor seen = first.pixelColor(centre), truth = screen.pixelColor(960, 540);
    EXPECT_LE(std::abs(seen.red() - truth.red()) + std::abs(seen.green() - truth.green()) +
                  std::abs(seen.blue() - truth.blue()),
              24)
        << seen.name().toStdString() << " recorded, " << truth.name().toStdString() << " on screen";
}

TEST_F(ControlTest, APauseIsLeftOutOfTheFileSigtermFinishesItAndAKillWhilePausedKeepsWhatWasRecorded) {
    QProcess recorder;
    recorder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", session.display());
    recorder.setProcessEnvironment(env);
    recorder.start(session.programDir() + "/zelq-screenrec", {"--record-full", "--output=" + file("paused.avi")});
    ASSERT_TRUE(waitForState("recording"));
    // A second start while one runs is refused and changes nothing.
    EXPECT_EQ(verb({"--record-full"}), 4);
    QElapsedTimer recorded;
    recorded.start();
    QTest::qWait(1500);
    ASSERT_EQ(verb({"--pause"}), 0);
    const qint64 beforePause = recorded.elapsed();
    EXPECT_EQ(verb({"--pause"}), 3);  // already paused
    ASSERT_TRUE(waitForState("paused"));
    QTest::qWait(2000);
    QElapsedTimer after;
    ASSERT_EQ(verb({"--toggle-pause"}), 0);
    after.start();
    ASSERT_TRUE(waitForState("recording"));
    QTest::qWait(1500);
    ::kill(static_cast<pid_t>(recorder.processId()), SIGTERM);
    const double seconds = (beforePause + after.elapsed()) / 1000.0;
    ASSERT_TRUE(recorder.waitForFinished(30000));
    EXPECT_EQ(recorder.exitCode(), 0);

    // The file holds the recorded time without the pause (the verbs' own start-up times are the slack).
    const auto probe = Session::probe(file("paused.avi"));
    ASSERT_TRUE(probe);
    EXPECT_TRUE(probe->decodesCleanly);
    EXPECT_GT(probe->positions / 10.0, seconds - 0.8);
    EXPECT_LT(probe->positions / 10.0, seconds + 0.8);
    EXPECT_EQ(verb({"--stop"}), 3);

    // Into the recordings folder, where the next start looks for unfinished files.
    const QString killed = session.recordingFolder() + "killed.avi";
    ASSERT_TRUE(QDir().mkpath(session.recordingFolder()));
    // The recording began somewhere between the start and the moment the state was seen: on a slow
    // (instrumented) build each look at the state takes a good part of a second.
    QElapsedTimer sinceStart;
    sinceStart.start();
    recorder.start(session.programDir() + "/zelq-screenrec", {"--record-full", "--output=" + killed});
    ASSERT_TRUE(waitForState("recording"));
    recorded.start();
    QTest::qWait(1500);
    ASSERT_EQ(verb({"--pause"}), 0);
    const double beforeKill = recorded.elapsed() / 1000.0;
    const double atMostBeforeKill = sinceStart.elapsed() / 1000.0;
    // A copy that hangs is told within the call's few seconds, not the bus's half minute.
    ::kill(static_cast<pid_t>(recorder.processId()), SIGSTOP);
    EXPECT_EQ(verb({"--status"}, nullptr, 15000), 4);
    EXPECT_EQ(verb({"--stop"}, nullptr, 15000), 4);
    recorder.kill();  // SIGKILL, stopped or not
    ASSERT_TRUE(recorder.waitForFinished(10000));

    // The repair at the next start finishes the file with what was recorded before the pause.
    ASSERT_TRUE(session.startProgram());
    std::optional<ProbeResult> repaired;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            repaired = Session::probe(killed);
            return repaired && repaired->positions > 0;
        },
        30000));
    EXPECT_TRUE(repaired->decodesCleanly);
    EXPECT_GT(repaired->positions / 10.0, beforeKill - 0.8);
    EXPECT_LT(repaired->positions / 10.0, atMostBeforeKill + 0.3);
}

TEST_F(ControlTest, AnExportOverTheBusRunsInTheRunningCopyAndTellsItsProgressAndItsFile) {
    ASSERT_EQ(verb({"--record-full", "--duration=2", "--wait", "--output=" + file("clip.avi")}), 0);
    const auto avi = Session::probe(file("clip.avi"));
    ASSERT_TRUE(avi);
    ASSERT_TRUE(session.startProgram());
    const std::unique_ptr<QDBusInterface> bused = busProgram();
    ASSERT_TRUE(bused);
    QDBusInterface& program = *bused;
    QSignalSpy progress(&program, SIGNAL(ExportProgress(QString, double)));
    QSignalSpy finished(&program, SIGNAL(ExportFinished(QString, QString, QString)));

    // A format the program does not make is refused and writes nothing.
    const QDBusMessage refused = program.call("Export", file("clip.avi"), "avi", QVariantMap());
    EXPECT_EQ(refused.errorName(), zelq::control::kErrorBadRequest);
    EXPECT_EQ(QDir(session.home()).entryList({"clip*"}, QDir::Files | QDir::Hidden), QStringList({"clip.avi"}));

    // The path comes back at once; a second export while it runs is refused.
    const QDBusMessage started = program.call("Export", file("clip.avi"), "mp4", QVariantMap());
    ASSERT_EQ(started.type(), QDBusMessage::ReplyMessage) << started.errorMessage().toStdString();
    EXPECT_EQ(started.arguments().value(0).toString(), file("clip.mp4"));
    EXPECT_EQ(program.call("Export", file("clip.avi"), "gif", QVariantMap()).errorName(), zelq::control::kErrorBusy);
    ASSERT_TRUE(finished.count() > 0 || finished.wait(120000));
    const QList<QVariant> outcome = finished.takeFirst();
    EXPECT_EQ(outcome, QList<QVariant>({file("clip.avi"), file("clip.mp4"), QString()}));

    // Progress a tenth at a time, rising.
    ASSERT_GE(progress.count(), 1);
    EXPECT_LE(progress.count(), 10);
    for (int i = 1; i < progress.count(); ++i)
        EXPECT_GT(progress[i][1].toDouble(), progress[i - 1][1].toDouble());
    const auto mp4 = Session::probe(file("clip.mp4"));
    ASSERT_TRUE(mp4);
    EXPECT_EQ(mp4->codecTag, "avc1");
    EXPECT_EQ(QSize(mp4->width, mp4->height), QSize(1920, 1080));
    EXPECT_NEAR(mp4->positions, avi->positions, 1);
    EXPECT_TRUE(mp4->decodesCleanly);
}
