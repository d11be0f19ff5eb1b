// The command line's export, end to end: a recording the real program made from a script, turned into
// an MP4 and a GIF by --export as a script would, every file read back by ffprobe.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include "e2e/session.h"

using namespace zelq::e2e;

namespace {

struct Outcome {
    int code = -1;
    QString out, err;
};

class ExportVerbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.ok());
        qputenv("HOME", session.home().toUtf8());
        // No session bus: an export needs none, and no copy elsewhere may answer the recording verb.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + session.home().toUtf8() + "/no-bus");
    }
    Outcome program(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", session.display());
        p.setProcessEnvironment(env);
        p.start(session.programDir() + "/zelq-screenrec", args);
        p.waitForFinished(120000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString file(const QString& name) const { return session.home() + "/" + name; }
    QStringList files() const { return QDir(session.home()).entryList(QDir::Files | QDir::Hidden); }

    Session session;
};

// ffprobe's codec, sides and duration of the first stream: "h264 1920 1080 2.000000".
QString probe(const QString& path) {
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                        "stream=codec_name,width,height:format=duration", "-of", "default=nw=1:nk=1", path});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

}  // namespace

TEST_F(ExportVerbTest, AScriptExportsARecordingItMadeAndBadRequestsChangeNothing) {
    Outcome rec = program({"--record-full", "--duration=2", "--wait", "--output=" + file("clip.avi")});
    ASSERT_EQ(rec.code, 0) << rec.err.toStdString();
    const QString seconds = probe(file("clip.avi")).section(' ', 3);
    ASSERT_FALSE(seconds.isEmpty());

    // Beside the recording with its stem, without a display of its own; progress on standard error.
    Outcome mp4 = program({"--export=" + file("clip.avi"), "--format=MP4"});
    ASSERT_EQ(mp4.code, 0) << mp4.err.toStdString();
    EXPECT_EQ(mp4.out, file("clip.mp4"));
    EXPECT_TRUE(mp4.err.contains("导出 MP4：100%")) << mp4.err.toStdString();
    const QStringList facts = probe(mp4.out).split(' ');
    ASSERT_EQ(facts.size(), 4) << probe(mp4.out).toStdString();
    EXPECT_EQ(facts.mid(0, 3), QStringList({"h264", "1920", "1080"}));
    EXPECT_NEAR(facts[3].toDouble(), seconds.toDouble(), 0.11);

    // A relative recording and an output of the script's choosing; a GIF is scaled to 960 wide.
    QProcess gif;
    gif.setWorkingDirectory(session.home());
    gif.start(session.programDir() + "/zelq-screenrec", {"--export=clip.avi", "--format=gif", "--output=small.gif"});
    ASSERT_TRUE(gif.waitForFinished(120000));
    EXPECT_EQ(gif.exitCode(), 0) << gif.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(gif.readAllStandardOutput()).trimmed(), file("small.gif"));
    EXPECT_EQ(probe(file("small.gif")).section(' ', 0, 2), "gif 960 540");

    // Refused before anything is written: 2 for the arguments, 4 with the reason in Chinese when the
    // export cannot be made; an existing output is never replaced.
    const QStringList before = files();
    const QByteArray mp4Bytes = [&] {
        QFile f(file("clip.mp4"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    EXPECT_EQ(program({"--export=" + file("clip.avi")}).code, 2);
    EXPECT_EQ(program({"--export=" + file("clip.avi"), "--format=avi"}).code, 2);
    EXPECT_EQ(program({"--export=" + file("clip.avi"), "--format=mp4", "--duration=3"}).code, 2);
    EXPECT_EQ(program({"--format=mp4"}).code, 2);
    EXPECT_EQ(program({"--export=" + file("clip.avi"), "--format=webm", "--output=/no/such/folder/x.webm"}).code, 2);
    const Outcome missing = program({"--export=" + file("none.avi"), "--format=webm"});
    EXPECT_EQ(missing.code, 4);
    EXPECT_TRUE(missing.err.contains("找不到录像文件")) << missing.err.toStdString();
    const Outcome taken = program({"--export=" + file("clip.avi"), "--format=mp4", "--output=" + file("clip.mp4")});
    EXPECT_EQ(taken.code, 4);
    EXPECT_TRUE(taken.err.contains("不会替换")) << taken.err.toStdString();
    EXPECT_EQ(files(), before);
    QFile kept(file("clip.mp4"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), mp4Bytes);
}
