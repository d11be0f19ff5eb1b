#include "app/playerbuttons.h"

#include <QPainter>
#include <QPainterPath>

namespace zelq {

PlayerButton::PlayerButton(PlayerGlyph glyph, QWidget* parent)
    : SkinButton(QString(), parent), glyph_(glyph) {
    setFixedSize(25, 25);
}

PlayerButton* namedPlayerButton(QWidget* parent, const char* name, PlayerGlyph glyph, const QString& hint) {
    auto* button = named(new PlayerButton(glyph, parent), name);
    button->setToolTip(hint);
    return button;
}

void PlayerButton::paintEvent(QPaintEvent* event) {
    SkinButton::paintEvent(event);  // the face; the caption is empty
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = isEnabled() ? QColor(24, 52, 92) : QColor(150, 150, 150);
    // A 13 x 13 square in the middle, moved a pixel down and right while pressed as the caption is.
    const qreal shift = isDown() ? 1 : 0;
    const QRectF box(6 + shift, 6 + shift, 13, 13);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    switch (glyph_) {
        case PlayerGlyph::Play: {
            QPainterPath triangle;
            triangle.moveTo(box.left() + 2, box.top());
            triangle.lineTo(box.right(), box.center().y());
            triangle.lineTo(box.left() + 2, box.bottom());
            triangle.closeSubpath();
            p.drawPath(triangle);
            break;
        }
        case PlayerGlyph::Pause:
            p.drawRect(QRectF(box.left() + 2, box.top(), 3.5, box.height()));
            p.drawRect(QRectF(box.right() - 5.5, box.top(), 3.5, box.height()));
            break;
        case PlayerGlyph::Stop:
            p.drawRect(box.adjusted(1.5, 1.5, -1.5, -1.5));
            break;
        case PlayerGlyph::FullScreen: {
            // Four corners pointing outwards.
            p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            p.setBrush(Qt::NoBrush);
            const qreal arm = 4;
            const QRectF r = box.adjusted(0.8, 0.8, -0.8, -0.8);
            p.drawPolyline(QPolygonF{{r.left(), r.top() + arm}, r.topLeft(), {r.left() + arm, r.top()}});
            p.drawPolyline(QPolygonF{{r.right() - arm, r.top()}, r.topRight(), {r.right(), r.top() + arm}});
            p.drawPolyline(
                QPolygonF{{r.right(), r.bottom() - arm}, r.bottomRight(), {r.right() - arm, r.bottom()}});
            p.drawPolyline(
                QPolygonF{{r.left() + arm, r.bottom()}, r.bottomLeft(), {r.left(), r.bottom() - arm}});
            break;
        }
    }
}

}  // namespace zelq
