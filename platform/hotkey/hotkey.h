#pragma once
// Global hot keys on X11: a key combination grabbed on the root window, so that it reaches this program
// whichever window has the focus. A combination another client already holds cannot be grabbed; that is
// a failed registration, as on any desktop where two programs cannot own the same hot key.
//
// On a Wayland desktop the keys belong to the desktop: they come from its GlobalShortcuts portal
// (PortalShortcuts), where it offers one.
//
// Keys are given as Windows virtual-key codes with MOD_* modifier bits, the form in which the hot-key
// dialog describes them; a table maps them to X keysyms. Presses arrive as hotKeyPressed(id).
// UI thread only (it uses the application's own X connection and event filter).

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace zelq {

class PortalShortcuts;

constexpr unsigned kModAlt = 1;      // MOD_ALT
constexpr unsigned kModControl = 2;  // MOD_CONTROL
constexpr unsigned kModShift = 4;    // MOD_SHIFT
constexpr unsigned kModWin = 8;      // MOD_WIN
constexpr unsigned kVkEscape = 27;

// The X keysym for a virtual-key code, or 0 when the code names no key.
std::uint32_t keysymForVirtualKey(unsigned vk);

class GlobalHotKeys final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    GlobalHotKeys();
    ~GlobalHotKeys() override;

    // Why registrations give no key on a Wayland desktop, so the program can say it. An X key grab there
    // (the program's windows are Xwayland windows) sees only keys pressed in X windows, never those pressed
    // while the recorded programs have the focus: keys come only from the desktop's GlobalShortcuts portal.
    // Where the desktop offers none, has not answered yet, or declined or failed to bind the key, recordings
    // are stopped from the stop window. None on X11, and once the desktop has bound the key.
    enum class NoKey { None, NotOffered, Asking, Refused };
    NoKey whyNoKey() const;
    // Whether a failed registration can mean that another program holds the key, which the user can mend
    // by choosing another: on X11. On Wayland the desktop owns the keys, and a registration fails until
    // the desktop has agreed to the shortcut (it may ask the user first).
    static bool conflictsPossible();

    // False when the key is unknown, there is no X display, keys are not available(), the identifier is
    // taken, or another client holds the combination (nothing stays grabbed then). On Wayland: false until
    // the desktop has bound the shortcut; the first call for a key asks it to.
    bool RegisterHotKey(int id, unsigned modifiers, unsigned virtualKey);
    // Releases every grab made for the identifier; false when it was not registered.
    bool UnregisterHotKey(int id);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // The hot-key message: a registered combination was pressed.
    void hotKeyPressed(int id);

private:
    bool registerWithPortal(int id, unsigned modifiers, unsigned virtualKey);
    std::unique_ptr<PortalShortcuts> portal_;  // Wayland only
    std::set<int> portalKeys_;                 // the identifiers registered through it
    struct Grab {
        std::uint8_t keycode;
        std::uint16_t modifiers;  // X modifier mask without the lock keys
    };
    std::map<int, std::vector<Grab>> grabs_;
};

}  // namespace zelq
