// Start-up, the settings file, shutdown and the automatic-naming toggle of the main window.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "app/appinfo.h"
#include "app/globalparam.h"
#include "app/hotkeyset.h"
#include "app/player/mediaplayer.h"
#include "capture/scrcam/scrcam.h"
#include "platform/hotkey/hotkey.h"
#include "app/screencam.h"
#include "convert/bitmapresource.h"
#include "platform/dialogs.h"
#include "platform/guard.h"
#include "platform/paths.h"
#include "platform/windowplacement.h"
#include "platform/switchtimer.h"
#include "web/webbrowser.h"

namespace zelq {

namespace {

const QString kSection = QStringLiteral("default");

}  // namespace

QString mainWindowCaption() { return QStringLiteral("%1%2").arg(programTitle(), programVersion()); }

QString defaultSettingsPath() {
    const SettingsLocation where{QStringLiteral("defualt.ini"), QStringLiteral("zelq-screenrec"),
                                 QStringLiteral("../share/applications/%1.desktop").arg(programId())};
    const QString path = settingsFilePath(QCoreApplication::applicationDirPath(), where);
    // The per-user folder may not exist yet; the first write at exit creates only the file.
    QDir().mkpath(QFileInfo(path).path());
    return path;
}

TFrmScreenCam::TFrmScreenCam(const AppServices& services, QWidget* parent)
    : QWidget(parent), services_(services), dialogs_(services.dialogs) {
    setObjectName(QStringLiteral("FrmScreenCam"));
    if (services_.settingsPath.isEmpty()) services_.settingsPath = defaultSettingsPath();
    buildLayout();
    createPlayer();
    connectHandlers();
    FormCreate();
}

TFrmScreenCam::~TFrmScreenCam() { FormDestroy(); }  // members go after it: the engine is freed in it

void TFrmScreenCam::FormCreate() {
    // Each step stands on its own: whatever fails, the window still comes up, without a message.
    swallowErrors([this] {
        // Qt paints every widget double-buffered already, so the picture-heavy panels do not flicker.
        // The restored bounds are outer bounds: the title bar at 8, never off the top of the screen.
        setOuterBounds(this, QRect(10, 8, 955, 720));
        trackOuterBounds(this);
        setHomeWindow(this);
        setWindowTitle(mainWindowCaption());
        CreateCaptureEngine();
        SettingsFile = std::make_unique<ProfileFile>(services_.settingsPath);

        const QString folder = SettingsFile->readString(kSection, QStringLiteral("PicPath"), defaultRecordingFolder()).trimmed();
        EdtRECPath->setText(folder);
        CurrentFolder = folder.isEmpty() ? QString() : NormaliseFolder(folder);
        if (!FolderExists(folder) && CreateFolderPath(folder) == CreateFolderResult::Refused) {
            LblHint->setText(QStringLiteral("非法路径，请重新设置一个路径。"));
            // The box can only take the focus once the window is on screen.
            QTimer::singleShot(0, EdtRECPath, [box = EdtRECPath] { box->setFocus(); });
        }
    });
    swallowErrors([this] { FirstRun = SettingsFile->readBool(kSection, QStringLiteral("IsFirtRunSoftware"), true); });
    swallowErrors([this] { EdtREC->setText(SettingsFile->readString(kSection, QStringLiteral("PicName"), QStringLiteral("REC"))); });
    swallowErrors([this] { RefreshRecordingList(); });
    swallowErrors([this] {
        const bool autoSave = SettingsFile->readBool(kSection, QStringLiteral("autoSaveToPath"), true);
        // Start from the opposite state so that one toggle sets state, glyph and name box together.
        BtnAutoSave->setTag(autoSave ? 0 : 1);
        ToggleAutoSave();
    });
    swallowErrors([this] { AutoRunEnabled = SettingsFile->readBool(kSection, QStringLiteral("AutoRun"), false); });
    swallowErrors([] { ResetStopHotKey(); });
    swallowErrors([this] { WebBrowserTop->move(WebBrowserTop->x(), -2000); });
    swallowErrors([this] { TimerRunAvert->start(); });
}

void TFrmScreenCam::ToggleAutoSave() {
    QImage glyph = BtnAutoSave->glyph();
    const bool checked = BtnAutoSave->tag() == 0;
    if (checked) {
        BtnAutoSave->setTag(1);
        LoadBitmapResource(glyph, QStringLiteral("checked"), QStringLiteral("bmp"));
        ImgRectName->hide();
        EdtREC->hide();
    } else {
        BtnAutoSave->setTag(0);
        LoadBitmapResource(glyph, QStringLiteral("notchecked"), QStringLiteral("bmp"));
        ImgRectName->show();
        EdtREC->show();
    }
    BtnAutoSave->setGlyph(glyph, QImage(checked ? QStringLiteral(":/glyphs/checked@2x.png")
                                                : QStringLiteral(":/glyphs/notchecked@2x.png")));
}

void TFrmScreenCam::BtnAutoSaveClick() { ToggleAutoSave(); }

void TFrmScreenCam::FormShow() { switchOn(TimerFirstRun); }

void TFrmScreenCam::FormResize() { FitVideo(); }

void TFrmScreenCam::SpeedButton9Click() {
    // Closing the main window ends the program; its destruction saves the settings.
    close();
}

void TFrmScreenCam::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    swallowErrors([this] { BtnStopRec->click(); });
    swallowErrors([this] { FreeCaptureEngine(); });
    swallowErrors([this] { UnregisterStopHotKey(); });
    swallowErrors([this] { SaveSettings(); });
    swallowErrors([] { SettingsFile.reset(); });
}

void TFrmScreenCam::SaveSettings() {
    if (!SettingsFile) return;
    // Stop at the first failed write, as a read-only file or folder makes every later one fail too;
    // the keys not reached keep their old values.
    const bool ok = SettingsFile->writeBool(kSection, QStringLiteral("IsFirtRunSoftware"), false) &&
                    SettingsFile->writeString(kSection, QStringLiteral("PicPath"), EdtRECPath->text()) &&
                    SettingsFile->writeString(kSection, QStringLiteral("PicName"), EdtREC->text()) &&
                    SettingsFile->writeBool(kSection, QStringLiteral("autoSaveToPath"), autoNaming() == 1) &&
                    SettingsFile->writeBool(kSection, QStringLiteral("AutoRun"), AutoRunEnabled);
    Q_UNUSED(ok);
}

void TFrmScreenCam::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) swallowErrors([this] { FormShow(); });
}

void TFrmScreenCam::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    swallowErrors([this] { FormResize(); });
}

void TFrmScreenCam::closeEvent(QCloseEvent* event) {
    event->accept();
    // The main window is the program: closing it ends the run, whatever other windows are open.
    QCoreApplication::quit();
}

}  // namespace zelq
