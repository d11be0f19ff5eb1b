#include "scrcam.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include "capture/frame/grabframe.h"
#include "capture/scrcam/recordthread.h"
#include "capture/scrcam/workerdialogs.h"
#include "platform/clock.h"
#include "platform/screen/screensource.h"
#include "platform/screenpixels.h"

namespace zelq {

namespace {

// Keeps the worker's copy of the source window's bounds current as the window moves and resizes.
class SourceWatcher final : public QObject {
public:
    SourceWatcher(QWidget* source, std::shared_ptr<SourceBounds> bounds) : source_(source), bounds_(std::move(bounds)) {
        source->installEventFilter(this);
    }
    ~SourceWatcher() override {
        if (source_) source_->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type t = event->type();
        // A hidden source keeps the bounds it had on screen: the window manager moves and unframes a
        // window it no longer shows, and those places were never what the user marked.
        if (source_ && source_->isVisible() && (t == QEvent::Move || t == QEvent::Resize || t == QEvent::Show))
            bounds_->set(screenOuterBounds(source_));
        return false;
    }

private:
    QPointer<QWidget> source_;
    std::shared_ptr<SourceBounds> bounds_;
};

}  // namespace

TScreenCam::TScreenCam(QWidget* owner, Dialogs& dialogs, Clock& clock)
    : OwnerForm(owner),
      dialogs_(dialogs),
      clock_(clock),
      workerDialogs_(std::make_unique<WorkerDialogs>(dialogs, this, [this] { return closing_.load(); })) {
    setObjectName(QStringLiteral("TScreenCam"));
    ScreenSource& screen = ScreenSource::forCurrentThread();
    BitsPerPixel = screen.isConnected() ? screen.bitsPerPixel() : 32;
    ScreenWidth = screen.width();
    ScreenHeight = screen.height();
    FrameWindow = new TFlashingWnd(owner);
    ArrowCursor = &standardArrowCursor();
}

TScreenCam::~TScreenCam() {
    closing_ = true;
    Recording = false;
    clock_.wake();
    waitForWorker(-1);
    delete FrameWindow.data();
}

void TScreenCam::StartRecording(QWidget* source, const QString& fileName) {
    // After a stop the worker may still be finishing its pass, and it reads Recording again before the
    // next one: a new start then would set it recording on, beside a second worker. Wait for ThreadDone.
    if (Recording || Thread)
        return;
    setRecordingFile({});
    setSoundNotice({});
    auto bounds = std::make_shared<SourceBounds>();
    bounds->set(screenOuterBounds(source));
    sourceWatcher_ = std::make_unique<SourceWatcher>(source, bounds);
    auto* worker = new TRecordAVIThread(*this, bounds, PlaybackRate, fileName);
    Thread = worker;
    // Only this worker's end may make the engine idle: when waitForWorker has already dealt with it (and
    // deleted it), its queued end must not stop the recording started after.
    connect(
        worker, &QThread::finished, this,
        [this, ended = QPointer<TRecordAVIThread>(worker)] {
            if (ended && ended == Thread)
                ThreadDone();
        },
        Qt::QueuedConnection);
    Paused = false;
    Recording = true;
    worker->start();
}

void TScreenCam::StopRecording() {
    Recording = false;
    clock_.wake();  // the worker's pause between passes ends now, not at the next grid point
}

void TScreenCam::PauseRecording() {
    if (!Recording) return;
    Paused = true;
    clock_.wake();  // the pause begins now, not at the next grid point
}

void TScreenCam::ResumeRecording() {
    Paused = false;
    clock_.wake();
}

QString TScreenCam::RecordingFile() const {
    std::lock_guard lock(recordingFileMutex_);
    return recordingFile_;
}

void TScreenCam::setRecordingFile(const QString& path) {
    std::lock_guard lock(recordingFileMutex_);
    recordingFile_ = path;
}

QString TScreenCam::SoundNotice() const {
    std::lock_guard lock(recordingFileMutex_);
    return soundNotice_;
}

void TScreenCam::setSoundNotice(const QString& text) {
    std::lock_guard lock(recordingFileMutex_);
    soundNotice_ = text;
}

void TScreenCam::ThreadDone() {
    Recording = false;
    Paused = false;
    sourceWatcher_.reset();
    if (Thread && Thread->isFinished()) delete Thread.data();
    Thread = nullptr;
}

bool TScreenCam::waitForWorker(int timeoutMs) {
    const std::uint32_t start = clock_.timeGetTime();
    while (Thread && !Thread->isFinished()) {
        // The worker may be waiting for the UI thread (the frame window, a message box): keep serving it.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // Serving events may have run ThreadDone, which deletes the worker.
        if (Thread) Thread->wait(5);
        if (timeoutMs >= 0 && clock_.timeGetTime() - start > static_cast<std::uint32_t>(timeoutMs)) return false;
    }
    if (Thread) ThreadDone();
    return true;
}

void TScreenCam::onUiThread(const std::function<void()>& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
    } else {
        QMetaObject::invokeMethod(this, fn, Qt::BlockingQueuedConnection);
    }
}

void TScreenCam::Flash(bool capturing) {
    TRecordAVIThread* worker = qobject_cast<TRecordAVIThread*>(QThread::currentThread());
    if (!worker) return;
    const quint32 colour = capturing ? 0x00B4FFFFu : 0x0050FF00u;  // RGB(255,255,180), RGB(0,255,80)
    worker->PendingColor = colour;
    // The colour is cosmetic, so the worker posts it and goes on grabbing: waiting for the UI thread twice
    // a pass took most of a pass at high rates. Posted calls run in the order posted, so each capture is
    // still yellow, then green; the colour travels with the call because PendingColor may have moved on by
    // the time it runs. The worker is the call's receiver, so a call still queued when the worker is
    // deleted goes with it.
    QMetaObject::invokeMethod(
        worker, [worker, colour] { worker->SyncPaintFrame(colour); }, Qt::QueuedConnection);
}

Frame TScreenCam::GrabFrame(int left, int top, int width, int height) { return grabFor(nullptr, left, top, width, height); }

Frame TScreenCam::grabFor(FrameWindowHooks* worker, int left, int top, int width, int height,
                          KeptScreen* kept) {
    GrabSettings settings;
    settings.BitsPerPixel = BitsPerPixel;
    settings.DrawCursor = DrawCursor;
    settings.ShowFrame = ShowFrame;
    settings.FollowSource = FollowSource;
    settings.ArrowCursor = ArrowCursor;
    settings.SeenClock = &clock_;
    return zelq::GrabFrame(ScreenSource::forCurrentThread(), settings, worker, *workerDialogs_, left, top,
                           width, height, kept);
}

void TScreenCam::raise(const Notification& notification) {
    if (notification) notification(*this);
}

MsgAnswer TScreenCam::askUser(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) {
    return workerDialogs_->messageBox(text, caption, icon, buttons, nullptr);
}

}  // namespace zelq
