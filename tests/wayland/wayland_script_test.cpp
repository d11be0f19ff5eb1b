// A script on the headless Wayland desktop: the real program, with no copy running, records the whole
// monitor through the screen-cast portal for a set time and hands back the file's path once it is
// finished. ffprobe judges the file.
#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

#include "capture/vfw/vfw_testkit.h"
#include "wayland_desktop.h"

TEST(WaylandScriptTest, ARecordingOfThreeSecondsFromTheCommandLineIsThreeSecondsLong) {
    if (const std::string why = zelq::test::waylandUnavailable(); !why.empty())
        GTEST_SKIP() << why;
    // The program copied beside a settings file of its own (a returning user's), as it is installed.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath("zelq-screenrec");
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZELQ_PROGRAM_PATH), program));
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile settings(dir.filePath("defualt.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[default]\nIsFirtRunSoftware=0\n");
    settings.close();

    QProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_STATE_HOME", dir.filePath("state"));  // no portal permission left from another test
    script.setProcessEnvironment(env);
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString file = dir.filePath("three.avi");
    script.start(program, {"--record-full", "--duration=3", "--wait", "--output=" + file});
    ASSERT_TRUE(script.waitForFinished(120000));
    EXPECT_EQ(script.exitCode(), 0);
    EXPECT_EQ(QString::fromLocal8Bit(script.readAllStandardOutput()).trimmed(), file);

    // Three seconds of file time at the default 10 positions a second, ± one frame, of the whole monitor.
    const ::test::Probe p = ::test::probe(file);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.frameRate, "10/1");
    EXPECT_NEAR(p.headerFrames, 30, 1);
    EXPECT_GT(p.decodedFrames, 1);  // the desktop's terminal scrolls: not one picture held
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    EXPECT_EQ(p.width, screen.width());
    EXPECT_EQ(p.height, screen.height());
    EXPECT_TRUE(::test::decodeErrors(file).isEmpty());
}
