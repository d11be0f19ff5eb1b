#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
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

TEST(Paths, SettingsStayBesideAPortableCopyAndGoPerUserForAnInstalledOne) {
    QTemporaryDir dir;
    const SettingsLocation where{"defualt.ini", "zelq-screenrec", "../share/applications/app.desktop"};
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    qputenv("HOME", dir.filePath("home").toUtf8());

    // A copy in a folder of its own that it may write.
    const QString portable = dir.filePath("portable");
    QDir().mkpath(portable);
    EXPECT_EQ(settingsFilePath(portable, where), portable + "/defualt.ini");

    // An installed copy, even in a folder it may write (root and /usr/bin, a user and ~/.local/bin).
    const QString bin = dir.filePath("prefix/bin");
    QDir().mkpath(bin);
    QDir().mkpath(dir.filePath("prefix/share/applications"));
    QFile entry(dir.filePath("prefix/share/applications/app.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.close();
    EXPECT_EQ(settingsFilePath(bin, where), dir.filePath("config/zelq-screenrec/defualt.ini"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settingsFilePath(bin, where), dir.filePath("home/.config/zelq-screenrec/defualt.ini"));
    qputenv("XDG_CONFIG_HOME", "relative/config");  // not absolute: ignored, as the XDG rules say
    EXPECT_EQ(settingsFilePath(bin, where), dir.filePath("home/.config/zelq-screenrec/defualt.ini"));
    // ... unless a file beside it says it is kept there.
    QFile beside(bin + "/defualt.ini");
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.close();
    EXPECT_EQ(settingsFilePath(bin, where), bin + "/defualt.ini");

    // A folder this user cannot write (root can write any, so only a user can see this).
    if (::geteuid() != 0) {
        const QString locked = dir.filePath("locked");
        QDir().mkpath(locked);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(settingsFilePath(locked, where), dir.filePath("home/.config/zelq-screenrec/defualt.ini"));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("XDG_CONFIG_HOME", oldConfig);
    qputenv("HOME", oldHome);
}
