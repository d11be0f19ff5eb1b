// Which control runs which handler. Every handler runs through swallowErrors: an unexpected failure
// ends that handler quietly and the program goes on.
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <utility>

#include "app/screencam.h"
#include "platform/dialogs.h"
#include "platform/focusexit.h"
#include "platform/guard.h"
#include "platform/shellopen.h"

namespace zelq {

namespace {

template <typename Handler>
void bind(QAbstractButton* button, TFrmScreenCam* window, Handler handler) {
    QObject::connect(button, &QAbstractButton::clicked, window,
                     [window, handler] { swallowErrors([window, handler] { (window->*handler)(); }); });
}

template <typename Handler>
void bind(QAction* action, TFrmScreenCam* window, Handler handler) {
    QObject::connect(action, &QAction::triggered, window,
                     [window, handler] { swallowErrors([window, handler] { (window->*handler)(); }); });
}

bool isNavigationKey(int key) {
    switch (key) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: return true;
        default: return false;
    }
}

}  // namespace

void TFrmScreenCam::connectHandlers() {
    bind(BtnAutoSave, this, &TFrmScreenCam::BtnAutoSaveClick);
    bind(SpeedButton9, this, &TFrmScreenCam::SpeedButton9Click);
    bind(BtnStopRec, this, &TFrmScreenCam::BtnStopRecClick);
    bind(BtnOpenDir, this, &TFrmScreenCam::BtnOpenDirClick);
    bind(SpeedButton4, this, &TFrmScreenCam::SpeedButton4Click);
    bind(SpeedButton5, this, &TFrmScreenCam::MnDeleteRECClick);
    bind(BtnAlterName, this, &TFrmScreenCam::MnUpdateRECNameClick);
    bind(BtnDefaultOpen, this, &TFrmScreenCam::BtnDefaultOpenClick);
    bind(BtnReplayRec, this, &TFrmScreenCam::BtnReplayRecClick);
    bind(BtnHotKeySet, this, &TFrmScreenCam::BtnHotKeySetClick);
    bind(BtnRectSet, this, &TFrmScreenCam::BtnRectSetClick);
    bind(BtnSartRec, this, &TFrmScreenCam::BtnSartRecClick);
    bind(BtnAreaScreenREC, this, &TFrmScreenCam::BtnAreaScreenRECClick);
    bind(BtnHelpDoc, this, &TFrmScreenCam::BtnHelpDocClick);
    bind(BtnAboutUS, this, &TFrmScreenCam::BtnAboutUSClick);
    connectWebHandlers();
    bind(SpeedButton7, this, &TFrmScreenCam::SpeedButton5Click);
    bind(BtnFullScreen, this, &TFrmScreenCam::BtnFullScreenClick);
    bind(BtnPlay, this, &TFrmScreenCam::BtnPlayClick);
    bind(BtnPause, this, &TFrmScreenCam::BtnPauseClick);
    bind(BtnStop, this, &TFrmScreenCam::BtnStopClick);
    bind(FullScreenBtn, this, &TFrmScreenCam::BtnFullScreenClick);

    bind(BtnAVIToPIC, this, &TFrmScreenCam::BtnAVIToPICClick);
    bind(BtnClosePICPan, this, &TFrmScreenCam::BtnClosePICPanClick);
    bind(BtnLoadPics, this, &TFrmScreenCam::BtnLoadPicsClick);
    bind(SpeedButton13, this, &TFrmScreenCam::SpeedButton13Click);
    bind(SpeedButton14, this, &TFrmScreenCam::SpeedButton14Click);
    bind(BtnPicMoveDown, this, &TFrmScreenCam::BtnPicMoveDownClick);
    bind(BtnPicSort, this, &TFrmScreenCam::BtnPicSortClick);
    bind(BtnCreateAVI, this, &TFrmScreenCam::BtnCreateAVIClick);
    bind(BtnPicToAVI, this, &TFrmScreenCam::BtnCreateAVIClick);
    bind(MnOpenPicPath, this, &TFrmScreenCam::MnOpenPicPathClick);
    connect(BitmapListBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PmPicList->popup(BitmapListBox->viewport()->mapToGlobal(at)); });
    // A key that moves the selection previews as a click does. The current item and the selection change
    // one after the other, and a deletion changes them once per item: one preview follows when they have
    // settled, and none after a click, which has just previewed.
    auto* previewAfterKey = new QTimer(this);
    previewAfterKey->setSingleShot(true);
    previewAfterKey->setInterval(0);
    connect(previewAfterKey, &QTimer::timeout, this,
            [this] { swallowErrors([this] { BitmapListBoxClick(); }); });
    connect(BitmapListBox, &QListWidget::currentItemChanged, previewAfterKey, qOverload<>(&QTimer::start));
    connect(BitmapListBox, &QListWidget::itemSelectionChanged, previewAfterKey, qOverload<>(&QTimer::start));
    connect(BitmapListBox, &QListWidget::itemClicked, this, [this, previewAfterKey] {
        previewAfterKey->stop();
        swallowErrors([this] { BitmapListBoxClick(); });
    });
    connect(BitmapListBox, &QListWidget::itemDoubleClicked, this,
            [this] { swallowErrors([this] { MnOpenPicPathClick(); }); });

    bind(MnDeleteREC, this, &TFrmScreenCam::MnDeleteRECClick);
    bind(MnUpdateRECName, this, &TFrmScreenCam::MnUpdateRECNameClick);
    bind(N4, this, &TFrmScreenCam::BtnDefaultOpenClick);
    bind(N5, this, &TFrmScreenCam::BtnOpenDirClick);
    bind(MnExportMP4, this, &TFrmScreenCam::MnExportMP4Click);
    bind(MnExportWebM, this, &TFrmScreenCam::MnExportWebMClick);
    bind(MnExportGIF, this, &TFrmScreenCam::MnExportGIFClick);

    connect(LbVideoList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PmRecList->popup(LbVideoList->viewport()->mapToGlobal(at)); });
    connect(LbVideoList, &QListWidget::itemDoubleClicked, this,
            [this] { swallowErrors([this] { BtnReplayRecClick(); }); });

    EdtRECPath->installEventFilter(this);
    LbVideoList->installEventFilter(this);
    LbVideoList->viewport()->installEventFilter(this);
    SbVideoScreen->installEventFilter(this);
}

bool TFrmScreenCam::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == EdtRECPath) {
        if (focusLeftForAnotherControl(EdtRECPath, event)) swallowErrors([this] { EdtRECPathExit(); });
        if (type == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            swallowErrors([this, key] { EdtRECPathKeyDown(key); });
        }
    } else if (watched == LbVideoList) {
        if (type == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            swallowErrors([this, key] { LbVideoListKeyDown(key); });
        }
        // The list's own key handling has moved the current item by the time the key comes up.
        if (type == QEvent::KeyRelease && isNavigationKey(static_cast<QKeyEvent*>(event)->key())) {
            swallowErrors([this] { LbVideoListClick(); });
        }
    } else if (watched == LbVideoList->viewport() && type == QEvent::MouseButtonDblClick) {
        // The release that ends a double-click is not a click of its own: it would put the list's
        // status text back over the one the double-click's playing has just set.
        endingDoubleClick_ = true;
    } else if (watched == LbVideoList->viewport() && type == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (!std::exchange(endingDoubleClick_, false)) swallowErrors([this] { LbVideoListClick(); });
    } else if (watched == Image48 && type == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        swallowErrors([this] { Image48Click(); });
    } else if (watched == SbVideoScreen && type == QEvent::MouseButtonDblClick) {
        swallowErrors([this] { SbVideoScreenDblClick(); });
    }
    return QWidget::eventFilter(watched, event);
}

void TFrmScreenCam::shellOpen(const QString& target) {
    if (!IsDesktopTarget(target)) {
        // A relative folder typed into the path box: refused as any other bad folder is.
        dialogs().messageBox(QStringLiteral("非法路径，请重新设置一个路径。"), {}, MsgIcon::None,
                             MsgButtons::Ok, this);
        return;
    }
    if (services_.shellOpen) {
        services_.shellOpen(target);
    } else {
        ShellOpen(target);
    }
}

}  // namespace zelq
