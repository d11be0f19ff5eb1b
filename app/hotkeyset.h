#pragma once
// The stop hot key: the three texts that describe it for the run, and the dialog in which the user
// chooses it. UI thread only.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QString>

#include "platform/skin.h"

namespace zelq {

// Up to two modifiers ("", "Ctrl", "Alt", "Shift") and a key ("Esc", "A".."Z", "0".."9", or whatever the
// user typed). Plain Esc at every start; they are not stored between runs.
extern QString HotKeyModifier1;
extern QString HotKeyModifier2;
extern QString HotKeyKey;

// Back to plain Esc.
void ResetStopHotKey();

class TFrmHotkeySet : public QDialog {
    Q_OBJECT
public:
    TFrmHotkeySet();

    QLabel* Label1 = nullptr;
    QComboBox* CbHotkey1 = nullptr;
    QComboBox* CbHotkey2 = nullptr;
    QComboBox* CbHotkey3 = nullptr;
    QLabel* LnlHint1 = nullptr;
    SkinButton* BtnDefaultSet = nullptr;
    SkinButton* BtnConfirm = nullptr;
    SkinButton* BtnClose = nullptr;

    void BtnDefaultSetClick();
    void BtnConfirmClick();
    void BtnCloseClick();
};

// Shows the dialog modally, with the red conflict hint when conflict is true. The dialog is made on
// first use, without an owner, and kept with its boxes as the user left them.
void ShowHotkeyDialog(bool conflict);

// The dialog, once made (for tests and for callers that need its boxes); null before the first use.
TFrmHotkeySet* HotkeyDialog();

}  // namespace zelq
