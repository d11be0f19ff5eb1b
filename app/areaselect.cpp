#include "app/areaselect.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QRegion>

#include "platform/dialogs.h"
#include "platform/focusexit.h"
#include "platform/guard.h"
#include "platform/textnum.h"
#include "platform/windowplacement.h"

namespace zelq {

namespace {

constexpr int kPanelSize = 265;

QLineEdit* areaBox(QWidget* parent, const char* name, QRect at) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(at);
    box->setFrame(false);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(16);
    font.setBold(true);
    box->setFont(font);
    box->setStyleSheet(QStringLiteral("color: #0000ff; background: transparent;"));
    return box;
}

QLabel* caption(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    return label;
}

}  // namespace

TFrmAreaSelect::TFrmAreaSelect(Dialogs& dialogs, QWidget* owner)
    // A title bar with the system menu and the close box only: minimised, with the main window hidden,
    // it would leave nothing of the program on screen.
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowSystemMenuHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("FrmAreaSelect"));
    setWindowTitle(QStringLiteral("请拖拉本窗体到合适位置，以确定录像区域"));
    setBackgroundColour(this, kWindowColour);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(13);
    setFont(font);

    PnlMain = new QWidget(this);
    PnlMain->setObjectName(QStringLiteral("PnlMain"));
    setBackgroundColour(PnlMain, kWindowColour);
    PnlMain->setGeometry(0, 0, kPanelSize, kPanelSize);
    PnlTop = new SkinStrip(Qt::Horizontal, PnlMain);
    PnlTop->setObjectName(QStringLiteral("PnlTop"));
    PnlTop->setGeometry(0, 0, kPanelSize, 15);
    PnlBottom = new SkinStrip(Qt::Horizontal, PnlMain);
    PnlBottom->setObjectName(QStringLiteral("PnlBottom"));
    PnlBottom->setGeometry(0, kPanelSize - 11, kPanelSize, 11);
    auto* leftEdge = new SkinStrip(Qt::Vertical, PnlMain);
    leftEdge->setGeometry(0, 15, 10, kPanelSize - 26);
    auto* rightEdge = new SkinStrip(Qt::Vertical, PnlMain);
    rightEdge->setGeometry(kPanelSize - 14, 15, 14, kPanelSize - 26);

    // The inner panel: the four boxes with their captions and the two buttons.
    auto* inner = new QWidget(PnlMain);
    inner->setGeometry(10, 60, 240, 120);
    caption(inner, QStringLiteral("区域位置和大小"), 18, 6);
    caption(inner, QStringLiteral("左:"), 58, 31);
    caption(inner, QStringLiteral("上:"), 58, 58);
    caption(inner, QStringLiteral("宽:"), 136, 31);
    caption(inner, QStringLiteral("高:"), 136, 57);
    EdtLeft = areaBox(inner, "EdtLeft", {86, 29, 40, 19});
    EdtTop = areaBox(inner, "EdtTop", {85, 57, 40, 18});
    EdtWidth = areaBox(inner, "EdtWidth", {166, 29, 42, 20});
    EdtHeight = areaBox(inner, "EdtHeight", {167, 55, 39, 19});
    BtnConfirm = new SkinButton(QStringLiteral("开始录制该区域"), inner);
    BtnConfirm->setObjectName(QStringLiteral("BtnConfirm"));
    BtnConfirm->setGeometry(18, 79, 121, 26);
    BtnClose = new SkinButton(QStringLiteral("关闭"), inner);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    BtnClose->setGeometry(144, 80, 56, 24);
    connect(BtnConfirm, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { BtnConfirmClick(); }); });
    connect(BtnClose, &QAbstractButton::clicked, this, [this] { swallowErrors([this] { BtnCloseClick(); }); });
    for (QLineEdit* box : {EdtLeft, EdtTop, EdtWidth, EdtHeight}) box->installEventFilter(this);

    // The window is as large as its panel, outer bounds, where its design puts it.
    setOuterBounds(this, QRect(231, 192, kPanelSize, kPanelSize));
    refuseMinimise(this);
    trackOuterBounds(this);
}

QRect TFrmAreaSelect::outerBounds() const { return zelq::outerBounds(this); }

void TFrmAreaSelect::FormResize() {
    const QRect outer = frameGeometry();
    centredFor_ = outer.size();
    // Centred on the outer size, as the panel has always been placed.
    PnlMain->move((outer.width() - kPanelSize) / 2, (outer.height() - kPanelSize) / 2);
    // See-through everywhere but the panel: the window manager's frame then outlines the rectangle.
    setMask(QRegion(PnlMain->geometry()));
    UpdateAreaEdits();
}

void TFrmAreaSelect::UpdateAreaEdits() {
    // Qt's own view of the frame, which its move and resize events keep current as they arrive.
    const QRect outer = frameGeometry();
    EdtLeft->setText(QString::number(outer.left()));
    EdtTop->setText(QString::number(outer.top()));
    EdtWidth->setText(QString::number(outer.width()));
    EdtHeight->setText(QString::number(outer.height()));
}

TFrmAreaSelect::Side TFrmAreaSelect::sideOf(const QLineEdit* box) const {
    if (box == EdtLeft) return Side::Left;
    if (box == EdtTop) return Side::Top;
    if (box == EdtWidth) return Side::Width;
    return Side::Height;
}

bool TFrmAreaSelect::applyBox(QLineEdit* box) {
    const auto value = parseInteger(box->text());
    if (!value) return false;
    const QRect outer = frameGeometry();
    // The numbers are outer bounds; Qt sizes the client area, so the frame's share is taken off.
    const int frameWidth = outer.width() - width();
    const int frameHeight = outer.height() - height();
    switch (sideOf(box)) {
        case Side::Left: move(*value, outer.top()); break;
        case Side::Top: move(outer.left(), *value); break;
        case Side::Width: resize(std::max(1, *value - frameWidth), height()); break;
        case Side::Height: resize(width(), std::max(1, *value - frameHeight)); break;
    }
    return true;
}

bool TFrmAreaSelect::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!box) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Enter applies the number; a text that is no number is ignored here without a word.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) swallowErrors([this, box] { applyBox(box); });
    } else if (focusLeftForAnotherControl(box, event)) {
        swallowErrors([this, box] {
            if (applyBox(box)) return;
            dialogs_.messageBox(QStringLiteral("请输入一个整数"), {}, MsgIcon::None, MsgButtons::Ok, this);
            box->setFocus();
        });
    }
    return QWidget::eventFilter(watched, event);
}

void TFrmAreaSelect::BtnConfirmClick() {
    swallowErrors([this] { hide(); });
    if (onConfirm) onConfirm();
}

void TFrmAreaSelect::BtnCloseClick() { close(); }

void TFrmAreaSelect::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    swallowErrors([this] { FormResize(); });
}

void TFrmAreaSelect::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    swallowErrors([this] {
        // The window manager's frame arrives after the first resize, with a move: the outer size it
        // brings is what the panel is centred on.
        if (frameGeometry().size() != centredFor_) {
            FormResize();
        } else {
            UpdateAreaEdits();
        }
    });
}

void TFrmAreaSelect::closeEvent(QCloseEvent* event) {
    swallowErrors([this] {
        hide();
        if (onClose) onClose();
    });
    event->accept();
}

}  // namespace zelq
