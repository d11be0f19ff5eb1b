#pragma once
// A plain square window, black or white, above everything: the picture's half of a tone-and-flash
// marker. It bypasses the window manager, so it sits exactly where it is put and is never decorated.
// UI thread only.

#include <QGuiApplication>
#include <QPalette>
#include <QRect>
#include <QWidget>

namespace soundsync {

class FlashSquare final : public QWidget {
public:
    explicit FlashSquare(QRect at)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {
        setGeometry(at);
        setAutoFillBackground(true);
        set(false);
        show();
    }
    // On the screen when this returns (painted, and the display server has answered after drawing it),
    // not at the next turn of the event loop: the moment it is shown is measured.
    void set(bool bright) {
        setPalette(QPalette(bright ? Qt::white : Qt::black));
        repaint();
        QGuiApplication::sync();
    }
};

}  // namespace soundsync
