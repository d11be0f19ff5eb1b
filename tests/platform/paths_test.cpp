#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "platform/paths.h"

using namespace zelq;

TEST(Paths, NormaliseAddsExactlyOneSeparator) {
    EXPECT_EQ(NormaliseFolder("/data/Rec"), "/data/Rec/");
    EXPECT_EQ(NormaliseFolder("/data/Rec/"), "/data/Rec/");
    EXPECT_EQ(NormaliseFolder(""), "/");
    EXPECT_EQ(NormaliseFolder("D:"), "D:/");
}

TEST(Paths, DrivePartAndDriveCheck) {
    EXPECT_EQ(DrivePart("/home/u/Rec"), "/");
    EXPECT_EQ(DrivePart("D:\\Rec"), "D:");
    EXPECT_EQ(DrivePart("Rec"), "");
    EXPECT_EQ(DrivePart("//server/share/Rec"), "//server/share");
    EXPECT_EQ(DrivePart("\\\\server\\share\\Rec"), "\\\\server\\share");
    EXPECT_EQ(DrivePart("::{20D04FE0}"), "::");
    EXPECT_TRUE(DriveExists("/"));
    EXPECT_TRUE(DriveExists(" / "));
    for (const char* no : {"", "C:", "c:", "//server/share", "::"}) EXPECT_FALSE(DriveExists(no)) << no;
}

TEST(Paths, CreateFolderPathMakesMissingParentsAndRefusesRelativeOrEmptyTexts) {
    QTemporaryDir dir;
    const QString deep = dir.filePath("a/b/录像 1/");
    EXPECT_EQ(CreateFolderPath(deep), CreateFolderResult::Done);
    EXPECT_TRUE(QDir(deep).exists());
    EXPECT_EQ(CreateFolderPath(deep), CreateFolderResult::Done);  // existing: nothing to do

    EXPECT_EQ(CreateFolderPath(""), CreateFolderResult::Refused);
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    EXPECT_EQ(CreateFolderPath("Rec"), CreateFolderResult::Refused);
    EXPECT_FALSE(QDir(dir.filePath("Rec")).exists());
    // A relative text whose first element exists is made inside it.
    EXPECT_EQ(CreateFolderPath("a/new"), CreateFolderResult::Done);
    EXPECT_TRUE(QDir(dir.filePath("a/new")).exists());
    // Drive letters never name a drive here, and no strangely named folder appears.
    EXPECT_EQ(CreateFolderPath("C:\\ZelqWare\\ScreenREC"), CreateFolderResult::Failed);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"a"});
    QDir::setCurrent(oldCwd);

    // A parent that is a file: a plain failure, not a refusal.
    QFile file(dir.filePath("plain"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(CreateFolderPath(dir.filePath("plain/sub")), CreateFolderResult::Failed);
}
