#pragma once
// The look shared by the program's windows: flat picture buttons whose faces carry their captions, and
// the decorative strips that frame every window. Colours are given as 0x00BBGGRR values, the form in
// which the program's colour constants are written. UI thread only.

#include <QAbstractButton>
#include <QColor>
#include <QHBoxLayout>
#include <QImage>
#include <QMargins>
#include <QPixmap>
#include <QWidget>
#include <initializer_list>

namespace zelq {

constexpr quint32 kWindowColour = 16710389;  // RGB(245,250,254): the background of every window
constexpr quint32 kStripColour = 16449269;   // RGB(245,254,250): the frame strips and the banner strip

inline QColor colourFromBgr(quint32 bgr) {
    return QColor::fromRgb(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                           static_cast<int>((bgr >> 16) & 0xFF));
}

// A picture of `size` logical pixels for a window to paint on, with as many pixels as the screen with the
// highest scale has for that size, so that what is painted on it stays sharp there.
QPixmap sharpPixmap(QSize size);

// Paints a widget's background in one of the colours above.
void setBackgroundColour(QWidget* widget, quint32 bgr);

// A flat button drawn as a picture: a soft face that lights up under the pointer, an optional glyph,
// and the caption painted on the face.
class SkinButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SkinButton(const QString& caption, QWidget* parent = nullptr);

    // `sharp` is the same glyph drawn at twice the size, painted in its place on a scaled desktop.
    void setGlyph(const QImage& glyph, const QImage& sharp = {});
    const QImage& glyph() const { return glyph_; }

    // A free integer the owner may use, as the Tag of a control.
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QImage glyph_;
    QImage sharpGlyph_;
    int tag_ = 0;
    bool hovered_ = false;
};

// A control with the object name its window's design gives it, by which tests find it.
template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A flat button with the object name its window's design gives it, and its hint when it has one.
SkinButton* namedSkinButton(QWidget* parent, const char* name, const QString& caption, const QString& hint = {});

// The row of buttons at the foot of a small dialog: right-aligned, each 80 x 28.
QHBoxLayout* dialogButtonRow(std::initializer_list<SkinButton*> buttons);

// Frames a window with the skin every window of the program shares: picture strips 15 pixels high at the
// top, 11 at the bottom, 10 wide on the left and 14 on the right, kept at the edges as the window resizes.
// Content laid out inside the window should leave those margins free (kSkinMargins).
void installSkinFrame(QWidget* window);
inline const QMargins kSkinMargins{10, 15, 14, 11};

// A decorative strip of the window frame: a gentle gradient in the strip colour with a thin edge line.
class SkinStrip : public QWidget {
    Q_OBJECT
public:
    explicit SkinStrip(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Orientation orientation_;
};

}  // namespace zelq
