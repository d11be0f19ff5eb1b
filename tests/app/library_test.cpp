#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/rename.h"
#include "mainwindow_fixture.h"
#include "vfw_testkit.h"

using namespace zelq;
using zelq::test::MainWindowTest;

namespace {

void renameTo(const QString& name) {
    QTimer::singleShot(0, [name] {
        auto* dialog = qobject_cast<TFrmReName*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->EdtName->setText(name);
        QTest::keyClick(dialog->EdtName, Qt::Key_Return);
    });
}

void selectNames(QListWidget* list, const QStringList& names) {
    list->clearSelection();
    for (int i = 0; i < list->count(); ++i) {
        if (names.contains(list->item(i)->text())) list->item(i)->setSelected(true);
    }
}

}  // namespace

TEST_F(MainWindowTest, ClickingAnItemMakesItTheCurrentRecording) {
    touch(recordingFolder(), {"1.avi", "2.avi"});
    TFrmScreenCam& w = open();
    w.show();
    QTest::mouseClick(w.LbVideoList->viewport(), Qt::LeftButton, {}, w.LbVideoList->visualItemRect(w.LbVideoList->item(1)).center());
    EXPECT_EQ(w.CurrentFileName, "2.avi");
    EXPECT_EQ(w.CurrentFilePath, recordingFolder() + "2.avi");
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("当前文件:") + recordingFolder() + "2.avi");
    QTest::keyClick(w.LbVideoList, Qt::Key_Up);
    EXPECT_EQ(w.CurrentFileName, "1.avi");
    EXPECT_TRUE(dialogs.calls().empty());

    w.RefreshRecordingList();  // no current item any more
    QTest::mouseClick(w.LbVideoList->viewport(), Qt::LeftButton, {}, QPoint(5, w.LbVideoList->viewport()->height() - 5));
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{QStringLiteral("请选择一个视频文件。")});
}

TEST_F(MainWindowTest, DeleteRemovesExactlyTheSelectedFilesWithoutAQuestion) {
    touch(recordingFolder(), {"1.avi", "2.avi", "3.avi", "4.avi", "keep.txt"});
    TFrmScreenCam& w = open();
    selectNames(w.LbVideoList, {"1.avi", "3.avi", "4.avi"});
    w.LbVideoList->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    QTest::keyClick(w.LbVideoList, Qt::Key_Delete);
    EXPECT_EQ(listed(), QStringList{"2.avi"});
    EXPECT_TRUE(QFile::exists(recordingFolder() + "2.avi"));
    EXPECT_TRUE(QFile::exists(recordingFolder() + "keep.txt"));
    EXPECT_FALSE(QFile::exists(recordingFolder() + "3.avi"));
    EXPECT_TRUE(w.PnlVideoControl->isHidden());
    EXPECT_TRUE(dialogs.calls().empty());

    // After the current recording is gone, opening it says so.
    w.CurrentFileName = "3.avi";
    w.BtnDefaultOpen->click();
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{QStringLiteral("此视频文件不存在：") + recordingFolder() + "3.avi"});

    // With no folder the delete does nothing and the list keeps its items.
    w.CurrentFolder.clear();
    selectNames(w.LbVideoList, {"2.avi"});
    w.SpeedButton5->click();
    EXPECT_EQ(listed(), QStringList{"2.avi"});
    EXPECT_TRUE(QFile::exists(recordingFolder() + "2.avi"));
}

TEST_F(MainWindowTest, RenameNeverReplacesOrMovesAnotherFile) {
    const QString folder = recordingFolder();
    touch(folder, {"5.avi", "6.avi"});
    QFile six(folder + "6.avi");
    ASSERT_TRUE(six.open(QIODevice::WriteOnly));
    six.write("six");
    six.close();
    TFrmScreenCam& w = open();

    w.LbVideoList->setCurrentRow(0);  // 5.avi
    renameTo("6.avi");
    w.BtnAlterName->click();
    EXPECT_EQ(listed(), QStringList({"5.avi", "6.avi"}));
    QFile check(folder + "6.avi");
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), "six");

    w.LbVideoList->setCurrentRow(0);
    renameTo("../escaped.avi");
    w.MnUpdateRECName->trigger();
    EXPECT_EQ(listed(), QStringList({"5.avi", "6.avi"}));
    EXPECT_FALSE(QFile::exists(home + "/ZelqWare/escaped.avi"));
    // Each refusal says why.
    for (const QString& name : {QStringLiteral(".."), QString(300, QLatin1Char('x'))}) {
        w.LbVideoList->setCurrentRow(0);
        renameTo(name);
        w.BtnAlterName->click();
    }
    EXPECT_EQ(dialogs.messages(), (std::vector<QString>{QStringLiteral("已有同名文件：6.avi"),
                                                        QStringLiteral("录像名称不能包含“/”。"),
                                                        QStringLiteral("“..”不能作为录像名称。"),
                                                        QStringLiteral("录像名称太长。")}));
    EXPECT_EQ(listed(), QStringList({"5.avi", "6.avi"}));
    dialogs.clear();

    w.LbVideoList->setCurrentRow(0);
    renameTo("clip.mp4");
    w.BtnAlterName->click();
    EXPECT_EQ(listed(), QStringList{"6.avi"});  // no longer an avi name, but still on disk
    EXPECT_TRUE(QFile::exists(folder + "clip.mp4"));

    w.LbVideoList->setCurrentRow(0);
    const QString odd = QStringLiteral("演示 \"引号\"\n第二行.avi");
    renameTo(odd);
    w.BtnAlterName->click();
    EXPECT_EQ(listed(), QStringList{odd});

    // Closing the dialog without confirming changes nothing.
    w.LbVideoList->setCurrentRow(0);
    QTimer::singleShot(0, [] { qobject_cast<TFrmReName*>(QApplication::activeModalWidget())->BtnClose->click(); });
    w.BtnAlterName->click();
    EXPECT_EQ(listed(), QStringList{odd});
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(MainWindowTest, OpenInTheDefaultPlayerNeedsACurrentRecording) {
    touch(recordingFolder(), {"1.avi"});
    TFrmScreenCam& w = open();
    w.BtnDefaultOpen->click();
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{QStringLiteral("请选择『录像列表』中一个视频文件")});
    w.CurrentFileName = "1.avi";
    w.N4->trigger();
    EXPECT_EQ(opened, QStringList{recordingFolder() + "1.avi"});
}

TEST_F(MainWindowTest, TheListFollowsTheDiskWhateverHappensToTheFolder) {
    touch(recordingFolder(), {"1.avi"});
    TFrmScreenCam& w = open();
    EXPECT_EQ(listed(), QStringList{"1.avi"});
    ASSERT_TRUE(QDir(recordingFolder()).removeRecursively());
    w.RefreshRecordingList();
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_TRUE(QFileInfo(recordingFolder()).isDir());  // made again, as at start

    // Only regular files are recordings: a FIFO (whose opening would wait for ever) and a folder are not
    // listed, a link to a recording is.
    touch(recordingFolder(), {"1.avi"});
    ASSERT_EQ(mkfifo(QFile::encodeName(recordingFolder() + "2.avi").constData(), 0644), 0);
    ASSERT_TRUE(QDir(recordingFolder()).mkdir("3.avi"));
    ASSERT_TRUE(QFile::link(recordingFolder() + "1.avi", recordingFolder() + "4.avi"));
    w.RefreshRecordingList();
    EXPECT_EQ(listed(), QStringList({"1.avi", "4.avi"}));
    w.recordingRepairs().waitUntilIdle();
    EXPECT_TRUE(QFileInfo(recordingFolder() + "4.avi").isSymLink());

    // A path far beyond what the file system takes: nothing listed, nothing breaks.
    w.CurrentFolder = "/" + QString(4000, QLatin1Char('x')) + "/";
    w.RefreshRecordingList();
    EXPECT_TRUE(listed().isEmpty());
    w.EdtRECPath->setText(w.CurrentFolder);
    EXPECT_FALSE(w.ValidateRecordingFolder({}).isEmpty());
    EXPECT_EQ(w.MakeAutoRecordingPath({}), w.CurrentFolder + "1.avi");
}

TEST_F(MainWindowTest, AnotherProgramsUnfinishedAviIsListedTenTimesAndStaysByteForByteAsItWas) {
    QDir().mkpath(recordingFolder());
    const QString theirs = recordingFolder() + "piped.avi";
    ASSERT_TRUE(::test::pipeWrittenAviWithSound(theirs));
    QFile file(theirs);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    TFrmScreenCam& w = open();
    for (int i = 0; i < 10; ++i) w.RefreshRecordingList();
    EXPECT_EQ(listed(), QStringList{"piped.avi"});
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_TRUE(::test::streamPackets(theirs).startsWith("video 20, audio "));
}

TEST_F(MainWindowTest, AFolderThatDoesNotAnswerNeverHoldsTheWindowAndIsListedWhenItDoes) {
    QTemporaryDir dir;
    touch(dir.filePath("files") + "/", {"1.avi", "2.avi"});
    const QString gate = dir.filePath("gate"), mount = dir.filePath("mount");
    touch(dir.path() + "/", {"gate"});
    ASSERT_TRUE(QDir().mkpath(mount));
    QProcess fs;
    fs.start(ZELQ_HELDFS, {dir.filePath("files"), gate, mount, "-f"});
    const auto mounted = [&] {
        QFile mounts("/proc/self/mounts");
        return mounts.open(QIODevice::ReadOnly) && mounts.readAll().contains(QFile::encodeName(mount));
    };
    if (!fs.waitForStarted() || !QTest::qWaitFor(mounted, 10000))
        GTEST_SKIP() << "no FUSE here (python3-fuse and /dev/fuse): " << fs.readAllStandardError().toStdString();
    // Should the window wait on the folder after all, the gate opens after a while, so the test fails
    // rather than hangs.
    std::atomic<bool> over{false};
    std::jthread opener([&] {
        for (int i = 0; i < 200 && !over; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QFile::remove(gate);
    });

    TFrmScreenCam& w = open();
    QElapsedTimer held;
    held.start();
    w.CurrentFolder = mount + "/";
    w.RefreshRecordingList();
    EXPECT_LT(held.elapsed(), 5000);
    EXPECT_TRUE(listed().isEmpty());  // never the list of the folder before
    over = true;
    opener.join();
    QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList({"1.avi", "2.avi"}), 10000);

    // A listing overtaken by a newer one is dropped, whenever it comes.
    touch(dir.path() + "/", {"gate"});
    w.RefreshRecordingList();
    w.CurrentFolder = recordingFolder();
    touch(recordingFolder(), {"7.avi"});
    w.RefreshRecordingList();
    EXPECT_EQ(listed(), QStringList{"7.avi"});
    QFile::remove(gate);
    QTest::qWait(500);
    EXPECT_EQ(listed(), QStringList{"7.avi"});

    QProcess::execute("fusermount", {"-u", "-z", mount});
    fs.waitForFinished(10000);
}
