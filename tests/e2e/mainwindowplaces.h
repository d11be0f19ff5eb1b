#pragma once
// What the end-to-end tests share besides the session: where the main window's controls are, the client
// size of a window, and another program that holds Esc.
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QPoint>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdlib>

#include "app/screencam.h"
#include "common/scripted_dialogs.h"
#include "session.h"

namespace zelq::e2e {

inline const QString kMainTitle = QStringLiteral("ZELQ屏幕录像助手1.2");
inline const QString kAreaTitle = QStringLiteral("请拖拉本窗体到合适位置，以确定录像区域");
inline const QString kToolTitle = QStringLiteral("区域屏幕录像");
inline const QString kHotkeyTitle = QStringLiteral("热键设置");
inline const QString kBoxTitle = QStringLiteral("ZELQ屏幕录像助手");
inline const QString kOptionsTitle = QStringLiteral("参数设置");

// Places in the area window's panel, the tool window and the hot-key dialog (client coordinates, logical).
inline const QPoint kEdtWidth(10 + 166 + 21, 60 + 29 + 10);
inline const QPoint kAreaConfirm(10 + 18 + 60, 60 + 79 + 13);
inline const QPoint kToolStop(24 + 59, 20 + 20);
inline const QPoint kHotkeyClose(415 + 28, 74 + 13);

// Where something of the main window sits in a client area of this size: measured on a main window laid
// out the same way in this process. `where` answers in the window's client coordinates.
template <typename Where>
auto measureMain(QSize client, Where where) {
    test::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    AppServices services;
    services.dialogs = &dialogs;
    services.settingsPath = dir.filePath("defualt.ini");
    services.shellOpen = [](const QString&) {};
    TFrmScreenCam window(services);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.resize(client);
    window.show();
    const auto answer = where(window);
    window.hide();
    return answer;
}

// Where a control (a button of the column, say) has its middle.
template <typename Control>
QPoint mainButton(QSize client, Control* TFrmScreenCam::*button) {
    return measureMain(client, [button](TFrmScreenCam& w) {
        QWidget* b = w.*button;
        return b->mapTo(&w, b->rect().center());
    });
}

inline QSize clientSize(Session& s, const QString& window) {
    QSize size;
    for (const QString& line : s.xdotool({"getwindowgeometry", "--shell", window}).split('\n')) {
        if (line.startsWith("WIDTH="))
            size.setWidth(line.mid(6).toInt());
        if (line.startsWith("HEIGHT="))
            size.setHeight(line.mid(7).toInt());
    }
    return size;
}

// Another program on the same desktop that holds Esc for itself.
class EscHolder {
public:
    explicit EscHolder(const QString& display) : c_(xcb_connect(display.toLatin1().constData(), nullptr)) {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c_);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, 0xff1b);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        for (std::uint16_t lock : {std::uint16_t{0}, std::uint16_t{XCB_MOD_MASK_2}}) {
            xcb_generic_error_t* e = xcb_request_check(
                c_,
                xcb_grab_key_checked(c_, 1, root, lock, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            held_ = held_ || e == nullptr;
            free(e);
        }
        free(codes);
        xcb_key_symbols_free(symbols);
    }
    ~EscHolder() { xcb_disconnect(c_); }
    bool held() const { return held_; }

private:
    xcb_connection_t* c_;
    bool held_ = false;
};

}  // namespace zelq::e2e
