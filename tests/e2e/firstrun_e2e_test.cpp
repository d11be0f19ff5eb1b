// The first start of the real program on a machine with no network: the bundled help opens by itself,
// and the program still ends cleanly with its browsers running.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QThread>

#include "session.h"

using zelq::e2e::Session;

TEST(FirstStartE2E, OpensTheBundledHelpAndEndsCleanly) {
    Session session;
    ASSERT_TRUE(session.ok()) << "no private X server";
    ASSERT_TRUE(QFile::remove(session.settingsPath()));
    ASSERT_TRUE(session.startProgram());
    EXPECT_TRUE(session.waitForWindow(QStringLiteral("ZELQ屏幕录像-帮助文档"), 30000).has_value());
    QThread::msleep(1500);  // the help page and the banner are drawn
    session.screenshot(QDir::temp().filePath("e2e-first-start.png"));
    ASSERT_TRUE(session.closeProgram());

    QFile settings(session.settingsPath());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("IsFirtRunSoftware=0"));
}
