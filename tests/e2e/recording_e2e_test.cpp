// The road of one recording, walked as a person walks it: the real program on its own X server, driven
// with the mouse and the keyboard, its files read back by ffprobe.
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <iostream>

#include "app/screencam.h"
#include "common/scripted_dialogs.h"
#include "session.h"

using namespace zelq;
using zelq::e2e::Session;

namespace {

const QString kMainTitle = QStringLiteral("ZELQ屏幕录像助手1.2");
const QString kAreaTitle = QStringLiteral("请拖拉本窗体到合适位置，以确定录像区域");
const QString kToolTitle = QStringLiteral("区域屏幕录像");
const QString kHotkeyTitle = QStringLiteral("热键设置");

// Where a button of the main window's column sits in a client area of this size: measured on a main
// window laid out the same way in this process.
QPoint mainButton(QSize client, SkinButton* TFrmScreenCam::*button) {
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
    QWidget* b = window.*button;
    const QPoint centre = b->mapTo(&window, b->rect().center());
    window.hide();
    return centre;
}

// The area window's panel is centred on the window's outer size; its controls sit at fixed places in it.
QPoint areaControl(Session& s, const QString& area, QPoint inPanel) {
    const QMargins frame = s.frameExtents(area);
    QString out;
    int width = 0, height = 0;
    for (const QString& line : s.xdotool({"getwindowgeometry", "--shell", area}).split('\n')) {
        if (line.startsWith("WIDTH=")) width = line.mid(6).toInt();
        if (line.startsWith("HEIGHT=")) height = line.mid(7).toInt();
    }
    const int outerW = width + frame.left() + frame.right();
    const int outerH = height + frame.top() + frame.bottom();
    return QPoint((outerW - 265) / 2, (outerH - 265) / 2) + inPanel;
}

const QPoint kEdtWidth(10 + 166 + 21, 60 + 29 + 10);
const QPoint kAreaConfirm(10 + 18 + 60, 60 + 79 + 13);
const QPoint kToolStop(24 + 59, 20 + 20);
const QPoint kHotkeyClose(415 + 28, 74 + 13);

QSize clientSize(Session& s, const QString& window) {
    QSize size;
    for (const QString& line : s.xdotool({"getwindowgeometry", "--shell", window}).split('\n')) {
        if (line.startsWith("WIDTH=")) size.setWidth(line.mid(6).toInt());
        if (line.startsWith("HEIGHT=")) size.setHeight(line.mid(7).toInt());
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
                c_, xcb_grab_key_checked(c_, 1, root, lock, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
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

class RecordingE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.ok()) << "no private X server";
        ASSERT_TRUE(session.startProgram());
        main = *session.waitForWindow(kMainTitle);
        QThread::msleep(500);  // the maximised layout settles
    }
    void TearDown() override {
        if (::testing::Test::HasFailure()) {
            const QString shot = QDir::temp().filePath(QString("e2e-%1.png").arg(::testing::UnitTest::GetInstance()->current_test_info()->name()));
            session.screenshot(shot);
            std::cerr << "screenshot: " << shot.toStdString() << "\n";
        }
        session.closeProgram();
    }
    // Starts an area recording from the main window, sets the area's width, and confirms.
    QString startAreaRecording(int width) {
        session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnAreaScreenREC));
        const auto area = session.waitForWindow(kAreaTitle);
        EXPECT_TRUE(area.has_value());
        if (!area) return {};
        session.clickIn(*area, areaControl(session, *area, kEdtWidth));
        session.key("ctrl+a");
        session.type(QString::number(width));
        session.key("Return");
        QThread::msleep(500);
        // For the user documentation: the area window as it marks a rectangle.
        session.screenshot(QDir::temp().filePath(QString("e2e-area-window-%1.png").arg(width)));
        session.clickIn(*area, areaControl(session, *area, kAreaConfirm));
        return *area;
    }

    // Lets the recording run for a while, stops it with the tool window's button as a person would, and
    // waits until the main window is back and the worker has had time to finish the file.
    bool stopFromToolWindow(int recordMs) {
        const auto tool = session.waitForWindow(kToolTitle);
        if (!tool) return false;
        QThread::msleep(recordMs);
        session.clickIn(*tool, kToolStop);
        if (!session.waitForWindow(kMainTitle, 10000)) return false;
        QThread::msleep(1500);
        return true;
    }
    // Closes the hot-key dialog that a failed registration opened.
    bool closeConflictDialog() {
        const auto dialog = session.waitForWindow(kHotkeyTitle);
        if (!dialog) return false;
        session.clickIn(*dialog, kHotkeyClose);
        return true;
    }

    Session session;
    QString main;
};

}  // namespace

TEST_F(RecordingE2E, FullScreenRecordingStopsWithEscAndIsListed) {
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
    QThread::msleep(1000);
    EXPECT_FALSE(session.windowVisible(kMainTitle));  // out of the way while recording
    QThread::msleep(2000);
    session.key("Escape");
    ASSERT_TRUE(session.waitForWindow(kMainTitle, 10000).has_value());
    const QString file = session.recordingFolder() + "1.avi";
    QThread::msleep(1500);  // the worker finishes the file after the window is back
    ASSERT_TRUE(QFileInfo::exists(file));
    const auto probe = Session::probe(file);
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->codecTag, "MSVC");
    EXPECT_EQ(probe->frameRate, "10/1");
    EXPECT_EQ(probe->width, 1920);
    EXPECT_EQ(probe->height, 1080);
    EXPECT_GE(probe->positions, 25);  // about three seconds at ten positions a second
    EXPECT_LE(probe->positions, 45);
    EXPECT_TRUE(probe->decodesCleanly);

    // A second Esc after the stop reaches no window of ours: nothing changes.
    session.key("Escape");
    QThread::msleep(500);
    EXPECT_TRUE(session.windowVisible(kMainTitle));
    EXPECT_EQ(QDir(session.recordingFolder()).entryList(QDir::Files), QStringList{"1.avi"});

    // A copy in a folder of its own is portable: its settings stay beside it, not in the user's folder.
    ASSERT_TRUE(session.closeProgram());
    EXPECT_TRUE(QFileInfo::exists(session.programDir() + "/defualt.ini"));
    EXPECT_FALSE(QFileInfo::exists(session.home() + "/.config/zelq-screenrec"));
}

TEST_F(RecordingE2E, AnAreaRecordingHasTheAreasSizeAndStopsFromTheToolWindow) {
    const QString area = startAreaRecording(400);
    ASSERT_FALSE(area.isEmpty());
    ASSERT_TRUE(session.waitForWindow(kToolTitle).has_value());
    EXPECT_FALSE(session.windowVisible(kAreaTitle));
    EXPECT_FALSE(session.windowVisible(kMainTitle));
    ASSERT_TRUE(stopFromToolWindow(1500));
    const auto probe = Session::probe(session.recordingFolder() + "1.avi");
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->width, 400);  // the area's outer width; the default compressor keeps it
    EXPECT_GE(probe->positions, 10);
    EXPECT_TRUE(probe->decodesCleanly);
}

TEST_F(RecordingE2E, WhenAnotherProgramHoldsEscTheDialogSaysSoAndTheToolWindowStillStops) {
    EscHolder other(session.display());
    ASSERT_TRUE(other.held());
    startAreaRecording(320);
    ASSERT_TRUE(session.waitForWindow(kHotkeyTitle).has_value());
    session.screenshot(QDir::temp().filePath("e2e-hotkey-conflict.png"));
    ASSERT_TRUE(closeConflictDialog());
    ASSERT_TRUE(stopFromToolWindow(1000));
    const auto probe = Session::probe(session.recordingFolder() + "1.avi");
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->width, 320);
    EXPECT_TRUE(probe->decodesCleanly);

    // A full-screen recording without its hot key would have no way to stop: the tool window is there.
    session.clickIn(main, mainButton(clientSize(session, main), &TFrmScreenCam::BtnSartRec));
    ASSERT_TRUE(closeConflictDialog());
    ASSERT_TRUE(stopFromToolWindow(1000));
    EXPECT_TRUE(QFileInfo::exists(session.recordingFolder() + "2.avi"));
}
