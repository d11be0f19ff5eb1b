#include "skin.h"

#include <QApplication>
#include <QEnterEvent>
#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>

namespace zelq {

QPixmap sharpPixmap(QSize size) {
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

void setBackgroundColour(QWidget* widget, quint32 bgr) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colourFromBgr(bgr));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

SkinButton* namedSkinButton(QWidget* parent, const char* name, const QString& caption, const QString& hint) {
    auto* button = new SkinButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty()) button->setToolTip(hint);
    return button;
}

QHBoxLayout* dialogButtonRow(std::initializer_list<SkinButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (SkinButton* b : buttons) {
        b->setFixedSize(80, 28);
        row->addWidget(b);
    }
    return row;
}

SkinButton::SkinButton(const QString& caption, QWidget* parent) : QAbstractButton(parent) {
    setText(caption);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);  // speed buttons never take the focus from the boxes
}

void SkinButton::setGlyph(const QImage& glyph, const QImage& sharp) {
    glyph_ = glyph;
    sharpGlyph_ = sharp;
    update();
}

QSize SkinButton::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    int w = fm.horizontalAdvance(text()) + 16;
    if (!glyph_.isNull()) w += glyph_.width() + 4;
    return {std::max(w, 24), std::max(fm.height() + 12, 24)};
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(1, 1, -1, -1);
    const bool pressed = isDown() || isChecked();
    QLinearGradient gradient(face.topLeft(), face.bottomLeft());
    if (!isEnabled()) {
        gradient.setColorAt(0, QColor(238, 240, 242));
        gradient.setColorAt(1, QColor(225, 228, 232));
    } else if (pressed) {
        gradient.setColorAt(0, QColor(176, 206, 236));
        gradient.setColorAt(1, QColor(206, 226, 246));
    } else if (hovered_) {
        gradient.setColorAt(0, QColor(236, 246, 255));
        gradient.setColorAt(1, QColor(196, 224, 250));
    } else {
        gradient.setColorAt(0, QColor(252, 253, 255));
        gradient.setColorAt(1, QColor(218, 232, 246));
    }
    p.setPen(QPen(hovered_ || pressed ? QColor(92, 146, 206) : QColor(168, 192, 218), 1));
    p.setBrush(gradient);
    p.drawRoundedRect(face, 4, 4);

    QRect content = rect().adjusted(6, 2, -6, -2);
    if (!glyph_.isNull()) {
        const QPoint at(content.left(), content.center().y() - glyph_.height() / 2 + 1);
        if (!sharpGlyph_.isNull() && devicePixelRatioF() > 1.0) {
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRect(at, glyph_.size()), sharpGlyph_);
        } else {
            p.drawImage(at, glyph_);
        }
        content.setLeft(at.x() + glyph_.width() + 4);
    }
    p.setPen(isEnabled() ? QColor(24, 52, 92) : QColor(150, 150, 150));
    const int align = glyph_.isNull() ? Qt::AlignCenter : (Qt::AlignVCenter | Qt::AlignLeft);
    p.drawText(content.translated(pressed ? 1 : 0, pressed ? 1 : 0), align, text());
}

void SkinButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

namespace {

// Keeps the four strips of a window at its edges.
class SkinFrameKeeper final : public QObject {
public:
    SkinFrameKeeper(QWidget* window) : QObject(window), window_(window) {
        top_ = new SkinStrip(Qt::Horizontal, window);
        bottom_ = new SkinStrip(Qt::Horizontal, window);
        left_ = new SkinStrip(Qt::Vertical, window);
        right_ = new SkinStrip(Qt::Vertical, window);
        window->installEventFilter(this);
        place();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) place();
        return false;
    }

private:
    void place() {
        const int w = window_->width(), h = window_->height();
        top_->setGeometry(0, 0, w, kSkinMargins.top());
        bottom_->setGeometry(0, h - kSkinMargins.bottom(), w, kSkinMargins.bottom());
        left_->setGeometry(0, kSkinMargins.top(), kSkinMargins.left(), h - kSkinMargins.top() - kSkinMargins.bottom());
        right_->setGeometry(w - kSkinMargins.right(), kSkinMargins.top(), kSkinMargins.right(),
                            h - kSkinMargins.top() - kSkinMargins.bottom());
    }

    QWidget* window_;
    SkinStrip* top_;
    SkinStrip* bottom_;
    SkinStrip* left_;
    SkinStrip* right_;
};

}  // namespace

void installSkinFrame(QWidget* window) {
    setBackgroundColour(window, kWindowColour);
    new SkinFrameKeeper(window);
}

SkinStrip::SkinStrip(Qt::Orientation orientation, QWidget* parent) : QWidget(parent), orientation_(orientation) {}

void SkinStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor base = colourFromBgr(kStripColour);
    const bool horizontal = orientation_ == Qt::Horizontal;
    QLinearGradient gradient(0, 0, horizontal ? 0 : width(), horizontal ? height() : 0);
    gradient.setColorAt(0, base.lighter(104));
    gradient.setColorAt(1, QColor(196, 222, 238));
    p.fillRect(rect(), gradient);
    p.setPen(QColor(150, 186, 214));
    if (horizontal) {
        p.drawLine(0, height() - 1, width(), height() - 1);
    } else {
        p.drawLine(width() - 1, 0, width() - 1, height());
    }
}

}  // namespace zelq
