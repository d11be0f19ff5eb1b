#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "platform/hotkey/hotkey.h"

using namespace zelq;

namespace {

bool onX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

// Presses keys as a person would, through the X server's test extension.
void press(const QStringList& keys) {
    ASSERT_EQ(QProcess::execute("xdotool", QStringList{"key", "--clearmodifiers"} + keys), 0);
}

// Another X client, holding a key combination of its own.
class OtherClient {
public:
    OtherClient() : c_(xcb_connect(nullptr, nullptr)) {}
    // Lets go of its keys and waits until the server has done so: a bare disconnect is noticed by the
    // server only some time later, and a grab made meanwhile would still be refused.
    ~OtherClient() {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        xcb_ungrab_key(c_, XCB_GRAB_ANY, root, XCB_MOD_MASK_ANY);
        free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
        xcb_disconnect(c_);
    }
    bool grab(std::uint32_t keysym, std::uint16_t modifiers) {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c_);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        xcb_generic_error_t* error =
            xcb_request_check(c_, xcb_grab_key_checked(c_, 1, root, modifiers, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        const bool ok = error == nullptr;
        free(error);
        free(codes);
        xcb_key_symbols_free(symbols);
        return ok;
    }

private:
    xcb_connection_t* c_;
};

}  // namespace

TEST(HotKeys, VirtualKeysMeanWhatTheyMeanOnWindows) {
    EXPECT_EQ(keysymForVirtualKey(27), 0xff1bu);  // Esc
    EXPECT_EQ(keysymForVirtualKey('A'), static_cast<std::uint32_t>('a'));
    EXPECT_EQ(keysymForVirtualKey('Z'), static_cast<std::uint32_t>('z'));
    EXPECT_EQ(keysymForVirtualKey('5'), static_cast<std::uint32_t>('5'));
    EXPECT_EQ(keysymForVirtualKey(97), 0xffb1u);  // a typed "a" is VK_NUMPAD1
    EXPECT_EQ(keysymForVirtualKey(0x70), 0xffbeu);  // F1
    EXPECT_EQ(keysymForVirtualKey(0), 0u);
    EXPECT_EQ(keysymForVirtualKey(0xFF), 0u);
}

TEST(HotKeys, ARegisteredKeyArrivesWhateverTheLockKeysAndStopsWhenUnregistered) {
    if (!onX11()) GTEST_SKIP() << "needs the test X server";
    GlobalHotKeys keys;
    QSignalSpy spy(&keys, &GlobalHotKeys::hotKeyPressed);
    ASSERT_TRUE(keys.RegisterHotKey(1, 0, kVkEscape));
    EXPECT_FALSE(keys.RegisterHotKey(1, kModControl, 'Q'));  // the identifier is taken

    press({"Escape"});
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 1);

    press({"Caps_Lock", "Escape", "Caps_Lock"});
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 1);

    EXPECT_TRUE(keys.UnregisterHotKey(1));
    EXPECT_FALSE(keys.UnregisterHotKey(1));
    // Released for real: another client can take it now.
    OtherClient other;
    EXPECT_TRUE(other.grab(0xff1b, 0));
    press({"Escape"});
    EXPECT_FALSE(spy.wait(300));
}

TEST(HotKeys, ACombinationAnotherClientHoldsIsAFailedRegistration) {
    if (!onX11()) GTEST_SKIP() << "needs the test X server";
    GlobalHotKeys keys;
    {
        OtherClient other;
        ASSERT_TRUE(other.grab('k', XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
        EXPECT_FALSE(keys.RegisterHotKey(1, kModControl | kModAlt, 'K'));
        // Other combinations of the same key are still free.
        EXPECT_TRUE(keys.RegisterHotKey(2, kModControl, 'K'));
    }
    // Nothing of the failed attempt stayed grabbed, and the key is ours once the other client is gone.
    EXPECT_TRUE(keys.RegisterHotKey(1, kModControl | kModAlt, 'K'));
    QSignalSpy spy(&keys, &GlobalHotKeys::hotKeyPressed);
    press({"ctrl+alt+k"});
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 1);
    EXPECT_FALSE(keys.RegisterHotKey(3, 0, 0));  // no such key
}

namespace {

// Presses shortcut `name` as KDE's global shortcut service does when its keys are pressed: through its
// D-Bus interface, on every component (one per portal session) that holds it. False when none does.
bool pressOnKde(const QString& name) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusMessage listed = bus.call(QDBusMessage::createMethodCall(
        "org.kde.kglobalaccel", "/kglobalaccel", "org.kde.KGlobalAccel", "allComponents"));
    bool pressed = false;
    QList<QDBusObjectPath> components;
    if (!listed.arguments().isEmpty())
        listed.arguments().front().value<QDBusArgument>() >> components;
    for (const QDBusObjectPath& c : components) {
        const QDBusMessage names = bus.call(QDBusMessage::createMethodCall(
            "org.kde.kglobalaccel", c.path(), "org.kde.kglobalaccel.Component", "shortcutNames"));
        if (!names.arguments().value(0).toStringList().contains(name))
            continue;
        QDBusMessage invoke = QDBusMessage::createMethodCall("org.kde.kglobalaccel", c.path(),
                                                             "org.kde.kglobalaccel.Component", "invokeShortcut");
        invoke.setArguments({name});
        pressed = bus.call(invoke).type() == QDBusMessage::ReplyMessage || pressed;
    }
    return pressed;
}

}  // namespace

// KDE Plasma's shortcut portal (scripts/kde-session.sh): the desktop binds the stop key the program asks
// for, and a press reaches the program while the key is registered, and only then.
TEST(HotKeys, KdeBindsTheStopKeyAndItsPressesArriveWhileRegistered) {
    if (qEnvironmentVariableIsEmpty("ZELQ_KDE_DIR") || !qEnvironmentVariableIsEmpty("ZELQ_WAYLAND_UNAVAILABLE"))
        GTEST_SKIP() << "needs the headless KDE desktop of scripts/kde-session.sh "
                     << qEnvironmentVariable("ZELQ_WAYLAND_UNAVAILABLE").toStdString();
    GlobalHotKeys keys;
    QSignalSpy pressed(&keys, &GlobalHotKeys::hotKeyPressed);
    // Registered as each recording does, until the desktop has answered.
    bool bound = false;
    for (int i = 0; i < 300 && !bound; ++i) {
        bound = keys.RegisterHotKey(1, kModControl | kModAlt, 0x7B /* F12 */);
        if (!bound)
            QTest::qWait(50);
    }
    ASSERT_TRUE(bound) << static_cast<int>(keys.whyNoKey());
    EXPECT_EQ(keys.whyNoKey(), GlobalHotKeys::NoKey::None);

    ASSERT_TRUE(pressOnKde("zelq-stop-1"));
    ASSERT_TRUE(pressed.wait(10000));
    EXPECT_EQ(pressed.takeFirst().value(0).toInt(), 1);

    // Not registered: the desktop keeps the key, the program ignores its presses.
    EXPECT_TRUE(keys.UnregisterHotKey(1));
    ASSERT_TRUE(pressOnKde("zelq-stop-1"));
    EXPECT_FALSE(pressed.wait(1000));
}
