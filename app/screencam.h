#pragma once
// TFrmScreenCam, the main window. It holds the controls of every area of the program (folder bar,
// button column, recordings list, player, picture panel, status line) and owns the capture engine and
// the settings file for the whole run. Its member functions live in several files by area:
//   screencam_layout.cpp    building the controls
//   screencam_startup.cpp   start-up, settings file, shutdown, the naming toggle
//   screencam_events.cpp    which control runs which handler
//   screencam_folder.cpp    the recording folder and the names of new recordings
//   screencam_library.cpp   the recordings list and its file operations
//   screencam_recording.cpp starting and stopping recordings, the stop hot key
//   screencam_options.cpp   the options dialog
//   screencam_web.cpp       the banner strip, the help and about windows
//   screencam_playback.cpp  the embedded player, the full-screen view and its Esc key
//   screencam_pictures.cpp  the picture panel: recordings to pictures and pictures to recordings
// UI thread only.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QSplitter>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/folderscan.h"
#include "app/picturekeeper.h"
#include "app/services.h"
#include "capture/vfw/repairqueue.h"
#include "media/exporter.h"
#include "platform/skin.h"

class QGroupBox;
class QScrollArea;
class QSpinBox;

namespace zelq {

class Dialogs;
class GlobalHotKeys;
class TScreenCam;
class TFrmAreaSelect;
class TFrmDirSelect;
class TFrmTool;
class TFrmReName;
class TOptionDlg;
class TFrmHelp;
class TFrmVersion;
class WebBrowser;
class TMediaPlayer;
class KeyPreview;
class ExportDialog;

// A file picker's settings, kept between uses as the program's open and save dialogs keep theirs.
struct FileDialogSettings {
    QString filter;
    QString defaultExt;
    QString initialDir;
    QString fileName;
};

// The window's own caption: the program's title followed by its version.
QString mainWindowCaption();

class TFrmScreenCam : public QWidget {
    Q_OBJECT
public:
    explicit TFrmScreenCam(const AppServices& services, QWidget* parent = nullptr);
    ~TFrmScreenCam() override;

    // The other windows created at program start, which the main window drives.
    void attachWindows(QWidget* message, TFrmAreaSelect* areaSelect, TFrmTool* tool, TFrmHelp* help);

    // --- state shared with every area -----------------------------------------------------------
    bool FirstRun = true;
    QString CurrentFolder;    // the recording folder; ends with one separator when not empty
    QString CurrentFileName;  // the current recording, name only
    QString CurrentFilePath;  // CurrentFolder + CurrentFileName
    bool CancelExtraction = false;
    bool PicPanelOpen = false;

    // --- start-up, settings and shutdown --------------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormDestroy();
    void SaveSettings();
    void ToggleAutoSave();
    void BtnAutoSaveClick();
    void SpeedButton9Click();

    // --- recording folder and names (screencam_folder.cpp) -----------------------------------------
    // Both take the caller's result and hand it back changed, or untouched on failure (the user has
    // been told why); callers pass the empty text and test the result for emptiness.
    QString ValidateRecordingFolder(const QString& result);
    QString MakeAutoRecordingPath(const QString& result);
    // The typed name for a recording when automatic naming is off; false (and a message) when the
    // name box is blank.
    bool MakeManualRecordingPath();
    void EdtRECPathKeyDown(int key);
    void EdtRECPathExit();
    void SpeedButton4Click();
    void BtnOpenDirClick();

    // --- recordings list (screencam_library.cpp) ---------------------------------------------------
    // Lists the recording folder, in the background when it answers slowly (folderscan.h).
    void RefreshRecordingList();
    // Recordings left unfinished are repaired on this queue's thread after each listing.
    RepairQueue& recordingRepairs() { return repairs_; }
    void LbVideoListClick();
    void LbVideoListKeyDown(int key);
    void MnDeleteRECClick();
    QStringList CollectSelectedRecordings() const;
    void DeleteSelectedRecordings();
    void MnUpdateRECNameClick();
    void BtnDefaultOpenClick();

    // --- export of a recording to share (screencam_export.cpp) --------------------------------------
    void MnExportMP4Click();
    void MnExportWebMClick();
    void MnExportGIFClick();
    // Exports the list's current recording beside it; the export runs on while the window is used.
    void ExportRecordingAs(ExportFormat format);
    // One export at a time, the menu's or a script's: they share the progress window.
    bool ExportRunning() const;
    // Starts `request` in the progress window (when no export runs); `finished` hears its outcome and
    // `progress` each share done, on the UI thread.
    void StartExport(const ExportRequest& request, std::function<void(const ExportOutcome&)> finished,
                     std::function<void(double)> progress = {});
    // The outcome on the hint line; with `ask` also in a message box when there is something to say. A
    // script's export passes false: the script hears the outcome, and nobody may be there to close a box.
    void ExportFinished(const ExportOutcome& outcome, bool ask = true);
    // A recording wants the disk and both cores: every start of one (the window's and a script's) calls
    // this first. The outcome still arrives, as cancelled.
    void CancelExport();

    // --- recording control and the stop hot key (screencam_recording.cpp) -----------------------
    std::unique_ptr<TScreenCam> CaptureEngine;
    QString ManualName;
    bool Stopping = false;  // the tool window's stop is running; hot keys wait
    void CreateCaptureEngine();
    void FreeCaptureEngine();
    void BtnSartRecClick();
    void StartAreaRecording();
    void BtnAreaScreenRECClick();
    void Button2Click();
    void BtnStopRecClick() { Button2Click(); }
    void StopProcedure();
    void StopFromToolWindow();
    void HotKeyMessage(int id);
    // The screen source lost the screen, or never had it (the engine has shown why): ends the recording
    // as a stop does.
    void ScreenLost();
    bool RegisterStopHotKey();
    void UnregisterStopHotKey();
    void EnterRecordingLayout();
    void LeaveRecordingLayout();
    void BtnHotKeySetClick();
    // Pauses or resumes the running recording (the tool window's pause button, a script); the status line
    // and the tool window's caption follow. Nothing while no recording runs.
    void SetRecordingPaused(bool paused);
    // Checks the folder and names the new recording (CurrentFilePath); false when the user was told why not.
    bool prepareRecordingPath();
    // Puts the tool window beside the recorded rectangle, inside the screen.
    // Puts the stop window beside the recorded rectangle, off it where the monitor has room; the place.
    QRect placeToolWindow(const QRect& recorded);
    // Shows it there; byCommands: through the window manager's commands, waiting until it is in place.
    void showToolWindow(const QRect& recorded, bool byCommands);
    // A recording started from outside the window (a script, a desktop shortcut) is stopped by its owner:
    // while this is set, the stop hot key and the tool window's stop hand their stop to it.
    std::function<void()> ExternalStop;

    // --- the picture panel (screencam_pictures.cpp) -------------------------------------------------
    void BtnAVIToPICClick();
    // Runs inside the click handler and lets the message loop run after every frame.
    void SplitRecordingToPictures(const QString& path);
    void BitmapListBoxClick();
    void MnOpenPicPathClick();
    void BtnClosePICPanClick();
    void BtnLoadPicsClick();
    void SpeedButton13Click();
    void SpeedButton14Click();
    void BtnPicMoveDownClick();
    void BtnPicSortClick();
    void BtnCreateAVIClick();

    // --- the options dialog (screencam_options.cpp) ------------------------------------------------
    void BtnRectSetClick();
    // --- banner strip, help and about windows (screencam_web.cpp) ---------------------------------
    void TimerFirstRunTimer();
    void TimerRunAvertTimer();
    void LoadRandomBanner();
    void WebBrowserTopNavigateComplete2();
    void TimerCheckTopBrowserTimer();
    void Image48Click();
    void BtnHelpDocClick();
    void BtnAboutUSClick();
    // One of the two banner pages, drawn 83 to 17 for the everyday page.
    static QString RandomBannerPage();

    // --- the embedded player and the full-screen view (screencam_playback.cpp) --------------------
    std::unique_ptr<TMediaPlayer> MediaPlayer1;  // its display is SbVideoScreen
    bool FullScreen = false;                     // the full-screen toggle
    void OpenAndPlay(const QString& path);
    // Stops and closes the open recording, so that its file is no longer held.
    void ClosePlayer();
    void FitVideo();
    void SetFullScreenView(bool on);
    void BtnReplayRecClick();
    void SpeedButton5Click();
    void BtnPlayClick();
    void BtnPauseClick();
    void BtnStopClick();
    void BtnFullScreenClick();
    void SbVideoScreenDblClick();
    // Esc in two stages: the short-cut stage sees every key pressed anywhere in the window first; the
    // key-down stage only keys the window gets itself, with no control holding the focus.
    void FormShortCut(int key);
    void FormKeyDown(int key);

    // --- controls, named as the window's design names them ----------------------------------------
    SkinStrip* PnlTop = nullptr;
    SkinStrip* PnlBottom = nullptr;
    SkinStrip* ImgLeft = nullptr;
    SkinStrip* ImgRight = nullptr;
    QWidget* SbMain = nullptr;

    QWidget* SbAvert = nullptr;
    QLabel* Image48 = nullptr;
    WebBrowser* WebBrowserTop = nullptr;

    QSplitter* SplTop = nullptr;
    QWidget* SbFileSelect = nullptr;
    QWidget* Panel2 = nullptr;
    SkinButton* BtnOpenDir = nullptr;
    SkinButton* SpeedButton4 = nullptr;
    QLineEdit* EdtRECPath = nullptr;
    SkinButton* BtnAutoSave = nullptr;
    QLabel* ImgRectName = nullptr;
    QLineEdit* EdtREC = nullptr;

    QSplitter* SplL1 = nullptr;
    QWidget* SbLeft = nullptr;
    SkinButton* BtnSartRec = nullptr;
    SkinButton* BtnAreaScreenREC = nullptr;
    SkinButton* BtnStopRec = nullptr;
    SkinButton* BtnReplayRec = nullptr;
    SkinButton* BtnAVIToPIC = nullptr;
    SkinButton* BtnDefaultOpen = nullptr;
    SkinButton* SpeedButton5 = nullptr;
    SkinButton* BtnAlterName = nullptr;
    SkinButton* SpeedButton7 = nullptr;
    SkinButton* BtnFullScreen = nullptr;
    SkinButton* BtnRectSet = nullptr;
    SkinButton* BtnHotKeySet = nullptr;
    SkinButton* BtnHelpDoc = nullptr;
    SkinButton* BtnAboutUS = nullptr;
    SkinButton* SpeedButton9 = nullptr;
    SkinButton* BtnSendToUDisk = nullptr;
    SkinButton* BtnPicToAVI = nullptr;

    QWidget* SbCenter = nullptr;
    QSplitter* SplB1 = nullptr;
    QWidget* PnlVideo = nullptr;
    QSplitter* SplL2 = nullptr;
    QWidget* SbVideoLeft = nullptr;
    QListWidget* LbVideoList = nullptr;
    QWidget* SbVideo = nullptr;
    QWidget* SbVideoScreen = nullptr;
    QWidget* PnlVideoControl = nullptr;
    SkinButton* BtnPlay = nullptr;
    SkinButton* BtnPause = nullptr;
    SkinButton* BtnStop = nullptr;
    SkinButton* FullScreenBtn = nullptr;

    QWidget* PnlPic = nullptr;
    QWidget* Panel1 = nullptr;  // the picture panel's tool bar
    SkinButton* BtnClosePICPan = nullptr;
    SkinButton* BtnLoadPics = nullptr;
    SkinButton* SpeedButton13 = nullptr;
    SkinButton* SpeedButton14 = nullptr;
    SkinButton* BtnPicMoveDown = nullptr;
    SkinButton* BtnPicSort = nullptr;
    SkinButton* BtnCreateAVI = nullptr;
    QSpinBox* spinRate = nullptr;
    QWidget* Panel3 = nullptr;  // the list side
    QGroupBox* GBPicList = nullptr;
    QListWidget* BitmapListBox = nullptr;
    QWidget* Panel5 = nullptr;  // the preview side
    QLabel* LblCurPicName = nullptr;
    QScrollArea* ScrollBox2 = nullptr;
    QLabel* BitmapImage = nullptr;

    QLabel* LblHint = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    QMenu* PmRecList = nullptr;
    QAction* N2 = nullptr;
    QAction* MnDeleteREC = nullptr;
    QAction* MnUpdateRECName = nullptr;
    QAction* N4 = nullptr;
    QAction* N5 = nullptr;
    QAction* MnExportMP4 = nullptr;
    QAction* MnExportWebM = nullptr;
    QAction* MnExportGIF = nullptr;
    QMenu* PmPicList = nullptr;
    QAction* MnOpenPicPath = nullptr;

    QTimer* TimerFirstRun = nullptr;
    QTimer* TimerRunAvert = nullptr;
    QTimer* TimerCheckTopBrowser = nullptr;

    FileDialogSettings OpenDialog1;
    FileDialogSettings SaveAVIDialog;
    FileDialogSettings AddBitmapDialog;

    QWidget* FrmMyMessage = nullptr;
    QPointer<TFrmAreaSelect> FrmAreaSelect;
    QPointer<TFrmTool> FrmTool;
    QPointer<TFrmHelp> FrmHelp;
    QPointer<TFrmVersion> FrmVersion;  // made on first use
    TFrmDirSelect* FrmDirSelect = nullptr;  // made on first use
    TFrmReName* FrmReName = nullptr;        // made on first use
    TOptionDlg* OptionDlg = nullptr;        // made on first use

    Dialogs& dialogs() const { return *dialogs_; }

signals:
    // A running recording was paused (true) or resumed (false), from the window or from a script.
    void recordingPauseChanged(bool paused);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Created on the first export; a child of the window, so the window's end cancels a running export.
    ExportDialog* exportDialog_ = nullptr;
    // A split lets the message loop run between pictures; a second split started from there would write
    // the same numbered files into the same folder as the first.
    bool splitting_ = false;
    void buildLayout();
    QWidget* buildBanner();
    QWidget* buildFolderBar();
    QWidget* buildButtonColumn();
    QWidget* buildCentre();
    QWidget* buildVideoArea();
    QWidget* buildPicturePanel();
    QLabel* buildStatusLine();
    void buildMenusAndTimers();
    void createPlayer();
    // The frame strips, the button column, the folder bar, the list column and the splitter bars.
    void setChromeVisible(bool visible);
    void connectHandlers();
    void connectWebHandlers();
    void shellOpen(const QString& target);
    void startRecording(bool area);
    // The recording folder the path box names: empty for a blank box, which names no folder at all.
    QString folderFromPathBox();
    // The picture list holds files; the picture is loaded from its file when it is needed.
    void addPictureItem(const QString& name, const QString& file);
    static QImage pictureOf(const QListWidgetItem& item);
    // A recording from pictures that could not be made whole: said on the status line and in a box.
    void reportUnbuilt(const QString& text);
    PictureKeeper pictureKeeper_;
    void showPictureTools();
    // Moves the focused picture one place up (-1) or down (1), keeping it selected.
    void movePictureItem(int step);

    // The automatic-naming state is the tag of the toggle: 1 automatic, 0 manual.
    int autoNaming() const { return BtnAutoSave->tag(); }

    AppServices services_;
    Dialogs* dialogs_ = nullptr;
    bool destroyed_ = false;
    bool recordingStarted_ = false;  // a start reached the engine and no stop has reported it yet
    bool noKeyExplained_ = false;    // the status line has said why this desktop has no stop key
    bool stopWindowInArea_ = false;  // the window manager left the stop window over the recorded area
    std::unique_ptr<GlobalHotKeys> hotKeys_;
    // The monitor's rectangle, recorded when the desktop was too slow to show the window full screen.
    std::unique_ptr<QWidget> monitorSource_;
    RepairQueue repairs_;
    FolderScanner folderScan_{this};
    QString listedFolder_;  // the folder whose recordings the list shows
    void ShowRecordingList(const QString& folder, const FolderListing& listing);
    KeyPreview* keyPreview_ = nullptr;  // a child: goes with the window
    bool endingDoubleClick_ = false;    // the list's next button release ends a double-click
    bool keyForWindow_ = false;         // the key being delivered is the window's own, not a control's
};

}  // namespace zelq
