#include <QApplication>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include "app/dirselect.h"
#include "mainwindow_fixture.h"
#include "platform/shellopen.h"

using namespace zelq;
using zelq::test::MainWindowTest;

namespace {

// Runs action on the dialog that the next exec() shows, once it is up.
template <typename Dialog, typename Action>
void whenShown(Action action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        action(dialog);
    });
}

}  // namespace

TEST_F(MainWindowTest, AutomaticNamesAreOneAboveTheHighestNumber) {
    TFrmScreenCam& w = open();
    const QString folder = recordingFolder();
    touch(folder, {"1.avi", "2.avi", "10.avi", "REC1.avi", "7.AVI", "notes.txt"});
    EXPECT_EQ(w.MakeAutoRecordingPath({}), folder + "11.avi");
    EXPECT_EQ(w.CurrentFileName, "11.avi");
    QFile::remove(folder + "10.avi");
    EXPECT_EQ(w.MakeAutoRecordingPath({}), folder + "3.avi");
    touch(folder, {"12.avi.avi", "0x0E.avi"});
    EXPECT_EQ(w.MakeAutoRecordingPath({}), folder + "15.avi");  // 12.avi.avi counts 12, 0x0E counts 14
    touch(folder, {"2147483647.avi"});
    EXPECT_EQ(w.MakeAutoRecordingPath({}), folder + "2147483648.avi");  // never wraps to a negative name
    touch(folder, {"2147483648.avi"});
    EXPECT_EQ(w.MakeAutoRecordingPath({}), folder + "2147483649.avi");  // read back in 64 bits too

    // A new folder is made and starts at 1; a path box with a final separator gives one separator.
    const QString fresh = dir.filePath("new/deeper");
    w.EdtRECPath->setText(fresh + "/");
    EXPECT_EQ(w.MakeAutoRecordingPath({}), fresh + "/1.avi");
    EXPECT_TRUE(QFileInfo(fresh).isDir());
    EXPECT_TRUE(dialogs.calls().empty());

    // A relative folder is refused with its message and the result is left alone.
    w.EdtRECPath->setText("Rec");
    EXPECT_EQ(w.MakeAutoRecordingPath("untouched"), "untouched");
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{QStringLiteral("请输入一个合法路径名")});
}

TEST_F(MainWindowTest, TheFolderCheckNamesTheMissingDrive) {
    TFrmScreenCam& w = open();
    const std::vector<std::pair<QString, QString>> cases = {
        {"D:\\Rec", "D:"}, {"Rec", ""}, {"//server/share/Rec", "//server/share"}};
    for (const auto& [path, drive] : cases) {
        dialogs.clear();
        w.EdtRECPath->setText(path);
        EXPECT_EQ(w.ValidateRecordingFolder("as passed"), "as passed") << path.toStdString();
        EXPECT_EQ(dialogs.messages(), std::vector<QString>{QStringLiteral("磁盘%1不存在，请重选择一个路径。").arg(drive)});
    }
    // An empty or blank box names no folder at all, never the root: the list empties and nothing acts there.
    for (const QString& blank : {QString(), QStringLiteral("   ")}) {
        dialogs.clear();
        w.EdtRECPath->setText(blank);
        EXPECT_EQ(w.ValidateRecordingFolder("as passed"), "as passed");
        EXPECT_EQ(dialogs.messages(), std::vector<QString>{QStringLiteral("非法路径，请重新设置一个路径。")});
        w.BtnStopRec->click();
        EXPECT_EQ(w.CurrentFolder, QString());
        EXPECT_EQ(w.LbVideoList->count(), 0);
    }
    dialogs.clear();
    const QString made = dir.filePath("made/here");
    w.EdtRECPath->setText(made + "/");
    EXPECT_EQ(w.ValidateRecordingFolder({}), made + "/");
    EXPECT_EQ(w.CurrentFolder, made + "/");
    EXPECT_TRUE(QFileInfo(made).isDir());

    // Opening the folder hands it to the desktop only when the check passes.
    w.BtnOpenDir->click();
    EXPECT_EQ(opened, QStringList{made + "/"});
    w.EdtRECPath->setText("E:\\nowhere");
    w.BtnOpenDir->click();
    EXPECT_EQ(opened.size(), 1);
    EXPECT_EQ(dialogs.messages().back(), QStringLiteral("磁盘E:不存在，请重选择一个路径。"));
    EXPECT_TRUE(dialogs.calls().size() == 1);
}

TEST_F(MainWindowTest, ManualNamesAreTakenAsTypedButNeverBlankOutsideTheFolderOrOverARecording) {
    TFrmScreenCam& w = open();
    w.CurrentFolder = recordingFolder();
    w.EdtREC->setText("   ");
    EXPECT_FALSE(w.MakeManualRecordingPath());
    w.EdtREC->setText("../escaped");
    EXPECT_FALSE(w.MakeManualRecordingPath());
    w.EdtREC->setText("..");
    EXPECT_FALSE(w.MakeManualRecordingPath());
    EXPECT_EQ(dialogs.messages(), (std::vector<QString>{QStringLiteral("请输入要屏幕录像名称。"),
                                                        QStringLiteral("录像名称不能包含“/”。"),
                                                        QStringLiteral("“..”不能作为录像名称。")}));
    w.EdtREC->setText(" 演示 1 ");
    EXPECT_TRUE(w.MakeManualRecordingPath());
    EXPECT_EQ(w.CurrentFileName, " 演示 1 .avi");
    EXPECT_EQ(w.CurrentFilePath, recordingFolder() + " 演示 1 .avi");

    // An earlier recording of that name is replaced only when the user says so, and then to the trash.
    touch(recordingFolder(), {"REC.avi"});
    w.EdtREC->setText("REC");
    dialogs.clear();
    EXPECT_FALSE(w.MakeManualRecordingPath());  // unscripted Yes/No boxes answer No
    EXPECT_EQ(dialogs.calls().at(0).buttons, MsgButtons::YesNo);
    EXPECT_TRUE(QFile::exists(recordingFolder() + "REC.avi"));
    dialogs.answerMessage(MsgAnswer::Yes);
    EXPECT_TRUE(w.MakeManualRecordingPath());
    EXPECT_FALSE(QFile::exists(recordingFolder() + "REC.avi"));
    EXPECT_TRUE(QFile::exists(home + "/.local/share/Trash/files/REC.avi"));
}

TEST_F(MainWindowTest, APathTypedInTheBoxTakesEffectWhenTheBoxIsLeft) {
    TFrmScreenCam& w = open();
    w.show();
    QApplication::setActiveWindow(&w);
    touch(recordingFolder(), {"1.avi"});
    const QString other = dir.filePath("other") + "/";
    touch(other, {"5.avi", "6.avi"});

    w.EdtRECPath->setFocus();
    w.EdtRECPath->setText(other);
    QTest::keyClick(w.EdtRECPath, Qt::Key_Return);
    // Enter refills for the folder in force, not the one just typed.
    EXPECT_EQ(listed(), QStringList{"1.avi"});
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("当前路径:") + recordingFolder());

    w.LbVideoList->setFocus();  // leaving the box switches the folder
    EXPECT_EQ(w.CurrentFolder, other);
    EXPECT_EQ(w.LblHint->text(), QStringLiteral("当前路径:") + other);
    w.EdtRECPath->setFocus();
    QTest::keyClick(w.EdtRECPath, Qt::Key_Return);
    EXPECT_EQ(listed(), QStringList({"5.avi", "6.avi"}));
}

TEST_F(MainWindowTest, TheFolderDialogAppliesConfirmedFoldersOnly) {
    TFrmScreenCam& w = open();
    const QString chosen = dir.filePath("chosen");
    touch(chosen + "/", {"9.avi"});

    whenShown<TFrmDirSelect>([](TFrmDirSelect* d) { d->BtnCancel->click(); });
    w.SpeedButton4->click();
    EXPECT_EQ(w.EdtRECPath->text(), home + "/ZelqWare/ScreenREC");

    whenShown<TFrmDirSelect>([&](TFrmDirSelect* d) {
        d->openAt(chosen);
        d->BtnConfirm->click();
    });
    w.SpeedButton4->click();
    EXPECT_EQ(w.EdtRECPath->text(), chosen);
    EXPECT_EQ(w.CurrentFolder, chosen + "/");
    EXPECT_EQ(w.OpenDialog1.initialDir, chosen);
    EXPECT_EQ(w.SaveAVIDialog.initialDir, chosen);
    EXPECT_EQ(listed(), QStringList{"9.avi"});

    // The dialog opens at the folder in the box; closing it by the title bar applies the last choice again.
    w.EdtRECPath->setText(home);
    whenShown<TFrmDirSelect>([&](TFrmDirSelect* d) {
        EXPECT_EQ(static_cast<QFileSystemModel*>(d->ShellTreeView1->model())->filePath(d->ShellTreeView1->currentIndex()), home);
        d->close();
    });
    w.SpeedButton4->click();
    EXPECT_EQ(w.EdtRECPath->text(), chosen);
}

TEST_F(MainWindowTest, ARelativeFolderNeverReachesTheDesktopAsAnOption) {
    // A stored "-rec" is refused at start, and what is built from it is never handed over.
    writeSettings("[default]\nPicPath=-rec\n");
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QDir().mkpath("-rec/img");
    QFile("-rec/1.avi").open(QIODevice::WriteOnly);
    TFrmScreenCam& w = open();
    w.CurrentFileName = "1.avi";
    w.BtnDefaultOpenClick();
    w.MnOpenPicPathClick();
    QDir::setCurrent(oldCwd);
    EXPECT_EQ(opened, QStringList());
    EXPECT_EQ(dialogs.messages(), std::vector<QString>(2, QStringLiteral("非法路径，请重新设置一个路径。")));

    // Absolute paths and addresses go through as they are.
    for (const QString& target : {QStringLiteral("/tmp/a b/1.avi"), QStringLiteral("https://example.org/x")})
        EXPECT_TRUE(IsDesktopTarget(target)) << target.toStdString();
    for (const QString& target :
         {QStringLiteral("-rec/1.avi"), QStringLiteral("D:\\Rec"), QStringLiteral("")})
        EXPECT_FALSE(IsDesktopTarget(target)) << target.toStdString();
}
