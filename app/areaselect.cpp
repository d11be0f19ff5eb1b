#include "app/areaselect.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QThread>

#include "platform/desktopsession.h"
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

QString placeText(const QRect& r) {
    return QStringLiteral("左 %1，上 %2，宽 %3，高 %4").arg(r.left()).arg(r.top()).arg(r.width()).arg(r.height());
}

// Longer than the placement of a window can take (placementcheck.cpp).
constexpr int kPlacingWaitMs = 15000;

// The outline of a window placed by the window manager's commands: it has no frame of the window
// manager's to outline the rectangle.
constexpr int kOutline = 2;
const QColor kOutlineColour(0, 0, 255);

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
    // Xwayland shows no X shape: where a tiling Wayland desktop makes the window be placed by its
    // commands, the see-through part has to come from an alpha channel, which a window has only if it
    // asked for one when it was made. Elsewhere the shape is what is seen, as on X11.
    if (isWaylandSession()) setAttribute(Qt::WA_TranslucentBackground);
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
    // Placed by commands, the window is see-through by its alpha channel, and outlines itself.
    if (!placedByCommands_) setMask(QRegion(PnlMain->geometry()));
    UpdateAreaEdits();
}

void TFrmAreaSelect::UpdateAreaEdits() {
    // Qt's own view of the frame, which its move and resize events keep current as they arrive. While the
    // window manager is still carrying out typed bounds, the boxes keep them: the moves on the way there
    // would otherwise show, and a box left with one of them would ask for it again.
    const QRect outer = pendingAsk_.value_or(frameGeometry());
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
    // Numbers typed one after another build on the bounds asked of the window manager last, which the
    // window may not have reached yet.
    QRect asked = pendingAsk_.value_or(outer);
    switch (sideOf(box)) {
        case Side::Left: asked.moveLeft(*value); break;
        case Side::Top: asked.moveTop(*value); break;
        case Side::Width: asked.setWidth(std::max(1, *value)); break;
        case Side::Height: asked.setHeight(std::max(1, *value)); break;
    }
    if (placedByCommands_) {
        // The window manager would put a moved window back where it likes it: it is asked to move it.
        pendingAsk_ = asked;
        placing_ = true;
        placeByCommand(this, asked, [this, asked](const PlacementResult& r) { typedPlaced(r, asked); });
        return true;
    }
    // The numbers are outer bounds; Qt sizes the client area, so the frame's share is taken off.
    const int frameWidth = outer.width() - width();
    const int frameHeight = outer.height() - height();
    switch (sideOf(box)) {
        case Side::Left: move(*value, outer.top()); break;
        case Side::Top: move(outer.left(), *value); break;
        case Side::Width: resize(std::max(1, *value - frameWidth), height()); break;
        case Side::Height: resize(width(), std::max(1, *value - frameHeight)); break;
    }
    // Typed before the window manager's placement of the showing has been judged: judged against these
    // bounds instead, which the window now asks for.
    if (placing_) judgeShowing(asked);
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
    // Confirmed before the window manager's placement has been judged: the judgement is waited for (it
    // takes a few seconds at most), since it decides where the stop window goes, and whether the
    // window, and so what the recording is told, is where the user sees it.
    QElapsedTimer waited;
    waited.start();
    while (placing_ && isVisible() && waited.elapsed() < kPlacingWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(5);
    }
    if (!isVisible()) return;
    if (placedByCommands_ && !keptOnMonitor()) return;
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

void TFrmAreaSelect::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Where the window asks to be: on a tiling desktop it lands in a tile instead, and is then placed by
    // the window manager's commands, or the user is told why the area cannot be marked here.
    judgeShowing(frameGeometry());
}

void TFrmAreaSelect::judgeShowing(const QRect& asked) {
    placing_ = true;
    checkPlacement(this, asked, [this, asked](const PlacementResult& r) {
        placing_ = false;
        swallowErrors([this, &r, &asked] { showingPlaced(r, asked); });
    });
}

void TFrmAreaSelect::showingPlaced(const PlacementResult& result, const QRect& asked) {
    QString why;
    switch (result.how) {
        case Placement::AsAsked: return;
        case Placement::ByCommand:
            placedByCommands_ = true;
            clearMask();
            setAutoFillBackground(false);
            update();
            return;
        case Placement::NoCommands:
            // An X11 window manager that places windows its own way has always been left to it.
            if (!isWaylandSession()) return;
            why = QStringLiteral("这个桌面不按程序的要求摆放窗口，区域窗口没法放到要录的位置，"
                                 "桌面也没有程序能请它摆放窗口的接口（sway 或 i3 的 IPC）。"
                                 "请改用全屏录像。");
            break;
        case Placement::Refused:
            why = QStringLiteral("桌面没有把区域窗口放到要录的位置（%1），请改用全屏录像。").arg(placeText(asked));
            if (!result.why.isEmpty()) why += QStringLiteral("\n桌面的回答：%1").arg(result.why);
            break;
    }
    dialogs_.messageBox(why, {}, MsgIcon::Warning, MsgButtons::Ok, this);
    close();
    // Qt now holds the tile the window manager gave it; shown again, it asks for what it asked for now.
    setOuterBounds(this, asked);
}

void TFrmAreaSelect::typedPlaced(const PlacementResult& result, const QRect& asked) {
    // Only the newest placement reports (a newer one replaces an older): nothing is on its way now.
    placing_ = false;
    pendingAsk_.reset();
    UpdateAreaEdits();
    if (result.how == Placement::AsAsked || result.how == Placement::ByCommand) return;
    dialogs_.messageBox(QStringLiteral("桌面没有把区域窗口放到 %1，它现在在 %2。")
                            .arg(placeText(asked), placeText(result.at)),
                        {}, MsgIcon::Warning, MsgButtons::Ok, this);
}

bool TFrmAreaSelect::keptOnMonitor() {
    const QRect outer = frameGeometry();
    const QScreen* on = QGuiApplication::screenAt(outer.center());
    if (!on) on = screen();
    const QRect monitor = on ? on->geometry() : QRect();
    if (monitor.isEmpty() || monitor.contains(outer)) return true;
    // The screen's picture has nothing beyond the monitor: that part would be recorded black.
    const QSize size = outer.size().boundedTo(monitor.size());
    const QRect inside(QPoint(std::clamp(outer.left(), monitor.left(), monitor.right() - size.width() + 1),
                              std::clamp(outer.top(), monitor.top(), monitor.bottom() - size.height() + 1)),
                       size);
    dialogs_.messageBox(QStringLiteral("录像区域有一部分在显示器之外（%1），已把它移回显示器之内（%2）。"
                                       "请看一下，再按“开始录制该区域”。")
                            .arg(placeText(outer), placeText(inside)),
                        {}, MsgIcon::Warning, MsgButtons::Ok, this);
    pendingAsk_ = inside;
    placing_ = true;
    placeByCommand(this, inside, [this, inside](const PlacementResult& r) { typedPlaced(r, inside); });
    return false;
}

void TFrmAreaSelect::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!placedByCommands_) return;
    QPainter painter(this);
    painter.setPen(QPen(kOutlineColour, kOutline, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    const qreal half = kOutline / 2.0;
    painter.drawRect(QRectF(rect()).adjusted(half, half, -half, -half));
}

void TFrmAreaSelect::closeEvent(QCloseEvent* event) {
    swallowErrors([this] {
        hide();
        if (onClose) onClose();
    });
    event->accept();
}

}  // namespace zelq
