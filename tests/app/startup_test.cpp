#include <sys/stat.h>

#include <QFileInfo>
#include <QTest>

#include "convert/bitmapresource.h"
#include "mainwindow_fixture.h"

using namespace zelq;
using zelq::test::MainWindowTest;

namespace {

QImage glyph(const char* name) {
    QImage image;
    LoadBitmapResource(image, name, "bmp");
    return image;
}

}  // namespace

TEST_F(MainWindowTest, FirstStartCreatesTheFolderAndExitWritesTheFiveKeysInOrder) {
    TFrmScreenCam& w = open();
    const QString folder = home + "/ZelqWare/ScreenREC";
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(w.EdtRECPath->text(), folder);
    EXPECT_EQ(w.CurrentFolder, folder + "/");
    EXPECT_EQ(w.EdtREC->text(), "REC");
    EXPECT_TRUE(w.EdtREC->isHidden());  // automatic naming is on
    EXPECT_TRUE(w.ImgRectName->isHidden());
    EXPECT_EQ(w.BtnAutoSave->tag(), 1);
    EXPECT_EQ(w.BtnAutoSave->glyph(), glyph("CHECKED"));
    EXPECT_TRUE(w.FirstRun);
    EXPECT_FALSE(AutoRunEnabled);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("ZELQ屏幕录像助手1.2"));
    EXPECT_TRUE(w.LblHint->text().isEmpty());
    EXPECT_TRUE(dialogs.calls().empty());  // nothing at start-up shows a box
    EXPECT_FALSE(QFile::exists(settingsPath));  // settings are written once, at exit

    closeProgram();
    EXPECT_EQ(QString::fromUtf8(settingsText()),
              "[default]\nIsFirtRunSoftware=0\nPicPath=" + folder + "\nPicName=REC\nautoSaveToPath=1\nAutoRun=0\n");
}

TEST_F(MainWindowTest, StoredValuesAreReadWithTheSettingsRules) {
    const QString folder = dir.filePath("My Recordings");
    writeSettings("[Default]\nIsFirtRunSoftware=0\nPicPath=  " + folder.toUtf8() +
                  "  \nPicName=\nautoSaveToPath=0\nAutoRun=0x1\n");
    TFrmScreenCam& w = open();
    EXPECT_FALSE(w.FirstRun);
    EXPECT_EQ(w.EdtRECPath->text(), folder);  // trimmed in the box
    EXPECT_EQ(w.CurrentFolder, folder + "/");
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(w.EdtREC->text(), "");  // present but empty: not "REC"
    EXPECT_FALSE(w.EdtREC->isHidden());
    EXPECT_EQ(w.BtnAutoSave->tag(), 0);
    EXPECT_EQ(w.BtnAutoSave->glyph(), glyph("NOTCHECKED"));
    EXPECT_TRUE(AutoRunEnabled);

    // What the user leaves in the boxes is written back exactly as typed.
    w.EdtRECPath->setText("  /typed/with blanks ");
    w.EdtREC->setText(" clip ");
    QTest::mouseClick(w.BtnAutoSave, Qt::LeftButton);
    EXPECT_EQ(w.BtnAutoSave->tag(), 1);
    EXPECT_TRUE(w.EdtREC->isHidden());
    closeProgram();
    EXPECT_EQ(QString::fromUtf8(settingsText()),
              "[Default]\nIsFirtRunSoftware=0\nPicPath=  /typed/with blanks \nPicName= clip \nautoSaveToPath=1\n"
              "AutoRun=1\n");
}

TEST_F(MainWindowTest, UnusableStoredFoldersStillStartTheProgram) {
    // A non-numeric naming flag means automatic naming.
    writeSettings("[default]\nPicPath=Rec\nautoSaveToPath=yes\n");
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        TFrmScreenCam& w = open();
        EXPECT_EQ(w.LblHint->text(), QStringLiteral("非法路径，请重新设置一个路径。"));
        EXPECT_EQ(w.LbVideoList->count(), 0);
        EXPECT_EQ(w.BtnAutoSave->tag(), 1);
        EXPECT_FALSE(QFileInfo(dir.filePath("Rec")).exists());
        closeProgram();
    }
    writeSettings("[default]\nPicPath=   \n");
    EXPECT_EQ(open().LblHint->text(), QStringLiteral("非法路径，请重新设置一个路径。"));
    EXPECT_TRUE(window->CurrentFolder.isEmpty());
    closeProgram();

    // A drive this system does not have: no message at start, an empty list, nothing made.
    writeSettings("[default]\nPicPath=D:\\ScreenREC\n");
    EXPECT_TRUE(open().LblHint->text().isEmpty());
    EXPECT_EQ(window->LbVideoList->count(), 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"home"});
    closeProgram();
    QDir::setCurrent(oldCwd);
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(MainWindowTest, AReadOnlySettingsFileIsLeftAloneAtExit) {
    const QByteArray stored = "[default]\nPicName=keep\n";
    writeSettings(stored);
    ASSERT_EQ(::chmod(QFile::encodeName(settingsPath).constData(), 0444), 0);
    open().EdtREC->setText("changed");
    closeProgram();
    EXPECT_EQ(settingsText(), stored);
}

TEST_F(MainWindowTest, TheListShowsTheFolderInRecordingOrder) {
    const QString folder = home + "/ZelqWare/ScreenREC/";
    QDir().mkpath(folder + "avi");
    for (const char* name : {"2.avi", "10.avi", "1.avi", "Demo.avi", "3.AVI", "notes.txt"}) {
        QFile f(folder + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    open();
    EXPECT_EQ(listed(), QStringList({"Demo.avi", "1.avi", "2.avi", "3.AVI", "10.avi"}));
}
