#include "control/scriptedrecording.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <cmath>

#include "app/areaselect.h"
#include "app/screencam.h"
#include "app/toolform.h"
#include "web/helpfrm.h"
#include "capture/scrcam/recordthread.h"
#include "capture/scrcam/scrcam.h"
#include "control/countdown.h"
#include "platform/screenpixels.h"

namespace zelq::control {

namespace {

QString fourccText(FOURCC code) {
    QString text;
    for (int i = 0; i < 4; ++i) text += QChar(static_cast<char>((code >> (8 * i)) & 0xFF));
    return text.trimmed();
}

// The monitor a full-screen recording records: the primary one, in screen pixels.
QRect primaryMonitor() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? toScreenPixels(QRectF(screen->geometry()), pixelScaleOf(screen)) : QRect();
}

}  // namespace

// The engine's settings as the options dialog left them, put back when the run ends.
struct ScriptedRecording::Saved {
    int msPerFrame, playbackRate, codecIndex, positionLimit;
    FOURCC codecFourCC;
    sound::SoundChoice sound;
    bool showFrame, followSource;
};

ScriptedRecording::ScriptedRecording(TFrmScreenCam& window, QObject* parent) : QObject(parent), window_(window) {
    fileWatch_.setInterval(20);
    connect(&fileWatch_, &QTimer::timeout, this, &ScriptedRecording::watchForFile);
    // The tool window's pause button and a script's pause both come through the window.
    connect(&window_, &TFrmScreenCam::recordingPauseChanged, this, [this](bool on) {
        if (on)
            emit paused();
        else
            emit resumed();
    });
}

ScriptedRecording::~ScriptedRecording() {
    delete countdown_.data();
    if (window_.ExternalStop) window_.ExternalStop = nullptr;
}

bool ScriptedRecording::busy() const {
    const TScreenCam* engine = window_.CaptureEngine.get();
    return countdown_ || running_ || (engine && (engine->Recording || engine->Thread));
}

Answer ScriptedRecording::start(const RecordRequest& request) {
    if (busy()) return {Refusal::Busy, QStringLiteral("已经在录像，请先停止当前的录像。")};
    const QRect rect = request.area ? request.rect : primaryMonitor();
    if (const QString why = checkRectangle(rect); !why.isEmpty()) return {Refusal::BadRequest, why};
    if (!request.options.output.isEmpty()) {
        if (const QString why = checkOutputFolder(request.options.output); !why.isEmpty())
            return {Refusal::BadRequest, why};
        path_ = QFileInfo(request.options.output).absoluteFilePath();
    } else {
        // The window's folder and naming, as its own start uses them; the check has told the user why not.
        if (!window_.prepareRecordingPath())
            return {Refusal::CannotStart, QStringLiteral("录像文件夹不可用，请在主窗口中选择录像文件夹。")};
        path_ = window_.CurrentFilePath;
    }
    if (Answer refused = applyOptions(request.options); refused.refusal != Refusal::None) return refused;
    rect_ = rect;
    area_ = request.area;
    if (request.options.countdownSeconds > 0) {
        countdown_ = new Countdown(request.options.countdownSeconds, rect_, [this] {
            countdown_->deleteLater();
            beginRecording();
        });
    } else {
        beginRecording();
    }
    return Answer::ok();
}

Answer ScriptedRecording::applyOptions(const RecordOptions& options) {
    TScreenCam& engine = *window_.CaptureEngine;
    int codecIndex = engine.CodecIndex;
    if (!options.compressor.isEmpty()) {
        if (engine.CodecCount == 0) engine.EnumerateCodecs();
        codecIndex = -1;
        for (int i = 0; i < engine.CodecCount && codecIndex < 0; ++i) {
            const ICINFO& entry = engine.CodecList[static_cast<std::size_t>(i)];
            const QString names[] = {fourccText(entry.fccHandler), QString::fromUtf16(entry.szName),
                                     QString::fromUtf16(entry.szDescription)};
            for (const QString& name : names)
                if (name.compare(options.compressor, Qt::CaseInsensitive) == 0) codecIndex = i;
        }
        if (codecIndex < 0) return {Refusal::BadRequest, QStringLiteral("没有这个压缩器：%1").arg(options.compressor)};
    }
    saved_ = std::make_unique<Saved>(Saved{engine.MsPerFrame, engine.PlaybackRate, engine.CodecIndex,
                                           engine.PositionLimit, engine.CodecFourCC.load(), engine.Sound,
                                           engine.ShowFrame, engine.FollowSource});
    if (codecIndex != engine.CodecIndex) engine.SelectCodec(codecIndex);
    if (options.intervalMs > 0) engine.MsPerFrame = options.intervalMs;
    if (options.rate > 0) engine.PlaybackRate = options.rate;
    if (options.sound) engine.Sound = *options.sound;
    engine.PositionLimit = options.durationSeconds > 0
                               ? std::max(1, static_cast<int>(std::lround(options.durationSeconds * engine.PlaybackRate)))
                               : 0;
    return Answer::ok();
}

void ScriptedRecording::beginRecording() {
    TScreenCam& engine = *window_.CaptureEngine;
    window_.CancelExtraction = true;
    window_.CancelExport();
    window_.ClosePlayer();
    windowWasShown_ = window_.isVisible();
    // The window must not be in what it records.
    window_.hide();
    // The engine records a window's bounds: a window never shown, placed on the rectangle.
    source_ = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint);
    source_->setGeometry(toLogicalPixels(rect_, pixelScaleAt(rect_.center())));
    engine.ShowFrame = true;
    engine.FollowSource = false;
    running_ = true;
    engine.StartRecording(source_.get(), path_);
    if (!engine.Thread) {
        workerEnded();
        return;
    }
    connect(engine.Thread.data(), &QThread::finished, this, &ScriptedRecording::workerEnded, Qt::QueuedConnection);
    fileWatch_.start();
    window_.ExternalStop = [this] { stop(); };
    // An area, or a screen without a stop key, gets the tool window as the window's own starts do.
    const bool hotKey = window_.RegisterStopHotKey();
    if (area_ || !hotKey) {
        if (!window_.FrmTool) window_.attachWindows(window_.FrmMyMessage, window_.FrmAreaSelect, new TFrmTool(&window_), window_.FrmHelp);
        window_.placeToolWindow(rect_);
        window_.FrmTool->showPaused(false);
        window_.FrmTool->show();
    }
}

void ScriptedRecording::watchForFile() {
    const QString file = window_.CaptureEngine ? window_.CaptureEngine->RecordingFile() : QString();
    if (file.isEmpty()) return;
    fileWatch_.stop();
    emit started(file);
}

void ScriptedRecording::workerEnded() {
    if (!running_) return;
    running_ = false;
    fileWatch_.stop();
    TScreenCam& engine = *window_.CaptureEngine;
    const QString file = engine.RecordingFile();
    const int frames = engine.Stats.FramesWritten;
    const double seconds =
        frames > 0 && engine.PlaybackRate > 0 ? (engine.Stats.FrameIndex + 1) / static_cast<double>(engine.PlaybackRate) : 0;
    const int skipped = engine.Stats.SkippedFrames;
    const QString soundNotice = engine.SoundNotice();
    restore();
    window_.RefreshRecordingList();
    if (file.isEmpty() || !QFileInfo::exists(file)) {
        window_.LblHint->setText(QStringLiteral("没有生成录像文件。"));
        emit failed(QStringLiteral("录像没有开始，没有生成录像文件。") + soundNotice);
        return;
    }
    window_.LblHint->setText(QStringLiteral("生成录像文件:%1").arg(file) +
                             (soundNotice.isEmpty() ? QString() : QStringLiteral("；") + soundNotice));
    emit finished(file, seconds, frames, skipped);
}

void ScriptedRecording::restore() {
    window_.ExternalStop = nullptr;
    window_.UnregisterStopHotKey();
    if (window_.FrmTool) window_.FrmTool->hide();
    if (saved_ && window_.CaptureEngine) {
        TScreenCam& engine = *window_.CaptureEngine;
        engine.MsPerFrame = saved_->msPerFrame;
        engine.PlaybackRate = saved_->playbackRate;
        engine.CodecIndex = saved_->codecIndex;
        engine.CodecFourCC = saved_->codecFourCC;
        engine.PositionLimit = saved_->positionLimit;
        engine.Sound = saved_->sound;
        engine.ShowFrame = saved_->showFrame;
        engine.FollowSource = saved_->followSource;
    }
    saved_.reset();
    source_.reset();
    if (windowWasShown_) window_.show();
    windowWasShown_ = false;
}

Answer ScriptedRecording::stop() {
    if (countdown_) {
        // Nothing was recorded: no file, and the settings go back as they were.
        delete countdown_.data();
        restore();
        emit finished(QString(), 0, 0, 0);
        return Answer::ok();
    }
    TScreenCam* engine = window_.CaptureEngine.get();
    if (!engine || !engine->Recording) return {Refusal::NothingRecording, QStringLiteral("现在没有在录像，没有可以停止的录像。")};
    if (running_) {
        engine->StopRecording();
    } else {
        // The window's own recording: its own stop, as the hot key runs it.
        window_.StopFromToolWindow();
        if (window_.FrmTool) window_.FrmTool->hide();
    }
    return Answer::ok();
}

Answer ScriptedRecording::pause() {
    const TScreenCam* engine = window_.CaptureEngine.get();
    if (!engine || !engine->Recording) return {Refusal::NothingRecording, QStringLiteral("现在没有在录像，不能暂停。")};
    if (engine->Paused) return {Refusal::NothingRecording, QStringLiteral("录像已经暂停了。")};
    window_.SetRecordingPaused(true);
    return Answer::ok();
}

Answer ScriptedRecording::resume() {
    const TScreenCam* engine = window_.CaptureEngine.get();
    if (!engine || !engine->Recording) return {Refusal::NothingRecording, QStringLiteral("现在没有在录像，不能继续。")};
    if (!engine->Paused) return {Refusal::NothingRecording, QStringLiteral("录像没有暂停。")};
    window_.SetRecordingPaused(false);
    return Answer::ok();
}

QVariantMap ScriptedRecording::status() const {
    QVariantMap map;
    const TScreenCam* engine = window_.CaptureEngine.get();
    if (countdown_) {
        map.insert(QStringLiteral("state"), QStringLiteral("countdown"));
    } else if (engine && engine->Recording) {
        map.insert(QStringLiteral("state"), engine->Paused ? QStringLiteral("paused") : QStringLiteral("recording"));
        map.insert(QStringLiteral("file"), engine->RecordingFile());
        const int frames = engine->Stats.FramesWritten;
        map.insert(QStringLiteral("seconds"),
                   frames > 0 ? (engine->Stats.FrameIndex + 1) / static_cast<double>(engine->PlaybackRate) : 0.0);
        map.insert(QStringLiteral("frames"), frames);
        map.insert(QStringLiteral("skipped"), engine->Stats.SkippedFrames.load());
    } else {
        map.insert(QStringLiteral("state"), QStringLiteral("idle"));
    }
    return map;
}

}  // namespace zelq::control
