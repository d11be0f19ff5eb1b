#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QThread>
#include <atomic>

#include "common/scripted_dialogs.h"
#include "platform/qtchinese.h"

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

TEST(Dialogs, QtsOwnTextsAreChineseWhateverTheLocale) {
    const QLocale user = QLocale();
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QtChinese chinese;
        ASSERT_TRUE(chinese.loaded()) << "qtbase_zh_CN.qm (qt6-translations-l10n) is missing";
        QLineEdit edit;
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList actions;
        for (QAction* a : menu->actions()) actions << a->text();
        EXPECT_TRUE(actions.join(' ').contains(QStringLiteral("复制"))) << actions.join(' ').toStdString();

        QFileDialog dialog(nullptr, QString(), QString(), QStringLiteral("AVI File (*.avi)"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("另存为"));
        EXPECT_EQ(dialog.labelText(QFileDialog::Reject), QStringLiteral("取消"));
    }
    EXPECT_EQ(QLocale(), QLocale(QLocale::English, QLocale::UnitedStates));  // the locale it found, back
    QLocale::setDefault(user);
}
