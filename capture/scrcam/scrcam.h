#pragma once
// TScreenCam, the capture engine: every recording setting, the compressor catalogue and the frame window
// drawn round the recorded area. It runs at most one recording at a time, on a worker thread
// (TRecordAVIThread) that captures the screen on a fixed time grid and writes a compressed AVI file.
//
// Threads. The engine lives on the UI thread; the worker calls RecordAVI, Flash and the worker's grab.
// The stop signal is Recording alone: the UI thread writes it, the worker reads it before each pass and
// after each sleep slice. The settings are written by the UI thread only while no recording runs; the
// statistics are written by the worker and are atomics. Whatever the worker does to a window (the frame
// window, a message box) is carried to the UI thread; the worker waits for it, except for the frame
// window's colours, which are only posted. The encoder runs on a thread of the worker's own (FrameWriter),
// so the next position is grabbed while the last is written. The UI thread never
// waits for the worker, except when the engine is destroyed during a recording, and then it keeps
// running those hand-offs while it waits, so neither side can block the other.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "capture/flashwnd/flashwnd.h"
#include "capture/frame/frame.h"
#include "capture/scrcam/captureloop.h"
#include "capture/vfw/avifile.h"
#include "capture/vfw/vfwtypes.h"
#include "platform/dialogs.h"
#include "platform/screen/arrowcursor.h"
#include "platform/sound/soundcapture.h"

class QWidget;

namespace zelq {

class Clock;
class FrameWindowHooks;
class KeptScreen;
class SoundTrack;
class TRecordAVIThread;

constexpr FOURCC kCodecMSVC = mmioFOURCC('M', 'S', 'V', 'C');
constexpr FOURCC kCodecIV50 = mmioFOURCC('I', 'V', '5', '0');

// The source window's outer bounds as the worker sees them, in screen pixels (screenOuterBounds). The UI
// thread keeps them current while the window moves and resizes; the worker reads them. Thread-safe.
class SourceBounds {
public:
    QRect get() const {
        std::lock_guard lock(mutex_);
        return rect_;
    }
    void set(const QRect& rect) {
        std::lock_guard lock(mutex_);
        rect_ = rect;
    }

private:
    mutable std::mutex mutex_;
    QRect rect_;
};

class TScreenCam : public QObject {
    Q_OBJECT
public:
    using Notification = std::function<void(TScreenCam&)>;

    // UI thread. owner is the main window, owner of the frame window.
    TScreenCam(QWidget* owner, Dialogs& dialogs, Clock& clock);
    // Stops a running recording and waits for its worker, running the worker's hand-offs meanwhile.
    ~TScreenCam() override;

    QWidget* OwnerForm = nullptr;
    int BitsPerPixel = 32;
    std::atomic<FOURCC> CodecFourCC{kCodecMSVC};
    std::atomic<bool> Recording{false};
    // Set and cleared by the UI thread during a recording, read by the worker before each pass.
    std::atomic<bool> Paused{false};
    int ScreenWidth = 0;
    int ScreenHeight = 0;
    CaptureStats Stats;  // StartTime, FrameGap, SkippedFrames, FrameIndex, FramesWritten
    std::atomic<int> AreaWidth{0};
    std::atomic<int> AreaHeight{0};
    // Raised on the worker thread with the engine as argument.
    Notification OnProgress;
    Notification OnRecordStart;
    Notification OnRecordStop;
    Notification OnRecordError;
    // The screen source lost the screen or never had it (on a Wayland desktop: the user refused, or the
    // desktop stopped casting), and its message has been shown: the recording has ended by itself, with
    // whatever it had written in a finished file.
    Notification OnScreenLost;
    QPointer<TRecordAVIThread> Thread;  // UI thread only
    int PlaybackRate = 10;
    int MsPerFrame = 100;  // 1 to 60000
    int KeyFrameEvery = 5;
    int CodecIndex = -1;
    int Quality = 6550;
    int CodecCount = 0;
    std::array<ICINFO, 32> CodecList{};
    bool DrawCursor = true;
    QPointer<TFlashingWnd> FrameWindow;
    bool ShowFrame = true;
    const CursorImage* ArrowCursor = nullptr;
    bool FollowSource = false;
    // The sound recorded beside the picture; none unless the options dialog chose it for this run.
    sound::SoundChoice Sound = sound::SoundChoice::None;
    // When above 0, a recording ends by itself once its file holds this many positions (a timed stop,
    // exact in the file's time). Written by the UI thread while no recording runs.
    int PositionLimit = 0;

    // UI thread. Starts a recording of the source window's outer bounds into fileName; does nothing at
    // all while a recording runs (or has not yet finished).
    void StartRecording(QWidget* source, const QString& fileName);
    // UI thread. Returns at once; the worker finishes the pass in hand and closes the file.
    void StopRecording();
    // UI thread. While paused nothing is grabbed and no sound is kept; on resume the file's time goes on
    // where it stopped, so the file is as long as the time recorded. Nothing while no recording runs.
    void PauseRecording();
    void ResumeRecording();
    // The file the recording started last has made: the name it was given, or the free name beside it
    // taken because that one existed by then; empty until the file is made (and when it could not be).
    // Thread-safe.
    QString RecordingFile() const;
    // UI thread, when the worker has ended.
    void ThreadDone();
    // What the last recording has to tell about its sound (a server that could not be reached, a device
    // that went away, sound left out): empty when nothing. Reset by each start. Thread-safe.
    QString SoundNotice() const;

    // Worker: hands the frame window's colour to the UI thread.
    void Flash(bool capturing);
    // Any thread: a frame of the screen at BitsPerPixel, with no frame-window work (the probe's grab).
    Frame GrabFrame(int left, int top, int width, int height);
    // Worker: one whole recording; 1 finished, 0 failed and told, -1 run again with the default compressor.
    int RecordAVI(const SourceBounds& source, const QString& fileName);

    // The compressor catalogue (UI thread).
    void EnumerateCodecs();
    void SelectCodec(int index);
    void CodecAbout(std::uint8_t index, QWidget* parent);
    void CodecConfigure(std::uint8_t index, QWidget* parent);
    struct CodecAbilities {
        bool about = false;
        bool configure = false;
    };
    CodecAbilities CodecQuery(std::uint8_t index);

    // UI thread: waits for a running worker to end, running the worker's hand-offs meanwhile; false when
    // it had not ended after timeoutMs. For shutdown and for tests.
    bool waitForWorker(int timeoutMs);

    Dialogs& dialogs() const { return dialogs_; }
    Clock& clock() const { return clock_; }
    // True while the engine is being destroyed: the worker then shows no more boxes.
    bool closing() const { return closing_; }

private:
    friend class TRecordAVIThread;
    // `kept`: the recording's picture of the screen, updated from what changed (see GrabFrame).
    Frame grabFor(FrameWindowHooks* worker, int left, int top, int width, int height,
                  KeptScreen* kept = nullptr);
    // Worker: creates the file with the format of `frame` (then released), runs the capture loop over
    // `area` and finishes the file; the first failing AVI call's status, or AVIERR_OK.
    HRESULT writeRecording(const QString& fileName, Frame& frame, const SourceBounds& source,
                           FrameWindowHooks* hooks, const QRect& area);
    // Worker: the sound stream of the recording being made in `file`, when the options ask for one.
    HRESULT addSoundTrack(const PAVIFILE& file, std::unique_ptr<SoundTrack>& track);
    // Runs fn on the UI thread and waits for it; in place when already there.
    void onUiThread(const std::function<void()>& fn);
    void raise(const Notification& notification);
    // A message box from the worker; answers without a box while the engine is being destroyed.
    MsgAnswer askUser(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons);

    Dialogs& dialogs_;
    Clock& clock_;
    std::atomic<bool> closing_{false};
    // The worker's boxes: shown through dialogs_, abandoned when the engine is destroyed.
    std::unique_ptr<Dialogs> workerDialogs_;
    std::unique_ptr<QObject> sourceWatcher_;
    mutable std::mutex recordingFileMutex_;
    QString recordingFile_;
    void setRecordingFile(const QString& path);
    QString soundNotice_;  // under recordingFileMutex_
    void setSoundNotice(const QString& text);
};

}  // namespace zelq
