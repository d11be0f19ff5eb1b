#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/autostart.h"

using namespace zelq;

// A path with every kind of character the launcher would split, expand or unquote must come back as
// the same single argument; desktop-file-validate is the independent judge of the quoting.
TEST(Autostart, TheEntryGoesToTheFirstAbsoluteConfigFolderAndQuotesTheExecutable) {
    QTemporaryDir dir;
    const QByteArray old = qgetenv("XDG_CONFIG_DIRS");
    qputenv("XDG_CONFIG_DIRS", "relative/dir:" + dir.filePath("a").toUtf8() + ":/etc/xdg");
    const QString entry = dir.filePath("a/autostart/ZELQ屏幕录像助手.desktop");
    EXPECT_EQ(autostartEntryPath(), entry);

    EXPECT_EQ(desktopExecValue("/usr/bin/zelq-screenrec"), "/usr/bin/zelq-screenrec");
    const QString odd = QStringLiteral("/opt/my apps/录像$1 \"a\"\\b%c");
    EXPECT_EQ(desktopExecValue(odd), QStringLiteral("\"/opt/my apps/录像\\\\$1 \\\\\"a\\\\\"\\\\\\\\b%%c\""));

    ASSERT_TRUE(writeAutostartEntry(odd));
    QProcess check;
    check.start(QStandardPaths::findExecutable("desktop-file-validate"), {entry});
    ASSERT_TRUE(check.waitForFinished());
    EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();
    EXPECT_TRUE(removeAutostartEntry());
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(removeAutostartEntry());  // nothing there: still done
    qputenv("XDG_CONFIG_DIRS", old);
}

// An entry holds UTF-8 text only: a program path of other bytes would be written as another path, and
// the session would never start the program.
TEST(Autostart, OnlyAProgramPathThatIsUtf8CanGoIntoTheEntry) {
    EXPECT_EQ(runningProgramPath(), QFile::encodeName(QCoreApplication::applicationFilePath()));
    EXPECT_EQ(desktopProgramPath("/opt/\xE5\xBD\x95\xE5\x83\x8F/zelq"), QStringLiteral("/opt/录像/zelq"));
    EXPECT_EQ(desktopProgramPath("/opt/\xC2\xBC\xCF\xF1/zelq"), std::nullopt);  // GBK bytes
    EXPECT_EQ(desktopProgramPath(""), std::nullopt);
}
