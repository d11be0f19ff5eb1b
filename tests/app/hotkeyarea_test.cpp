#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/areaselect.h"
#include "app/hotkeyset.h"
#include "common/scripted_dialogs.h"

using namespace zelq;

namespace {

// Runs action on the hot-key dialog once exec() has shown it.
template <typename Action>
void onDialog(Action action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<TFrmHotkeySet*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        action(dialog);
    });
}

}  // namespace

TEST(HotkeyDialog, KeepsItsBoxesButStoresOnlyWhatIsSaved) {
    ResetStopHotKey();
    bool hintShown = false;
    onDialog([&](TFrmHotkeySet* d) {
        hintShown = d->LnlHint1->isVisible();
        EXPECT_EQ(d->CbHotkey3->count(), 37);
        EXPECT_EQ(d->CbHotkey3->itemText(36), "0");
        d->CbHotkey1->setCurrentText("Ctrl");
        d->CbHotkey3->setCurrentText("Q");
        d->BtnClose->click();
    });
    ShowHotkeyDialog(true);
    EXPECT_TRUE(hintShown);
    EXPECT_EQ(HotKeyModifier1, "");
    EXPECT_EQ(HotKeyKey, "Esc");

    // Reopened from the button: no hint, and the unsaved choice is still in the boxes.
    onDialog([&](TFrmHotkeySet* d) {
        hintShown = d->LnlHint1->isVisible();
        EXPECT_EQ(d->CbHotkey1->currentText(), "Ctrl");
        d->CbHotkey2->setCurrentText("Ctrl");
        // Typed as a person types: no completion to "A", and Enter neither picks "A" nor adds "a" to the list.
        d->CbHotkey3->clearEditText();
        QTest::keyClicks(d->CbHotkey3, "a");
        QTest::keyClick(d->CbHotkey3, Qt::Key_Return);
        EXPECT_EQ(d->CbHotkey3->count(), 37);
        d->BtnConfirm->click();
    });
    ShowHotkeyDialog(false);
    EXPECT_FALSE(hintShown);
    EXPECT_EQ(HotKeyModifier1, "Ctrl");
    EXPECT_EQ(HotKeyModifier2, "Ctrl");
    EXPECT_EQ(HotKeyKey, "a");

    onDialog([](TFrmHotkeySet* d) {
        d->BtnDefaultSet->click();
        d->BtnConfirm->click();
    });
    ShowHotkeyDialog(false);
    EXPECT_EQ(HotKeyModifier1, "");
    EXPECT_EQ(HotKeyModifier2, "");
    EXPECT_EQ(HotKeyKey, "Esc");
}

TEST(AreaWindow, BoxesAndBoundsFollowEachOther) {
    test::ScriptedDialogs dialogs;
    TFrmAreaSelect area(dialogs);
    int confirmed = 0, closed = 0;
    area.onConfirm = [&] { ++confirmed; };
    area.onClose = [&] { ++closed; };
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    QApplication::setActiveWindow(&area);

    area.EdtWidth->setFocus();
    area.EdtWidth->setText("400");
    QTest::keyClick(area.EdtWidth, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return area.outerBounds().width() == 400; }));
    EXPECT_EQ(area.EdtWidth->text(), "400");
    // See-through but for the centred panel.
    EXPECT_EQ(area.mask(), QRegion(area.PnlMain->geometry()));
    EXPECT_EQ(area.PnlMain->x(), (400 - 265) / 2);

    area.move(300, 200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return area.outerBounds().topLeft() == QPoint(300, 200); }));
    EXPECT_EQ(area.EdtLeft->text(), "300");
    EXPECT_EQ(area.EdtTop->text(), "200");

    // Enter on a non-number is ignored; leaving the box with one asks for an integer and keeps the focus.
    area.EdtHeight->setFocus();
    area.EdtHeight->setText("");
    QTest::keyClick(area.EdtHeight, Qt::Key_Return);
    EXPECT_TRUE(dialogs.calls().empty());
    area.EdtTop->setFocus();
    EXPECT_EQ(dialogs.messages(), std::vector<QString>{QStringLiteral("请输入一个整数")});
    EXPECT_TRUE(area.EdtHeight->hasFocus());

    area.BtnConfirm->click();
    EXPECT_EQ(confirmed, 1);
    EXPECT_TRUE(area.isHidden());
    area.show();
    area.BtnClose->click();
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(area.isHidden());
}
