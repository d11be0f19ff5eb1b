#include "recordthread.h"

#include "capture/scrcam/scrcam.h"

namespace zelq {

TRecordAVIThread::TRecordAVIThread(TScreenCam& cam, std::shared_ptr<SourceBounds> source, int, QString fileName)
    : QThread(&cam), Cam(cam), FileName(std::move(fileName)), SourceForm(std::move(source)) {
    setObjectName(QStringLiteral("TRecordAVIThread"));
}

void TRecordAVIThread::run() {
    try {
        while (Cam.RecordAVI(*SourceForm, FileName) == -1) {
        }
    } catch (...) {
        // An unexpected fault ends the recording quietly; RecordAVI's owners have already cleaned up.
    }
}

void TRecordAVIThread::SyncPaintFrame(quint32 colour) {
    if (Cam.Recording && Cam.FrameWindow)
        Cam.FrameWindow->PaintFrame(colour);
}

void TRecordAVIThread::SyncMoveFrame() {
    if (Cam.Recording && Cam.FrameWindow) Cam.FrameWindow->SetArea(PendingLeft, PendingTop, PendingWidth, PendingHeight);
}

void TRecordAVIThread::moveFrame(int left, int top, int width, int height) {
    // A source that has not moved needs no move: waiting for the UI thread every pass to place the window
    // where it already is held the recording back.
    if (frameMoved_ && PendingLeft == left && PendingTop == top && PendingWidth == width &&
        PendingHeight == height)
        return;
    frameMoved_ = true;
    PendingLeft = left;
    PendingTop = top;
    PendingWidth = width;
    PendingHeight = height;
    Cam.onUiThread([this] { SyncMoveFrame(); });
}

void TRecordAVIThread::flash(bool capturing) { Cam.Flash(capturing); }

}  // namespace zelq
