// Playing recordings inside the main window: the player and its buttons, the fitting of the picture to
// the video panel, the full-screen view and the Esc key that leaves it.
#include <QFileInfo>
#include <QKeyEvent>
#include <QSplitter>
#include <QSplitterHandle>
#include <utility>

#include "app/keypreview.h"
#include "app/player/mediaplayer.h"
#include "app/screencam.h"
#include "platform/dialogs.h"
#include "platform/guard.h"

namespace zelq {

namespace {

// A splitter's bars; the panes it holds stay as they are.
void setSplitterBarsVisible(QSplitter* splitter, bool visible) {
    for (int i = 1; i < splitter->count(); ++i) splitter->handle(i)->setVisible(visible);
}

}  // namespace

void TFrmScreenCam::createPlayer() {
    MediaPlayer1 = std::make_unique<TMediaPlayer>(SbVideoScreen);
    keyPreview_ = new KeyPreview(this, [this](QWidget* receiver, int key) {
        // Whether the key is the window's own is settled before the short-cut stage shows the chrome
        // again: a control hidden at that moment (the full-screen view hides the one with the focus, and
        // Qt leaves the focus there when nothing else can take it) takes no key.
        keyForWindow_ = receiver == this || !receiver->isVisible();
        swallowErrors([this, key] { FormShortCut(key); });
    });
}

void TFrmScreenCam::OpenAndPlay(const QString& path) {
    if (!QFileInfo(path).isFile()) return;
    swallowErrors([this, &path] {
        if (MediaPlayer1->Mode() == 2) MediaPlayer1->Stop();
        MediaPlayer1->FileName = path;
        MediaPlayer1->Open();
        FitVideo();
        MediaPlayer1->Play();
    });
}

void TFrmScreenCam::ClosePlayer() {
    swallowErrors([this] {
        if (!MediaPlayer1->Mode()) return;
        MediaPlayer1->Stop();
        MediaPlayer1->Close();
    });
}

void TFrmScreenCam::FitVideo() {
    if (!MediaPlayer1 || !MediaPlayer1->HasVideo()) return;
    QRect rect(QPoint(0, 0), SbVideoScreen->contentsRect().size());
    if (rect.width() == 0 && rect.height() == 0) rect.setSize(MediaPlayer1->NaturalSize());
    MediaPlayer1->SetDisplayRect(rect);
}

void TFrmScreenCam::BtnReplayRecClick() {
    if (LbVideoList->count() == 0) {
        const QString text = QStringLiteral("没有任何录像。");
        LblHint->setText(text);
        dialogs().messageBox(text, {}, MsgIcon::None, MsgButtons::Ok, this);
        return;
    }
    if (LbVideoList->currentRow() < 0) {
        const QString text = QStringLiteral("请选择一个录像。");
        LblHint->setText(text);
        dialogs().messageBox(text, {}, MsgIcon::None, MsgButtons::Ok, this);
        LbVideoList->setFocus();
        return;
    }
    CurrentFileName = LbVideoList->currentItem()->text();
    CurrentFilePath = QStringLiteral("%1%2").arg(CurrentFolder, CurrentFileName);
    OpenAndPlay(CurrentFilePath);
    LblHint->setText(QStringLiteral("开始播放%1").arg(CurrentFilePath));
    PnlVideoControl->show();
}

void TFrmScreenCam::SpeedButton5Click() {
    const QString folder = ValidateRecordingFolder(QString());
    if (folder.isEmpty()) return;
    OpenDialog1.initialDir = folder;
    const QString chosen = dialogs().openFile(this, QString(), OpenDialog1.initialDir, OpenDialog1.filter);
    if (!chosen.isEmpty()) OpenAndPlay(chosen);
}

void TFrmScreenCam::BtnPlayClick() {
    if (!MediaPlayer1->Mode()) {
        if (!LbVideoList->currentItem()) return;
        CurrentFileName = LbVideoList->currentItem()->text();
        CurrentFilePath = CurrentFolder + CurrentFileName;
        OpenAndPlay(CurrentFilePath);
        return;
    }
    MediaPlayer1->Play();
}

void TFrmScreenCam::BtnPauseClick() {
    const std::optional<int> mode = MediaPlayer1->Mode();
    if (!mode) throw EMCIDeviceError(MCIERR_INVALID_DEVICE_ID);
    if (*mode == 2) {
        MediaPlayer1->Pause();
    } else if (*mode == 5) {
        try {
            MediaPlayer1->Resume();
        } catch (const EMCIDeviceError&) {
            MediaPlayer1->Play();
        }
    }
}

void TFrmScreenCam::BtnStopClick() { MediaPlayer1->Stop(); }

void TFrmScreenCam::BtnFullScreenClick() {
    if (FullScreen) {
        FullScreen = false;
        SbAvert->show();
        SetFullScreenView(false);
    } else {
        FullScreen = true;
        SbAvert->hide();
        SetFullScreenView(true);
    }
}

void TFrmScreenCam::SetFullScreenView(bool on) {
    setWindowTitle(QStringLiteral("当前文件：%1").arg(CurrentFilePath));
    setChromeVisible(!on);
    if (on) {
        PnlPic->hide();
        setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        PnlPic->setVisible(PicPanelOpen);
        setWindowState(windowState() & ~Qt::WindowMaximized);
    }
    // The panel's new size is only known once the layout has placed what is left.
    layout()->activate();
    FitVideo();
}

void TFrmScreenCam::setChromeVisible(bool visible) {
    for (QWidget* w : QList<QWidget*>{PnlBottom, SbLeft, SbFileSelect, SbVideoLeft, ImgRight, ImgLeft})
        w->setVisible(visible);
    // A splitter here holds panes that stay; only its bars belong to the chrome.
    for (QSplitter* s : {SplB1, SplL1, SplL2, SplTop}) setSplitterBarsVisible(s, visible);
    PnlTop->setVisible(visible);
}

void TFrmScreenCam::SbVideoScreenDblClick() { SetFullScreenView(false); }

void TFrmScreenCam::FormShortCut(int key) {
    if (key != Qt::Key_Escape) return;
    // The chrome comes back whatever holds the focus; the banner, the picture panel, the toggle and the
    // picture's place are left to the window's own Esc, which runs only when no control takes the key.
    setChromeVisible(true);
    setWindowState(windowState() & ~Qt::WindowMaximized);
    setWindowTitle(mainWindowCaption());
}

void TFrmScreenCam::FormKeyDown(int key) {
    if (key != Qt::Key_Escape) return;
    FullScreen = false;
    SbAvert->show();
    SetFullScreenView(false);
}

void TFrmScreenCam::keyPressEvent(QKeyEvent* event) {
    // Only a key meant for the window itself; a key a focused control passes on is not the window's.
    if (std::exchange(keyForWindow_, false)) {
        const int key = event->key();
        swallowErrors([this, key] { FormKeyDown(key); });
    }
    QWidget::keyPressEvent(event);
}

}  // namespace zelq
