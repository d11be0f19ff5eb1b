#pragma once
// A recording asked for by a script or a desktop shortcut (the session bus, the command line): started
// without the main window's buttons, on a rectangle given in screen pixels, with the options of the
// request for this one run (the options dialog's values come back when it ends). It reaches the main
// window only for what a recording of the window's own would use: the folder and naming, the engine, the
// stop hot key and the tool window. Stop, pause, resume and status act on the window's own recording too,
// so that a desktop shortcut can stop whatever is being recorded.
//
// UI thread only. The engine's worker is watched through its end (queued to this thread).

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QVariantMap>
#include <memory>

#include "control/recordrequest.h"

class QWidget;

namespace zelq {
class TFrmScreenCam;
}

namespace zelq::control {

class Countdown;

// Why a call was refused; the bus turns each into an error name, the command line into an exit code.
enum class Refusal { None, BadRequest, Busy, NothingRecording, CannotStart };

struct Answer {
    Refusal refusal = Refusal::None;
    QString text;  // for the user, in Chinese
    static Answer ok() { return {}; }
};

class ScriptedRecording : public QObject {
    Q_OBJECT
public:
    explicit ScriptedRecording(TFrmScreenCam& window, QObject* parent = nullptr);
    ~ScriptedRecording() override;

    // Starts the request's recording, after its countdown. A refusal changes nothing.
    Answer start(const RecordRequest& request);
    // Ends the recording (or the countdown: then nothing is recorded and no file is made).
    Answer stop();
    Answer pause();
    Answer resume();
    // "state": "idle", "countdown", "recording" or "paused"; while recording also "file", "seconds"
    // (of the file), "frames" and "skipped".
    QVariantMap status() const;
    bool busy() const;

signals:
    void started(const QString& file);
    void paused();
    void resumed();
    void finished(const QString& file, double seconds, int frames, int skipped);
    void failed(const QString& reason);

private:
    struct Saved;
    Answer applyOptions(const RecordOptions& options);
    void beginRecording();
    void watchForFile();
    void workerEnded();
    void restore();

    TFrmScreenCam& window_;
    std::unique_ptr<Saved> saved_;  // the engine's settings before this run; set while it runs
    std::unique_ptr<QWidget> source_;
    QPointer<Countdown> countdown_;
    QRect rect_;
    bool area_ = false;
    QString path_;
    bool windowWasShown_ = false;
    bool running_ = false;  // a start of ours reached the engine, its end not yet seen
    QTimer fileWatch_;
};

}  // namespace zelq::control
