#include "hotkeyset.h"

#include <QCoreApplication>
#include <QPointer>

#include "platform/guard.h"
#include "platform/windowplacement.h"

namespace zelq {

QString HotKeyModifier1;
QString HotKeyModifier2;
QString HotKeyKey = QStringLiteral("Esc");

void ResetStopHotKey() {
    HotKeyModifier1.clear();
    HotKeyModifier2.clear();
    HotKeyKey = QStringLiteral("Esc");
}

namespace {

QPointer<TFrmHotkeySet> dialogInstance;

QComboBox* comboBox(QWidget* parent, const char* name, const QStringList& items, int x) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    // The text stands as typed: no completion (it would turn "a" into "A"), no case-blind match of an
    // item on Enter, and nothing typed is added to the list.
    box->setCompleter(nullptr);
    box->setDuplicatesEnabled(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentIndex(0);
    box->setGeometry(x, 32, 73, 22);
    return box;
}

SkinButton* faceButton(QWidget* parent, const char* name, const QString& face, int x, int y) {
    SkinButton* b = namedSkinButton(parent, name, face);
    b->setGeometry(x, y, 57, 26);
    return b;
}

}  // namespace

TFrmHotkeySet::TFrmHotkeySet() : QDialog(nullptr) {
    setObjectName(QStringLiteral("FrmHotkeySet"));
    setWindowTitle(QStringLiteral("热键设置"));
    installSkinFrame(this);
    setFixedSize(660, 136);
    move(176, 256);

    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(13);
    setFont(font);
    Label1 = new QLabel(QStringLiteral("屏幕录像退回键"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(24, 35);
    for (int x : {205, 297}) {
        auto* plus = new QLabel(QStringLiteral("+"), this);
        plus->move(x, 35);
    }
    const QStringList modifiers{QString(), QStringLiteral("Ctrl"), QStringLiteral("Alt"), QStringLiteral("Shift")};
    QStringList keys{QStringLiteral("Esc")};
    for (char c = 'A'; c <= 'Z'; ++c) keys << QString(QLatin1Char(c));
    for (char c = '1'; c <= '9'; ++c) keys << QString(QLatin1Char(c));
    keys << QStringLiteral("0");
    CbHotkey1 = comboBox(this, "CbHotkey1", modifiers, 128);
    CbHotkey2 = comboBox(this, "CbHotkey2", modifiers, 216);
    CbHotkey3 = comboBox(this, "CbHotkey3", keys, 312);

    LnlHint1 = new QLabel(QStringLiteral("此快捷键冲突，请修改"), this);
    LnlHint1->setObjectName(QStringLiteral("LnlHint1"));
    QFont hintFont(QStringLiteral("宋体"));
    hintFont.setPixelSize(16);
    LnlHint1->setFont(hintFont);
    LnlHint1->setStyleSheet(QStringLiteral("color: red;"));
    LnlHint1->move(394, 35);
    LnlHint1->hide();

    BtnDefaultSet = faceButton(this, "BtnDefaultSet", QStringLiteral("缺省"), 273, 74);
    BtnConfirm = faceButton(this, "BtnConfirm", QStringLiteral("保存"), 343, 74);
    BtnClose = faceButton(this, "BtnClose", QStringLiteral("关闭"), 415, 74);
    connect(BtnDefaultSet, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { BtnDefaultSetClick(); }); });
    connect(BtnConfirm, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { BtnConfirmClick(); }); });
    connect(BtnClose, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { BtnCloseClick(); }); });
}

void TFrmHotkeySet::BtnDefaultSetClick() {
    for (QComboBox* box : {CbHotkey1, CbHotkey2, CbHotkey3}) box->setCurrentIndex(0);
}

void TFrmHotkeySet::BtnConfirmClick() {
    // The texts as they stand, also when the user typed something that is not in the list.
    HotKeyModifier1 = CbHotkey1->currentText();
    HotKeyModifier2 = CbHotkey2->currentText();
    HotKeyKey = CbHotkey3->currentText();
    accept();
}

void TFrmHotkeySet::BtnCloseClick() { reject(); }

void ShowHotkeyDialog(bool conflict) {
    swallowErrors([conflict] {
        if (!dialogInstance) {
            dialogInstance = new TFrmHotkeySet;
            keepOnHomeScreen(dialogInstance);
            // Made without an owner, so it must go before the application does.
            qAddPostRoutine([] { delete dialogInstance.data(); });
        }
        dialogInstance->LnlHint1->setVisible(conflict);
        dialogInstance->exec();
    });
}

TFrmHotkeySet* HotkeyDialog() { return dialogInstance.data(); }

}  // namespace zelq
