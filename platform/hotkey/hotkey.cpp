#include "hotkey.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QGuiApplication>
#include <memory>

#include "platform/desktopsession.h"
#include "platform/hotkey/portalshortcuts.h"
#include "platform/raii.h"

namespace zelq {

namespace {

// Keysyms (X11/keysymdef.h) for the virtual keys.
constexpr std::uint32_t XK_BackSpace = 0xff08, XK_Tab = 0xff09, XK_Return = 0xff0d, XK_Pause = 0xff13,
                        XK_Scroll_Lock = 0xff14, XK_Escape = 0xff1b, XK_Home = 0xff50, XK_Left = 0xff51,
                        XK_Up = 0xff52, XK_Right = 0xff53, XK_Down = 0xff54, XK_Prior = 0xff55, XK_Next = 0xff56,
                        XK_End = 0xff57, XK_Print = 0xff61, XK_Insert = 0xff63, XK_Menu = 0xff67,
                        XK_Num_Lock = 0xff7f, XK_KP_Multiply = 0xffaa, XK_KP_Add = 0xffab,
                        XK_KP_Separator = 0xffac, XK_KP_Subtract = 0xffad, XK_KP_Decimal = 0xffae,
                        XK_KP_Divide = 0xffaf, XK_KP_0 = 0xffb0, XK_F1 = 0xffbe, XK_Delete = 0xffff,
                        XK_space = 0x20, XK_Caps_Lock = 0xffe5, XK_semicolon = 0x3b, XK_equal = 0x3d,
                        XK_comma = 0x2c, XK_minus = 0x2d, XK_period = 0x2e, XK_slash = 0x2f, XK_grave = 0x60,
                        XK_bracketleft = 0x5b, XK_backslash = 0x5c, XK_bracketright = 0x5d, XK_apostrophe = 0x27;

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

std::uint16_t xModifiers(unsigned mod) {
    std::uint16_t mask = 0;
    if (mod & kModAlt) mask |= XCB_MOD_MASK_1;
    if (mod & kModControl) mask |= XCB_MOD_MASK_CONTROL;
    if (mod & kModShift) mask |= XCB_MOD_MASK_SHIFT;
    if (mod & kModWin) mask |= XCB_MOD_MASK_4;
    return mask;
}

// Caps Lock and Num Lock must not stop the hot key, so each combination is grabbed with and without them.
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::uint16_t kLockMask = XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2;

struct KeySymbolsDeleter {
    void operator()(xcb_key_symbols_t* p) const { xcb_key_symbols_free(p); }
};

}  // namespace

std::uint32_t keysymForVirtualKey(unsigned vk) {
    if (vk >= 'A' && vk <= 'Z') return vk - 'A' + 'a';
    if (vk >= '0' && vk <= '9') return vk;
    if (vk >= 0x60 && vk <= 0x69) return XK_KP_0 + (vk - 0x60);  // VK_NUMPAD0..9
    if (vk >= 0x70 && vk <= 0x87) return XK_F1 + (vk - 0x70);    // VK_F1..F24
    switch (vk) {
        case 0x08: return XK_BackSpace;
        case 0x09: return XK_Tab;
        case 0x0D: return XK_Return;
        case 0x13: return XK_Pause;
        case 0x14: return XK_Caps_Lock;
        case 0x1B: return XK_Escape;
        case 0x20: return XK_space;
        case 0x21: return XK_Prior;
        case 0x22: return XK_Next;
        case 0x23: return XK_End;
        case 0x24: return XK_Home;
        case 0x25: return XK_Left;
        case 0x26: return XK_Up;
        case 0x27: return XK_Right;
        case 0x28: return XK_Down;
        case 0x2C: return XK_Print;
        case 0x2D: return XK_Insert;
        case 0x2E: return XK_Delete;
        case 0x5D: return XK_Menu;
        case 0x6A: return XK_KP_Multiply;
        case 0x6B: return XK_KP_Add;
        case 0x6C: return XK_KP_Separator;
        case 0x6D: return XK_KP_Subtract;
        case 0x6E: return XK_KP_Decimal;
        case 0x6F: return XK_KP_Divide;
        case 0x90: return XK_Num_Lock;
        case 0x91: return XK_Scroll_Lock;
        case 0xBA: return XK_semicolon;
        case 0xBB: return XK_equal;
        case 0xBC: return XK_comma;
        case 0xBD: return XK_minus;
        case 0xBE: return XK_period;
        case 0xBF: return XK_slash;
        case 0xC0: return XK_grave;
        case 0xDB: return XK_bracketleft;
        case 0xDC: return XK_backslash;
        case 0xDD: return XK_bracketright;
        case 0xDE: return XK_apostrophe;
        default: return 0;
    }
}

GlobalHotKeys::GlobalHotKeys() {
    if (auto* app = QCoreApplication::instance()) app->installNativeEventFilter(this);
    // Made at once, so that the desktop has said whether it offers shortcuts before the first recording.
    if (isWaylandSession()) {
        portal_ = std::make_unique<PortalShortcuts>();
        connect(portal_.get(), &PortalShortcuts::activated, this, [this](int pressed) {
            // Pressed while no recording holds the key: the desktop keeps it bound, the program ignores it.
            if (portalKeys_.count(pressed))
                emit hotKeyPressed(pressed);
        });
    }
}

GlobalHotKeys::~GlobalHotKeys() {
    while (!grabs_.empty()) UnregisterHotKey(grabs_.begin()->first);
    if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
}

GlobalHotKeys::NoKey GlobalHotKeys::whyNoKey() const {
    if (!portal_)
        return NoKey::None;
    switch (portal_->standing()) {
    case PortalShortcuts::Standing::NotOffered: return NoKey::NotOffered;
    case PortalShortcuts::Standing::Asking: return NoKey::Asking;
    case PortalShortcuts::Standing::Refused: return NoKey::Refused;
    case PortalShortcuts::Standing::Bound: break;
    }
    return NoKey::None;
}

bool GlobalHotKeys::conflictsPossible() {
    return !isWaylandSession();
}

namespace {

// The key as the desktop's shortcut portal writes keys ("CTRL+ALT+s"); empty for a key it has no plain name for,
// and then the desktop or the user chooses.
QString shortcutTrigger(unsigned modifiers, unsigned vk) {
    QString key;
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        key = QChar(static_cast<char16_t>(vk)).toLower();
    else if (vk == kVkEscape)
        key = QStringLiteral("Escape");
    else if (vk >= 0x70 && vk <= 0x87)
        key = QStringLiteral("F%1").arg(vk - 0x70 + 1);
    if (key.isEmpty())
        return {};
    QStringList parts;
    if (modifiers & kModControl)
        parts << QStringLiteral("CTRL");
    if (modifiers & kModAlt)
        parts << QStringLiteral("ALT");
    if (modifiers & kModShift)
        parts << QStringLiteral("SHIFT");
    if (modifiers & kModWin)
        parts << QStringLiteral("LOGO");
    parts << key;
    return parts.join(QLatin1Char('+'));
}

}  // namespace

bool GlobalHotKeys::registerWithPortal(int id, unsigned modifiers, unsigned virtualKey) {
    if (!portal_ || portalKeys_.count(id))
        return false;
    portal_->bind(id, shortcutTrigger(modifiers, virtualKey));
    if (!portal_->isBound(id))
        return false;
    portalKeys_.insert(id);
    return true;
}

bool GlobalHotKeys::RegisterHotKey(int id, unsigned modifiers, unsigned virtualKey) {
    if (isWaylandSession())
        return registerWithPortal(id, modifiers, virtualKey);
    xcb_connection_t* c = x11Connection();
    const std::uint32_t keysym = keysymForVirtualKey(virtualKey);
    if (!c || keysym == 0 || grabs_.count(id)) return false;

    std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter> symbols(xcb_key_symbols_alloc(c));
    if (!symbols) return false;
    std::unique_ptr<xcb_keycode_t, XcbReplyDeleter> keycodes(xcb_key_symbols_get_keycode(symbols.get(), keysym));
    if (!keycodes || *keycodes == XCB_NO_SYMBOL) return false;

    const xcb_window_t root = rootWindow(c);
    const std::uint16_t mods = xModifiers(modifiers);
    std::vector<Grab> made;
    bool refused = false;
    // A keysym may sit on several keys; each is grabbed, and one refusal refuses the whole combination.
    for (const xcb_keycode_t* k = keycodes.get(); *k != XCB_NO_SYMBOL && !refused; ++k) {
        for (std::uint16_t lock : kLockVariants) {
            const auto cookie = xcb_grab_key_checked(c, 1, root, mods | lock, *k, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            std::unique_ptr<xcb_generic_error_t, XcbReplyDeleter> error(xcb_request_check(c, cookie));
            if (error) {
                refused = true;
                break;
            }
            made.push_back({*k, static_cast<std::uint16_t>(mods | lock)});
        }
    }
    if (refused) {
        for (const Grab& g : made) xcb_ungrab_key(c, g.keycode, root, g.modifiers);
        xcb_flush(c);
        return false;
    }
    for (Grab& g : made) g.modifiers &= static_cast<std::uint16_t>(~kLockMask);
    grabs_[id] = std::move(made);
    return true;
}

bool GlobalHotKeys::UnregisterHotKey(int id) {
    if (portalKeys_.erase(id))
        return true;
    const auto it = grabs_.find(id);
    if (it == grabs_.end()) return false;
    if (xcb_connection_t* c = x11Connection()) {
        const xcb_window_t root = rootWindow(c);
        for (const Grab& g : it->second) {
            for (std::uint16_t lock : kLockVariants) xcb_ungrab_key(c, g.keycode, root, g.modifiers | lock);
        }
        xcb_flush(c);
    }
    grabs_.erase(it);
    return true;
}

bool GlobalHotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || grabs_.empty()) return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS) return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    const std::uint16_t mods = press->state & (XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4);
    for (const auto& [id, list] : grabs_) {
        for (const Grab& g : list) {
            if (g.keycode == press->detail && g.modifiers == mods) {
                emit hotKeyPressed(id);
                return true;
            }
        }
    }
    return false;
}

}  // namespace zelq
