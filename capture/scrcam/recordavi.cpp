// RecordAVI: one whole recording, from the version check to the closed file.
#include <QFile>
#include <QThread>
#include <chrono>

#include "capture/frame/grabframe.h"
#include "capture/frame/keptscreen.h"
#include "capture/scrcam/changedrows.h"
#include "capture/scrcam/framewriter.h"
#include "capture/scrcam/recordingfile.h"
#include "capture/scrcam/recordthread.h"
#include "capture/scrcam/scrcam.h"
#include "capture/scrcam/soundtrack.h"
#include "capture/vfw/avifile.h"
#include "capture/vfw/compman.h"
#include "platform/screen/screensource.h"

namespace zelq {

namespace {

// A side rounded to a multiple of f: up, unless that passes the screen's edge, then down.
int alignSide(int side, int f, int screenSide) {
    if (side % f == 0) return side;
    const int up = (side / f + 1) * f;
    return up > screenSide ? (side / f) * f : up;
}

const BitmapInfoHeader* headerOf(const Frame& frame) { return reinterpret_cast<const BitmapInfoHeader*>(frame.data()); }

// Hides the frame window however the recording ends.
class HideFrameOnExit {
public:
    explicit HideFrameOnExit(std::function<void()> hide) : hide_(std::move(hide)) {}
    ~HideFrameOnExit() {
        if (hide_) hide_();
    }

private:
    std::function<void()> hide_;
};

// The AVI objects of one recording, released in the order the file wants: file, raw stream, compressed
// stream; the last release finishes the file on disk.
struct AviObjects {
    PAVIFILE file;
    PAVISTREAM raw;
    PAVISTREAM compressed;
    AVICOMPRESSOPTIONS options;
    std::unique_ptr<SoundTrack> sound;
    int rate = 1;
    // Hands over the compressor's last frames, brings the sound to the video's length and writes the
    // index; the first failure, or AVIERR_OK.
    HRESULT finish() {
        const HRESULT streamDone = compressed ? AVIStreamFinish(compressed) : AVIERR_OK;
        const HRESULT soundDone = sound && compressed
                                      ? sound->finish(soundFramesFor(AVIStreamLength(compressed), rate))
                                      : AVIERR_OK;
        const HRESULT fileDone = file ? AVIFileFinish(file) : AVIERR_OK;
        return streamDone != AVIERR_OK ? streamDone : soundDone != AVIERR_OK ? soundDone : fileDone;
    }
    ~AviObjects() {
        AVICOMPRESSOPTIONS* list[] = {&options};
        AVISaveOptionsFree(1, list);
        if (file) AVIFileRelease(file);
        if (raw) AVIStreamRelease(raw);
        if (compressed) AVIStreamRelease(compressed);
        AVIFileExit();
    }
};

}  // namespace

HRESULT TScreenCam::addSoundTrack(const PAVIFILE& file, std::unique_ptr<SoundTrack>& track) {
    if (Sound == sound::SoundChoice::None)
        return AVIERR_OK;
    // Sound plays at its own speed: where the frame rate written into the file differs from the capture
    // rate, the picture runs faster or slower than it was recorded and no sound could keep up with it.
    if (MsPerFrame * PlaybackRate != 1000) {
        const QString text = QStringLiteral("重放帧数与捕获间隔不一致（%1 fps，%2 ms），本次录像没有录制声音")
                                 .arg(PlaybackRate)
                                 .arg(MsPerFrame);
        qWarning("%s", qUtf8Printable(text));
        setSoundNotice(text);
        return AVIERR_OK;
    }
    return SoundTrack::create(
        file, Sound, [this](const QString& text) { setSoundNotice(text); }, track);
}

HRESULT TScreenCam::writeRecording(const QString& fileName, Frame& frame, const SourceBounds& source,
                                   FrameWindowHooks* hooks, const QRect& area) {
    AviObjects avi;
    AVIFileInit();
    const BitmapInfoHeader format = *headerOf(frame);
    // Made exclusively: a name taken meanwhile (by another program, or by the first run of a recording
    // that goes on with the default compressor) is kept, and this recording takes the next free one.
    const QString path = claimRecordingFile(fileName);
    HRESULT status = path.isEmpty() ? AVIERR_FILEOPEN : AVIFileOpen(avi.file, path.toStdString(), OF_WRITE | OF_CREATE);
    if (status == AVIERR_OK) {
        setRecordingFile(path);
    } else if (!path.isEmpty()) {
        QFile::remove(path);  // the empty file claimed for nothing
    }
    if (status == AVIERR_OK) {
        AVISTREAMINFO info;
        info.fccType = streamtypeVIDEO;
        info.fccHandler = 0;
        info.dwScale = 1;
        info.dwRate = static_cast<DWORD>(PlaybackRate);
        info.dwSuggestedBufferSize = format.biSizeImage;
        info.rcFrame = RECT{0, 0, format.biWidth, format.biHeight};
        status = AVIFileCreateStream(avi.file, avi.raw, info);
    }
    if (status == AVIERR_OK) {
        avi.options.fccType = streamtypeVIDEO;
        avi.options.fccHandler = CodecFourCC;
        avi.options.dwKeyFrameEvery = static_cast<DWORD>(KeyFrameEvery);
        avi.options.dwQuality = static_cast<DWORD>(Quality);
        avi.options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
        status = AVIMakeCompressedStream(avi.compressed, avi.raw, &avi.options);
    }
    if (status == AVIERR_OK) {
        status = AVIStreamSetFormat(avi.compressed, 0, headerOf(frame), static_cast<LONG>(40 + 4 * format.biClrUsed));
    }
    FreeFrame(frame);  // the format frame is never written
    if (status == AVIERR_OK)
        status = addSoundTrack(avi.file, avi.sound);
    avi.rate = PlaybackRate;

    if (status == AVIERR_OK) {
        raise(OnRecordStart);
        CaptureLoopSteps steps;
        steps.recording = [this] { return Recording.load(); };
        // The screen as the last pass saw it: each pass reads back only what has been drawn since.
        KeptScreen kept;
        // The rows changed since the last frame written: a pass whose frame is not written (two passes on
        // one position) leaves its changes to the next frame that is.
        ChangedSinceWritten changes;
        // Position n is encoded and written while position n + 1 is grabbed.
        FrameWriter writer([&](int position, const Frame& f, const Frame* last) {
            // The sound so far goes in before each frame: the two streams interleave about once a position.
            if (avi.sound) {
                status = avi.sound->writeSettled(soundFramesFor(position + 1, PlaybackRate));
                if (status != AVIERR_OK)
                    return false;
            }
            AVIStreamHintChangedRows(avi.compressed, f.changedRows);
            // Every frame of a recording has the format's size, so the last one can stand for the encoder's
            // own copy of it.
            AVIStreamHintLastFrame(avi.compressed, last ? last->pixels() : nullptr);
            status = AVIStreamWrite(avi.compressed, position, 1, f.pixels(), static_cast<LONG>(f.pixelBytes()), 0);
            return status == AVIERR_OK;
        });
        // The stream's size is fixed; a moved or resized source is captured at that size from its current
        // position.
        const auto grabPass = [&](FrameWindowHooks* window) {
            const QRect at = FollowSource ? source.get() : area;
            return grabFor(window, at.x(), at.y(), area.width(), area.height(), &kept);
        };
        steps.grab = [&] {
            kept.giveBack(writer.takeWritten());
            Frame f = grabPass(hooks);
            changes.add(f);
            return f;
        };
        steps.write = [&](int position, Frame& f) {
            changes.written();
            return writer.submit(position, f);
        };
        steps.progress = [this] { raise(OnProgress); };
        steps.paused = [this] { return Paused.load(); };
        steps.pausing = [&] {
            if (avi.sound) avi.sound->pause(std::chrono::steady_clock::now());
        };
        steps.resumed = [&] {
            if (avi.sound) avi.sound->resume(std::chrono::steady_clock::now());
        };
        steps.positionLimit = PositionLimit;
        steps.started = [&] {
            if (avi.sound)
                avi.sound->start(std::chrono::steady_clock::now());
        };
        // A recording's first pass reads the whole rectangle and makes its frame from nothing, which at 4K
        // takes longer than an interval and would leave position 1 empty. Done once before the clock
        // starts, it leaves the first pass only what has changed since.
        Frame warmUp = grabPass(nullptr);
        CaptureLoopEnd end = CaptureLoopEnd::NoFrame;
        if (warmUp) {
            kept.giveBack(std::move(warmUp));
            end = RunCaptureLoop(MsPerFrame, clock_, steps, Stats);
        }
        writer.finish();
        if (end != CaptureLoopEnd::NoFrame)
            raise(OnRecordStop);
    }
    // A compressor that could not hand over its last frames, or an index the disk refused, is a failed
    // recording, not a finished one.
    const HRESULT finished = avi.finish();
    return status != AVIERR_OK ? status : finished;
}

int TScreenCam::RecordAVI(const SourceBounds& source, const QString& fileName) {
    auto* worker = qobject_cast<TRecordAVIThread*>(QThread::currentThread());
    FrameWindowHooks* hooks = worker;
    try {
        const QRect bounds = source.get();
        int L = bounds.x(), T = bounds.y(), W = bounds.width(), H = bounds.height();
        AreaWidth = W;
        AreaHeight = H;

        if ((VideoForWindowsVersion() >> 16) < 0x010A) {
            askUser(QStringLiteral("失败: 视频版本太久!"), QStringLiteral("出错"), MsgIcon::Error, MsgButtons::Ok);
            raise(OnRecordError);
            return 0;
        }

        // The screen is asked for before anything is made: on a Wayland desktop the user may refuse, and
        // a refused start leaves no file behind. Given back however the recording ends.
        ScreenSource& screen = ScreenSource::forCurrentThread();
        struct EndOnExit {
            ScreenSource& screen;
            ~EndOnExit() { screen.endRecording(); }
        } endOnExit{screen};
        if (!screen.beginRecording([this] { return Recording.load() && !closing_.load(); })) {
            if (Recording) {
                const QString why = screen.failure();
                askUser(why.isEmpty() ? QStringLiteral("Error capturing a frame!") : why,
                        QStringLiteral("出错"), MsgIcon::Error, MsgButtons::Ok);
            }
            raise(OnScreenLost);
            return 0;
        }

        Frame frame = grabFor(hooks, L, T, W, H);
        if (!frame) {
            if (!screen.failure().isEmpty())
                raise(OnScreenLost);
            return 1;
        }

        // Fit the rectangle to the chosen compressor: try multiples of 2, 4 and 8 until it takes the frame.
        if (CodecIndex >= 0 && CodecIndex < static_cast<int>(CodecList.size())) {
            const ICINFO& entry = CodecList[static_cast<std::size_t>(CodecIndex)];
            HIC hic = ICOpen(entry.fccType, entry.fccHandler, ICMODE_QUERY);
            if (!hic) {
                CodecFourCC = kCodecMSVC;
            } else {
                int f = 1, alignedW = W, alignedH = H;
                while (ICCompressQuery(hic, headerOf(frame), nullptr) != ICERR_OK) {
                    f *= 2;
                    if (f > 8) break;
                    alignedW = alignSide(W, f, ScreenWidth);
                    alignedH = alignSide(H, f, ScreenHeight);
                    FreeFrame(frame);
                    frame = grabFor(hooks, L, T, alignedW, alignedH);
                    if (!frame) return 1;
                }
                if (f > 1 && f <= 8) {
                    W = alignedW;
                    H = alignedH;
                    AreaWidth = W;
                    AreaHeight = H;
                } else if (f > 8) {
                    CodecFourCC = kCodecMSVC;
                    // The format frame has the last size tried; every frame must have the format's size.
                    W = alignedW;
                    H = alignedH;
                }
                ICClose(hic);
            }
        }
        if (CodecFourCC == kCodecIV50) CodecFourCC = kCodecMSVC;

        HRESULT status = AVIERR_OK;
        {
            // The frame window goes before any failure is told: its brackets must not stay round the
            // area while a box waits for the user.
            HideFrameOnExit hideFrame(ShowFrame ? std::function<void()>([this] {
                onUiThread([this] {
                    if (FrameWindow) FrameWindow->hideFrame();
                });
            })
                                                : std::function<void()>());
            if (ShowFrame) {
                onUiThread([this, L, T, W, H] {
                    if (!FrameWindow) return;
                    FrameWindow->SetArea(L, T, W, H);
                    FrameWindow->showFrame();
                });
            }
            status = writeRecording(fileName, frame, source, hooks, QRect(L, T, W, H));
        }
        // The desktop stopped casting mid-recording: the frames so far are in the finished file, and the
        // message has been shown; the program goes back to where a stop leaves it.
        if (!screen.failure().isEmpty())
            raise(OnScreenLost);
        if (status == AVIERR_OK) return 1;

        raise(OnRecordError);
        if (CodecFourCC == kCodecMSVC) {
            askUser(QStringLiteral("创建视频文件时出错"), QStringLiteral("Error"), MsgIcon::Warning, MsgButtons::Ok);
            return 0;
        }
        const MsgAnswer answer = askUser(QStringLiteral("用当前压缩器记录视频文件时出错，要用默认压缩器吗? "),
                                         QStringLiteral("注意"), MsgIcon::Warning, MsgButtons::YesNo);
        if (answer == MsgAnswer::Yes) {
            CodecFourCC = kCodecMSVC;
            return -1;
        }
        return 0;
    } catch (...) {
        return 1;
    }
}

}  // namespace zelq
