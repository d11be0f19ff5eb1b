// Starting and stopping recordings: the full-screen and area starts, the stop hot key, the tool window
// beside a recorded area, and the main window's recording layout.
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <vector>

#include "app/areaselect.h"
#include "app/hotkeyset.h"
#include "app/screencam.h"
#include "app/toolform.h"
#include "capture/scrcam/scrcam.h"
#include "platform/clock.h"
#include "platform/desktopsession.h"
#include "platform/dialogs.h"
#include "platform/guard.h"
#include "platform/hotkey/hotkey.h"
#include "platform/paths.h"
#include "platform/placementcheck.h"
#include "platform/windowplacement.h"
#include "web/helpfrm.h"

namespace zelq {

namespace {

constexpr int kStopHotKeyId = 1;
// How long a full-screen start waits for the window manager to maximise the window.
constexpr int kMaximiseWaitMs = 3000;

// Why the recording just stopped had no stop key on a Wayland desktop; empty where it had one.
QString noStopKeyReason(GlobalHotKeys::NoKey why) {
    switch (why) {
    case GlobalHotKeys::NoKey::None: return {};
    case GlobalHotKeys::NoKey::NotOffered:
        return QStringLiteral("  （这个 Wayland 桌面不让程序使用全局热键，录像时请用停止小窗口结束录像。）");
    case GlobalHotKeys::NoKey::Asking:
        return QStringLiteral("  （桌面还没有答应停止录像的全局热键，录像时请用停止小窗口结束录像。）");
    case GlobalHotKeys::NoKey::Refused:
        return QStringLiteral("  （桌面没有绑定停止录像的全局热键，录像时请用停止小窗口结束录像。）");
    }
    return {};
}

// Places for a window of `size` just outside `area` and wholly on `monitor`, best first: below, above,
// right of and left of the area, then the monitor's corners.
std::vector<QRect> placesOutside(const QRect& area, const QSize& size, const QRect& monitor) {
    constexpr int gap = 10;
    const auto alongX = [&](int x) {
        return std::clamp(x, monitor.left(), monitor.right() + 1 - size.width());
    };
    const auto alongY = [&](int y) {
        return std::clamp(y, monitor.top(), monitor.bottom() + 1 - size.height());
    };
    return {QRect(QPoint(alongX(area.left()), area.bottom() + 1 + gap), size),
            QRect(QPoint(alongX(area.left()), area.top() - gap - size.height()), size),
            QRect(QPoint(area.right() + 1 + gap, alongY(area.top())), size),
            QRect(QPoint(area.left() - gap - size.width(), alongY(area.top())), size),
            QRect(monitor.topLeft(), size),
            QRect(QPoint(monitor.right() + 1 - size.width(), monitor.top()), size),
            QRect(QPoint(monitor.left(), monitor.bottom() + 1 - size.height()), size),
            QRect(QPoint(monitor.right() + 1 - size.width(), monitor.bottom() + 1 - size.height()), size)};
}

unsigned modifierBit(const QString& name) {
    // Exact, case-sensitive names, as the hot-key dialog writes them.
    if (name == QLatin1String("Ctrl")) return kModControl;
    if (name == QLatin1String("Alt")) return kModAlt;
    if (name == QLatin1String("Shift")) return kModShift;
    return 0;
}

}  // namespace

void TFrmScreenCam::attachWindows(QWidget* message, TFrmAreaSelect* areaSelect, TFrmTool* tool, TFrmHelp* help) {
    FrmMyMessage = message;
    FrmAreaSelect = areaSelect;
    FrmTool = tool;
    FrmHelp = help;
    if (FrmAreaSelect) {
        FrmAreaSelect->onConfirm = [this] { swallowErrors([this] { StartAreaRecording(); }); };
        FrmAreaSelect->onClose = [this] { swallowErrors([this] { show(); }); };
    }
    if (FrmTool) {
        FrmTool->onStop = [this] { StopFromToolWindow(); };
        FrmTool->onPause = [this] { SetRecordingPaused(!(CaptureEngine && CaptureEngine->Paused)); };
    }
}

void TFrmScreenCam::CreateCaptureEngine() {
    Clock& clock = services_.clock ? *services_.clock : systemClock();
    CaptureEngine = std::make_unique<TScreenCam>(this, *dialogs_, clock);
    CaptureEngine->OnProgress = [](TScreenCam&) {};
    // Raised on the worker when the desktop refused the screen or stopped casting it.
    CaptureEngine->OnScreenLost = [this](TScreenCam&) {
        QMetaObject::invokeMethod(
            this, [this] { swallowErrors([this] { ScreenLost(); }); }, Qt::QueuedConnection);
    };
    hotKeys_ = std::make_unique<GlobalHotKeys>();
    connect(hotKeys_.get(), &GlobalHotKeys::hotKeyPressed, this, [this](int id) {
        swallowErrors([this, id] { HotKeyMessage(id); });
    });
}

void TFrmScreenCam::FreeCaptureEngine() { CaptureEngine.reset(); }

void TFrmScreenCam::BtnSartRecClick() { startRecording(false); }

void TFrmScreenCam::StartAreaRecording() { startRecording(true); }

void TFrmScreenCam::startRecording(bool area) {
    CancelExtraction = true;
    CancelExport();
    ClosePlayer();
    QThread::msleep(200);
    if (!prepareRecordingPath()) {
        // The area window is gone and the main window was hidden for it: without this nothing of the
        // program would be left on screen after the message.
        if (area) show();
        return;
    }
    CaptureEngine->ShowFrame = true;
    CaptureEngine->FollowSource = true;

    monitorSource_.reset();
    QWidget* source = area ? static_cast<QWidget*>(FrmAreaSelect.data()) : this;
    // Where the window manager placed the area window only when told to by its commands, the stop window is
    // placed the same way, and before the recording starts: it would first appear where that window
    // manager puts new windows, the middle of the screen, and be in the first pictures.
    const bool stopWindowFirst = area && FrmAreaSelect && FrmAreaSelect->placedByCommands();
    if (stopWindowFirst) swallowErrors([this] { showToolWindow(FrmAreaSelect->outerBounds(), true); });
    swallowErrors([this, area] {
        EnterRecordingLayout();
        if (area) setWindowState(windowState() & ~Qt::WindowMaximized);
        // A full screen is the maximised window's bounds, and the window manager maximises later than
        // it is asked to: wait for it, so that the recording is the screen and not the window as it was.
        // A tiling Wayland desktop (sway) keeps a window in its tile and never maximises it, but every
        // Wayland desktop honours a request for full screen: there the whole monitor is asked for.
        if (!area && isWaylandSession()) {
            setWindowState(windowState() | Qt::WindowFullScreen);
            // On a busy machine the desktop may take longer than the wait: the recording is the whole
            // monitor all the same, never the window at its size before it went full screen.
            if (!waitUntilFullScreen(this, kMaximiseWaitMs)) {
                monitorSource_ = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint);
                monitorSource_->setGeometry(screen()->geometry());
            }
        } else if (!area) {
            waitUntilMaximised(this, kMaximiseWaitMs);
        }
    });
    if (monitorSource_) source = monitorSource_.get();
    const bool started = swallowErrors([this, source] {
        CaptureEngine->ShowFrame = true;
        CaptureEngine->FollowSource = true;
        CaptureEngine->StartRecording(source, CurrentFilePath);
    });
    recordingStarted_ = started && CaptureEngine->Recording;

    const bool hotKey = RegisterStopHotKey();
    // Hidden before any dialog: the window must not appear over what is being recorded.
    hide();
    // Only on X11 can another program hold the key, which another choice mends. On a Wayland desktop the
    // desktop owns the keys: the stop window below is the way to stop until it has agreed to one (or for
    // good, where it offers none; the status line then says why once, after the first stop).
    if (!hotKey && GlobalHotKeys::conflictsPossible())
        ShowHotkeyDialog(true);

    // Without a hot key a full-screen recording could not be stopped at all: the tool window's stop
    // button is then the way out, as it is for an area.
    if ((area || !hotKey) && !stopWindowFirst)
        showToolWindow(area && FrmAreaSelect ? FrmAreaSelect->outerBounds() : outerBounds(this), false);
}

void TFrmScreenCam::showToolWindow(const QRect& recorded, bool byCommands) {
    if (!FrmTool) attachWindows(FrmMyMessage, FrmAreaSelect, new TFrmTool(this), FrmHelp);
    const QRect place = placeToolWindow(recorded);
    FrmTool->showPaused(false);
    FrmTool->show();
    if (byCommands) {
        // Where it really is, not where it was asked to be: the status line says so after the stop when
        // the window manager left it over the area, in the pictures.
        stopWindowInArea_ = placeByCommandNow(FrmTool, place).at.intersects(recorded);
    }
}

bool TFrmScreenCam::prepareRecordingPath() {
    CurrentFolder = ValidateRecordingFolder(QString());
    if (CurrentFolder.isEmpty()) return false;
    if (autoNaming() != 1) return MakeManualRecordingPath();
    const QString path = MakeAutoRecordingPath(QString());
    if (path.isEmpty()) return false;
    CurrentFilePath = path;
    return true;
}

QRect TFrmScreenCam::placeToolWindow(const QRect& recorded) {
    const QRect tool = FrmTool->frameGeometry();
    // The monitor the rectangle is on: beside an area on a second monitor is on that monitor.
    const QScreen* on = QGuiApplication::screenAt(recorded.center());
    if (!on)
        on = QGuiApplication::primaryScreen();
    const QRect screen = on ? on->geometry() : QRect();
    int left = screen.left() + screen.width() < recorded.left() + recorded.width() + tool.width()
                   ? recorded.left() - tool.width() - 10
                   : recorded.left() + recorded.width() + 10;
    int top = recorded.top();
    // A rectangle as wide as the screen leaves no room beside it: keep the window on the screen.
    if (!screen.isEmpty()) {
        left = std::clamp(left, screen.left(), std::max(screen.left(), screen.right() - tool.width() - 10));
        top = std::clamp(top, screen.top(), std::max(screen.top(), screen.bottom() - tool.height()));
    }
    QRect place(QPoint(left, top), tool.size());
    // Kept on the screen, it may have come over the area, and so into the recording: another side of the
    // area, or a corner of the monitor, with room for it is taken instead.
    if (!screen.isEmpty() && place.intersects(recorded)) {
        for (const QRect& other : placesOutside(recorded, tool.size(), screen)) {
            if (screen.contains(other) && !other.intersects(recorded)) {
                place = other;
                break;
            }
        }
    }
    FrmTool->move(place.topLeft());
    return place;
}

void TFrmScreenCam::BtnAreaScreenRECClick() {
    hide();
    if (!FrmAreaSelect) attachWindows(FrmMyMessage, new TFrmAreaSelect(*dialogs_, this), FrmTool, FrmHelp);
    FrmAreaSelect->show();
}

void TFrmScreenCam::Button2Click() {
    if (CaptureEngine) CaptureEngine->StopRecording();
    ManualName = EdtREC->text();
    CurrentFolder = folderFromPathBox();
    // The file the recording really made: the name chosen, or the free one beside it.
    const QString written = recordingStarted_ && CaptureEngine ? CaptureEngine->RecordingFile() : QString();
    if (!written.isEmpty()) {
        CurrentFilePath = written;
        CurrentFileName = QFileInfo(written).fileName();
    }
    RefreshRecordingList();
    // Only a recording that was started and left a file is reported as made: a press while idle, or a
    // file that could not be created (the engine has said why), leaves no success on the status line.
    const bool made = !written.isEmpty() && FileExists(written);
    QString stem = CurrentFileName;
    stem.remove(QStringLiteral(".avi"));
    if (!written.isEmpty() && !made) {
        // Made, and gone since (its folder was deleted, say): the frames went with it.
        const QString gone = QStringLiteral("录像文件已不存在：%1").arg(written);
        LblHint->setText(gone);
        dialogs().messageBox(gone, {}, MsgIcon::Warning, MsgButtons::Ok, this);
    } else if (recordingStarted_ && !made) {
        LblHint->setText(QStringLiteral("没有生成录像文件。"));
    } else if (made && autoNaming() == 1) {
        LblHint->setText(QStringLiteral("自动生成录像文件:%1%2.avi").arg(CurrentFolder, stem));
    } else if (made) {
        LblHint->setText(QStringLiteral("生成录像文件:%1%2.avi").arg(CurrentFolder, stem));
    }
    // A fault of the sound is told here, once, after the recording: never by a box in the middle of it
    // (the window is hidden while it runs).
    const QString soundNotice = CaptureEngine ? CaptureEngine->SoundNotice() : QString();
    if (recordingStarted_ && !soundNotice.isEmpty())
        LblHint->setText(LblHint->text().isEmpty() ? soundNotice
                                                   : LblHint->text() + QStringLiteral("；") + soundNotice);
    recordingStarted_ = false;
    LeaveRecordingLayout();
}

void TFrmScreenCam::StopProcedure() {
    UnregisterStopHotKey();
    BtnStopRec->click();
    const QString noKey = noStopKeyReason(hotKeys_ ? hotKeys_->whyNoKey() : GlobalHotKeys::NoKey::None);
    if (!noKey.isEmpty() && !noKeyExplained_) {
        noKeyExplained_ = true;
        LblHint->setText(LblHint->text() + noKey);
    }
    if (stopWindowInArea_) {
        stopWindowInArea_ = false;
        LblHint->setText(LblHint->text() + QStringLiteral("  （桌面没有让停止小窗口离开录像区域，录像里有它。）"));
    }
    setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
    if (windowFlags() & Qt::WindowStaysOnTopHint) setWindowFlag(Qt::WindowStaysOnTopHint, false);
    show();
}

void TFrmScreenCam::StopFromToolWindow() {
    if (ExternalStop) {
        ExternalStop();
        return;
    }
    Stopping = true;
    swallowErrors([this] { StopProcedure(); });
    Stopping = false;
}

void TFrmScreenCam::ScreenLost() {
    // The engine has told the user why; the program goes back to where a stop leaves it.
    if (!recordingStarted_ || Stopping)
        return;
    StopFromToolWindow();
    if (FrmTool)
        FrmTool->hide();
}

void TFrmScreenCam::HotKeyMessage(int id) {
    if (Stopping) return;
    if (id == kStopHotKeyId && ExternalStop) {
        ExternalStop();
    } else if (id == kStopHotKeyId) {
        StopProcedure();
    } else {
        dialogs().messageBox(QStringLiteral("Unknown HotKey!"), {}, MsgIcon::None, MsgButtons::Ok, this);
    }
}

bool TFrmScreenCam::RegisterStopHotKey() {
    if (!hotKeys_ || HotKeyKey.isEmpty()) return false;
    const unsigned modifiers = modifierBit(HotKeyModifier1) | modifierBit(HotKeyModifier2);
    const unsigned key = HotKeyKey == QLatin1String("Esc") ? kVkEscape : HotKeyKey.at(0).unicode();
    return hotKeys_->RegisterHotKey(kStopHotKeyId, modifiers, key);
}

void TFrmScreenCam::UnregisterStopHotKey() {
    if (hotKeys_) hotKeys_->UnregisterHotKey(kStopHotKeyId);
}

void TFrmScreenCam::EnterRecordingLayout() {
    SbFileSelect->hide();
    SbLeft->hide();
    LblHint->hide();
    // The state alone: showMaximized() would also show a hidden window, over what is being recorded.
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
}

void TFrmScreenCam::LeaveRecordingLayout() {
    SbFileSelect->show();
    SbLeft->show();
    LblHint->show();
}

void TFrmScreenCam::BtnHotKeySetClick() { ShowHotkeyDialog(false); }

void TFrmScreenCam::SetRecordingPaused(bool paused) {
    if (!CaptureEngine || !CaptureEngine->Recording || CaptureEngine->Paused == paused)
        return;
    if (paused)
        CaptureEngine->PauseRecording();
    else
        CaptureEngine->ResumeRecording();
    if (FrmTool) FrmTool->showPaused(paused);
    LblHint->setText(paused ? QStringLiteral("录像已暂停") : QStringLiteral("正在录像"));
    emit recordingPauseChanged(paused);
}

}  // namespace zelq
