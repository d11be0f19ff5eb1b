#pragma once
// TRecordAVIThread, the worker of one recording: it runs the engine's RecordAVI, again while that asks
// for a rerun with the default compressor, and ends. The engine deletes it once it has finished.
//
// It is also the frame window's hook for GrabFrame: moving and painting the window are carried to the
// UI thread (SyncMoveFrame, SyncPaintFrame). The worker waits for a move, which must be done before the
// capture; a paint is only posted.

#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

#include "capture/frame/grabframe.h"

namespace zelq {

class SourceBounds;
class TScreenCam;

class TRecordAVIThread : public QThread, public FrameWindowHooks {
    Q_OBJECT
public:
    // The playback rate is accepted as the engine passes it; the rate in force is the engine's.
    TRecordAVIThread(TScreenCam& cam, std::shared_ptr<SourceBounds> source, int playbackRate, QString fileName);

    TScreenCam& Cam;
    const QString FileName;
    const std::shared_ptr<SourceBounds> SourceForm;
    std::atomic<quint32> PendingColor{0};
    std::atomic<int> PendingLeft{0};
    std::atomic<int> PendingTop{0};
    std::atomic<int> PendingWidth{0};
    std::atomic<int> PendingHeight{0};

    // UI thread: paint (in the colour the flash posted) and place the frame window, while the engine is
    // still recording.
    void SyncPaintFrame(quint32 colour);
    void SyncMoveFrame();

    // Worker: the frame window's hooks for GrabFrame.
    void moveFrame(int left, int top, int width, int height) override;
    void flash(bool capturing) override;

protected:
    // Execute.
    void run() override;

private:
    bool frameMoved_ = false;  // worker only: the Pending bounds have been handed over once
};

}  // namespace zelq
