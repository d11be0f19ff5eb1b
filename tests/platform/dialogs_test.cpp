#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>

#include "common/scripted_dialogs.h"

using namespace zelq;

TEST(Dialogs, CaptionDefaultsToTheApplicationTitle) {
    test::ScriptedDialogs dialogs;
    dialogs.messageBox(QStringLiteral("请选择一个视频文件。"));
    dialogs.messageBox(QStringLiteral("Error capturing a frame!"), QStringLiteral("Error"), MsgIcon::Error);
    const auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].caption, QStringLiteral("ZELQ屏幕录像助手"));
    EXPECT_EQ(calls[1].caption, QStringLiteral("Error"));
    EXPECT_EQ(calls[1].icon, MsgIcon::Error);
}

TEST(Dialogs, ACallFromAWorkerIsAnsweredOnTheUiThreadWhileTheWorkerWaits) {
    test::ScriptedDialogs dialogs;
    dialogs.answerMessage(MsgAnswer::Yes);
    std::atomic<int> answer{-1};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        answer = static_cast<int>(dialogs.messageBox("go on?", {}, MsgIcon::Question, MsgButtons::YesNo));
    }));
    worker->start();
    // The worker is blocked until the UI thread runs its call.
    while (!worker->wait(5)) QCoreApplication::processEvents();
    EXPECT_EQ(answer.load(), static_cast<int>(MsgAnswer::Yes));
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_TRUE(dialogs.calls()[0].onUiThread);
}

TEST(Dialogs, UnscriptedAnswersAreTheCautiousOnes) {
    test::ScriptedDialogs dialogs;
    EXPECT_EQ(dialogs.messageBox("x", {}, MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_TRUE(dialogs.openFile(nullptr, "open", "/tmp", "AVI File (*.avi)|*.avi").isEmpty());
    dialogs.answerPicker("/tmp/a.avi");
    EXPECT_EQ(dialogs.openFile(nullptr, "open", "/tmp", "AVI File (*.avi)|*.avi"), "/tmp/a.avi");
}
