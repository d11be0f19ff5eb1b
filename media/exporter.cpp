#include "media/exporter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include "media/exportnames.h"
#include "media/exportrecipe.h"
#include "media/exportwriter.h"
#include "media/filtergraph.h"
#include "media/mediasource.h"
#include "media/soundreader.h"
#include "platform/fileops.h"

namespace zelq {

Q_LOGGING_CATEGORY(lcExport, "zelq.export")

namespace {

// Anything not yet put in place is removed, on every way out.
class PartialFile {
public:
    explicit PartialFile(QString path) : path_(std::move(path)) {}
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() {
        if (!path_.isEmpty())
            QFile::remove(path_);
    }
    const QString& path() const { return path_; }
    void keep() { path_.clear(); }

private:
    QString path_;
};

constexpr int kCancelled = FFERRTAG('Z', 'C', 'N', 'L');

QString seconds(double s) {
    return QString::number(s, 'f', 1);
}

ExportOutcome failed(const QString& message) {
    return {ExportOutcome::Kind::Failed, {}, message, 0};
}

// One export from start to end; its members are the state the passes share.
class Export {
public:
    Export(const ExportRequest& request, const std::atomic<bool>& cancel,
           const std::function<void(double)>& progress)
        : request_(request), cancel_(cancel), progress_(progress) {}
    ExportOutcome run();

private:
    void makeRecipe(const AVFrame& first);
    int setUpOutput(const AVFrame& first);
    int videoPass(bool paletteOnly);
    int drainVideo(bool paletteOnly);
    int pumpSound(double untilSeconds);
    int drainSound();
    void tell(double done);
    bool cutShort() const {
        return source_->faults() > 0 || lastPosition_ + source_->frameTicks() < source_->promised();
    }
    QString failureText(int error) const;

    const ExportRequest& request_;
    const std::atomic<bool>& cancel_;
    const std::function<void(double)>& progress_;

    std::unique_ptr<MediaSource> source_;
    std::unique_ptr<SoundReader> sound_;
    ExportRecipe recipe_;
    FilterGraph::Source pictures_;  // the decoded pictures, as the graphs take them
    ExportWriter writer_;
    FilterGraph video_, audio_;
    bool outputReady_ = false;
    int videoStream_ = -1, audioStream_ = -1;
    AvFramePtr palette_, out_;
    std::int64_t lastPosition_ = -1;
    std::int64_t soundNext_ = 0;  // in samples of the recording's sound
    bool soundOpen_ = false;
    // The share of the whole a pass stands for (the GIF reads the recording twice).
    double passStart_ = 0, passShare_ = 1;
    int lastPermille_ = -1;
};

QString Export::failureText(int error) const {
    if (error == AVERROR(ENOSPC) || error == AVERROR(EDQUOT))
        return QStringLiteral("磁盘空间不足，导出已停止，没写完的文件已删除。");
    if (error == AVERROR_ENCODER_NOT_FOUND)
        return QStringLiteral("这台电脑的 FFmpeg 缺少导出 %1 所需的编码器。")
            .arg(exportFormatName(request_.format));
    if (error == AVERROR(EACCES) || error == AVERROR(EPERM) || error == AVERROR(EROFS))
        return QStringLiteral("无法写入导出的文件：没有写入这个文件夹的权限。");
    return QStringLiteral("导出失败：%1").arg(QString::fromStdString(avErrorText(error)));
}

void Export::tell(double done) {
    const int permille =
        static_cast<int>(std::lround(1000 * (passStart_ + passShare_ * std::clamp(done, 0.0, 1.0))));
    if (permille != lastPermille_ && progress_) {
        lastPermille_ = permille;
        progress_(permille / 1000.0);
    }
}

void Export::makeRecipe(const AVFrame& first) {
    const AVRational tick =
        av_mul_q(source_->timeBase(), AVRational{static_cast<int>(source_->frameTicks()), 1});
    recipe_ = exportRecipe(request_.format, source_->width(), source_->height(), first.width, first.height,
                           av_inv_q(tick));
    pictures_ = FilterGraph::Source{"in", source_->timeBase()};
    pictures_.width = first.width;
    pictures_.height = first.height;
    pictures_.pixelFormat = static_cast<AVPixelFormat>(first.format);
}

int Export::setUpOutput(const AVFrame& first) {
    makeRecipe(first);
    int ret = 0;
    if (recipe_.pixelFormat == AV_PIX_FMT_PAL8) {
        // The pictures are made with the palette, which comes in as one frame through "pal" and stands for
        // every picture after it.
        FilterGraph::Source pal{"pal", source_->timeBase()};
        pal.width = palette_->width;
        pal.height = palette_->height;
        pal.pixelFormat = static_cast<AVPixelFormat>(palette_->format);
        palette_->pts = 0;
        if ((ret = video_.build({pictures_, pal}, recipe_.videoFilters, false)) < 0 ||
            (ret = video_.push(1, palette_.get())) < 0 || (ret = video_.close(1, 1)) < 0)
            return ret;
    } else if ((ret = video_.build({pictures_}, recipe_.videoFilters, false)) < 0) {
        return ret;
    }
    videoStream_ = writer_.addVideo(recipe_.video, video_.outputWidth(), video_.outputHeight(),
                                    recipe_.pixelFormat, recipe_.frameRate, recipe_.bt709);
    if (videoStream_ < 0)
        return videoStream_;
    if (sound_ && recipe_.audio.name) {
        audioStream_ = writer_.addAudio(recipe_.audio, recipe_.sampleFormat, 48000);
        if (audioStream_ < 0)
            return audioStream_;
        const AVCodecContext& dec = sound_->decoder();
        FilterGraph::Source s{"in", AVRational{1, dec.sample_rate}};
        s.sampleRate = dec.sample_rate;
        s.sampleFormat = dec.sample_fmt;
        s.channelLayout = dec.ch_layout;
        ret = audio_.build({s}, recipe_.audioFilters, true, writer_.audioFrameSize(audioStream_));
        if (ret < 0)
            return ret;
        soundOpen_ = true;
    }
    outputReady_ = true;
    return writer_.begin(recipe_.muxerOptions);
}

int Export::drainVideo(bool paletteOnly) {
    for (;;) {
        int ret = video_.pull(out_.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return 0;
        if (ret < 0)
            return ret;
        if (paletteOnly) {
            palette_.reset(av_frame_clone(out_.get()));
            av_frame_unref(out_.get());
            if (!palette_)
                return AVERROR(ENOMEM);
            continue;
        }
        out_->pts = av_rescale_q(out_->pts, video_.outputTimeBase(), writer_.encoderTimeBase(videoStream_));
        out_->pict_type = AV_PICTURE_TYPE_NONE;
        ret = writer_.encode(videoStream_, out_.get());
        av_frame_unref(out_.get());
        if (ret < 0)
            return ret;
    }
}

int Export::drainSound() {
    for (;;) {
        int ret = audio_.pull(out_.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return 0;
        if (ret < 0)
            return ret;
        out_->pts = av_rescale_q(out_->pts, audio_.outputTimeBase(), writer_.encoderTimeBase(audioStream_));
        ret = writer_.encode(audioStream_, out_.get());
        av_frame_unref(out_.get());
        if (ret < 0)
            return ret;
    }
}

// Keeps the sound up with the pictures, so that the muxer interleaves them without holding much of either.
int Export::pumpSound(double untilSeconds) {
    const int rate = soundOpen_ ? sound_->decoder().sample_rate : 1;
    while (soundOpen_ && static_cast<double>(soundNext_) / rate < untilSeconds) {
        double at = 0;
        AvFramePtr frame = sound_->decodeNextFrame(at);
        int ret = 0;
        if (!frame) {
            soundOpen_ = false;
            if ((ret = audio_.close(0, soundNext_)) < 0)
                return ret;
        } else {
            frame->pts = at >= 0 ? std::llround(at * rate) : soundNext_;
            soundNext_ = frame->pts + frame->nb_samples;
            if ((ret = audio_.push(0, frame.get())) < 0)
                return ret;
        }
        if ((ret = drainSound()) < 0)
            return ret;
    }
    return 0;
}

int Export::videoPass(bool paletteOnly) {
    const std::int64_t length =
        source_->promised();  // what the header promises: a cut file shows how far it got
    std::int64_t position = 0;
    lastPosition_ = -1;
    while (AvFramePtr frame = source_->decodeNext(position)) {
        if (cancel_.load(std::memory_order_relaxed))
            return kCancelled;
        int ret = 0;
        if (paletteOnly && lastPosition_ < 0) {
            // The palette pass has a graph of its own: the pictures as they will be shown, into palettegen.
            makeRecipe(*frame);
            if ((ret = video_.build({pictures_}, recipe_.paletteFilters, false)) < 0)
                return ret;
        } else if (!paletteOnly && !outputReady_ && (ret = setUpOutput(*frame)) < 0) {
            return ret;
        }
        lastPosition_ = position;
        frame->pts = position;
        if ((ret = video_.push(0, frame.get())) < 0 || (ret = drainVideo(paletteOnly)) < 0)
            return ret;
        if (!paletteOnly &&
            (ret = pumpSound(av_q2d(source_->timeBase()) * (position + source_->frameTicks()))) < 0)
            return ret;
        if (length > 0)
            tell(static_cast<double>(position) / length);
    }
    if (lastPosition_ < 0)
        return AVERROR_INVALIDDATA;  // not one picture decodes
    // The last picture lasts to the recording's end, empty positions included; a recording cut short
    // (its header promises more than it holds) ends with what it holds.
    const std::int64_t end = cutShort() ? lastPosition_ + source_->frameTicks()
                                        : std::max(length, lastPosition_ + source_->frameTicks());
    int ret = video_.close(0, end);
    if (ret >= 0)
        ret = drainVideo(paletteOnly);
    return ret;
}

ExportOutcome Export::run() {
    const QString& path = request_.recording;
    const QFileInfo info(path);
    if (!info.exists())
        return failed(QStringLiteral("找不到录像文件：%1").arg(path));
    if (!info.isReadable())
        return failed(QStringLiteral("无法读取录像文件：%1").arg(path));
    // A recording being written holds this lock: its end is not on disk yet.
    const std::optional<FileLock> lock = FileLock::tryLockFor(path, std::chrono::milliseconds(1000));
    if (!lock)
        return failed(QStringLiteral("这个录像正在录制中，请停止录像后再导出。"));
    if (MediaSource::open(QFile::encodeName(path).toStdString(), source_) != MediaOpen::Ok)
        return failed(QStringLiteral("无法导出“%1”：它不是能读出画面的 AVI 录像。").arg(info.fileName()));
    if (request_.format != ExportFormat::Gif)
        sound_ = SoundReader::open(QFile::encodeName(path).toStdString());
    out_.reset(av_frame_alloc());
    if (!out_)
        return failed(failureText(AVERROR(ENOMEM)));

    QString target = request_.target.isEmpty() ? exportTargetPath(path, request_.format) : request_.target;
    if (!request_.target.isEmpty() && QFileInfo(target).exists())
        return failed(QStringLiteral("“%1”已经存在，导出不会替换它。").arg(target));
    const QString folder = QFileInfo(target).absolutePath();
    PartialFile partial(CreateTemporaryBeside(target));
    if (partial.path().isEmpty())
        return failed(
            QStringLiteral("无法在文件夹“%1”中写入：%2")
                .arg(QDir::toNativeSeparators(folder), QString::fromLocal8Bit(std::strerror(errno))));

    int ret = writer_.open(exportMuxerName(request_.format), QFile::encodeName(partial.path()).toStdString());
    if (ret >= 0 && request_.format == ExportFormat::Gif) {
        passShare_ = 0.5;
        ret = videoPass(true);
        if (ret >= 0 && !palette_)
            ret = AVERROR_INVALIDDATA;
        if (ret >= 0 && !source_->rewind())
            ret = AVERROR(EIO);
        passStart_ = 0.5;
    }
    if (ret >= 0)
        ret = videoPass(false);
    if (ret >= 0)
        ret = pumpSound(INFINITY);
    if (ret >= 0)
        ret = writer_.encode(videoStream_, nullptr);
    if (ret >= 0 && audioStream_ >= 0)
        ret = writer_.encode(audioStream_, nullptr);
    if (ret >= 0)
        ret = writer_.finish();
    if (ret == kCancelled)
        return {ExportOutcome::Kind::Cancelled, {}, QStringLiteral("导出已取消。"), 0};
    if (ret == AVERROR_INVALIDDATA && lastPosition_ < 0)
        return failed(QStringLiteral("无法导出“%1”：录像里没有一个能解码的画面。").arg(info.fileName()));
    if (ret < 0) {
        qCWarning(lcExport, "%s: %s %s", qPrintable(path), writer_.error().c_str(), video_.error().c_str());
        return failed(failureText(ret));
    }

    // Never over a file that appeared meanwhile: the next free name instead.
    bool placed = MoveFileNoReplace(partial.path(), target);
    for (int attempt = 0; !placed && errno == EEXIST && request_.target.isEmpty() && attempt < 100;
         ++attempt) {
        target = exportTargetPath(path, request_.format);
        placed = MoveFileNoReplace(partial.path(), target);
    }
    if (!placed)
        return failed(QStringLiteral("无法把导出的文件命名为“%1”：%2")
                          .arg(target, QString::fromLocal8Bit(std::strerror(errno))));
    partial.keep();
    passStart_ = 0;
    passShare_ = 1;
    tell(1);  // the last picture's position is one frame short of the end

    ExportOutcome done{ExportOutcome::Kind::Done, target, {}, 1};
    const std::int64_t promised = source_->promised();
    if (cutShort() && promised > 0) {
        const double total = av_q2d(source_->timeBase()) * promised;
        const double kept =
            av_q2d(source_->timeBase()) * std::min(promised, lastPosition_ + source_->frameTicks());
        done.exported = kept / total;
        done.message = QStringLiteral("录像有损坏的部分：已导出能读出的 %1 秒（录像共 %2 秒）。")
                           .arg(seconds(kept), seconds(total));
    }
    return done;
}

}  // namespace

ExportOutcome exportRecording(const ExportRequest& request, const std::atomic<bool>& cancel,
                              const std::function<void(double)>& progress) {
    return Export(request, cancel, progress).run();
}

}  // namespace zelq
