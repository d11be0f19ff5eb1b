#include "pipewirestream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>
#include <unistd.h>

#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace zelq {

namespace {

// Most damage rectangles asked for with each picture; more are merged by the desktop into fewer.
constexpr int kDamageRegions = 16;

const QString kGone = QStringLiteral("屏幕画面流（PipeWire）中断了（桌面或 PipeWire 已退出），录像已结束。");

}  // namespace

struct PipeWireStream::Impl {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    bool streaming = false;  // PipeWire's thread only

    mutable std::mutex mutex;  // guards what follows
    QImage picture;
    QRegion redrawn;
    QSize agreed;
    QString error;
    long long frames = 0;

    void fail(const QString& why) {
        std::lock_guard lock(mutex);
        if (error.isEmpty())
            error = why;
    }
    bool failed() const {
        std::lock_guard lock(mutex);
        return !error.isEmpty();
    }
    void formatChanged(const spa_pod* param);
    void process();
    void copyPicture(const spa_buffer* buffer);
};

namespace {

void onCoreError(void* data, uint32_t id, int, int res, const char* message) {
    auto* d = static_cast<PipeWireStream::Impl*>(data);
    // Only the connection itself failing ends the stream; errors of other objects are theirs.
    if (id == PW_ID_CORE)
        d->fail(res == -EPIPE ? kGone
                              : QStringLiteral("屏幕画面流（PipeWire）出错：%1，录像已结束。")
                                    .arg(QString::fromUtf8(message)));
}

void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto* d = static_cast<PipeWireStream::Impl*>(data);
    if (state == PW_STREAM_STATE_ERROR)
        d->fail(QStringLiteral("屏幕画面流（PipeWire）出错：%1，录像已结束。")
                    .arg(QString::fromUtf8(error ? error : "")));
    else if (state == PW_STREAM_STATE_UNCONNECTED && d->streaming)
        d->fail(kGone);
    if (state == PW_STREAM_STATE_STREAMING)
        d->streaming = true;
}

void onParamChanged(void* data, uint32_t id, const spa_pod* param) {
    if (param && id == SPA_PARAM_Format)
        static_cast<PipeWireStream::Impl*>(data)->formatChanged(param);
}

void onProcess(void* data) {
    static_cast<PipeWireStream::Impl*>(data)->process();
}

const pw_core_events kCoreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = onCoreError;
    return events;
}();

const pw_stream_events kStreamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onStateChanged;
    events.param_changed = onParamChanged;
    events.process = onProcess;
    return events;
}();

// The formats we take: BGRx or BGRA of any size, at whatever rate the desktop sends.
const spa_pod* formatParam(spa_pod_builder& b) {
    spa_rectangle sizeDefault{1920, 1080}, sizeMin{1, 1}, sizeMax{16384, 16384};
    spa_fraction rateDefault{0, 1}, rateMin{0, 1}, rateMax{1000, 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&sizeDefault, &sizeMin, &sizeMax),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rateDefault, &rateMin, &rateMax)));
}

}  // namespace

void PipeWireStream::Impl::formatChanged(const spa_pod* param) {
    uint32_t mediaType = 0, mediaSubtype = 0;
    spa_video_info_raw info{};
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0 ||
        (info.format != SPA_VIDEO_FORMAT_BGRx && info.format != SPA_VIDEO_FORMAT_BGRA)) {
        fail(QStringLiteral("屏幕画面流的像素格式不是所要求的，录像已结束。"));
        return;
    }
    const QSize size(static_cast<int>(info.size.width), static_cast<int>(info.size.height));
    {
        std::lock_guard lock(mutex);
        // A monitor that changed size or went away: the rectangle being recorded means nothing any more.
        if (agreed.isValid() && agreed != size) {
            if (error.isEmpty())
                error = QStringLiteral("显示器的大小变了（或显示器已拔下），录像已结束。");
            return;
        }
        agreed = size;
    }
    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* params[2];
    // Shared memory only: a DMA-BUF would need a GPU to read back.
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(sizeof(spa_meta_region) * kDamageRegions, sizeof(spa_meta_region),
                                 sizeof(spa_meta_region) * kDamageRegions)));
    pw_stream_update_params(stream, params, 2);
}

void PipeWireStream::Impl::process() {
    // Only the newest picture matters: older ones still queued go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* b = pw_stream_dequeue_buffer(stream)) {
        if (newest)
            pw_stream_queue_buffer(stream, newest);
        newest = b;
    }
    if (!newest)
        return;
    copyPicture(newest->buffer);
    pw_stream_queue_buffer(stream, newest);
}

void PipeWireStream::Impl::copyPicture(const spa_buffer* buffer) {
    if (buffer->n_datas < 1)
        return;
    const spa_data& data = buffer->datas[0];
    if (!data.data || !data.chunk || data.chunk->size == 0 || (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED))
        return;
    std::lock_guard lock(mutex);
    if (!agreed.isValid())
        return;
    const int width = agreed.width(), height = agreed.height();
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    const std::size_t stride =
        data.chunk->stride > 0 ? static_cast<std::size_t>(data.chunk->stride) : rowBytes;
    if (data.chunk->offset + stride * static_cast<std::size_t>(height - 1) + rowBytes > data.maxsize)
        return;
    const auto* src = static_cast<const std::uint8_t*>(data.data) + data.chunk->offset;
    const QRect whole(0, 0, width, height);
    QRegion parts;
    bool complete = picture.size() != agreed;
    if (complete)
        picture = QImage(width, height, QImage::Format_RGB32);
    if (picture.isNull())
        return;
    if (!complete) {
        // Without damage metadata every picture is taken as redrawn all over.
        const spa_meta* damage = spa_buffer_find_meta(buffer, SPA_META_VideoDamage);
        if (!damage) {
            complete = true;
        } else {
            spa_meta_region* r = nullptr;
            spa_meta_for_each(r, damage) {
                if (!spa_meta_region_is_valid(r))
                    break;
                parts +=
                    QRect(r->region.position.x, r->region.position.y, static_cast<int>(r->region.size.width),
                          static_cast<int>(r->region.size.height));
            }
        }
    }
    if (complete)
        parts = whole;
    parts &= whole;
    for (const QRect& part : parts) {
        const std::size_t bytes = static_cast<std::size_t>(part.width()) * 4;
        for (int y = part.top(); y <= part.bottom(); ++y)
            std::memcpy(
                picture.scanLine(y) + part.left() * 4,
                src + stride * static_cast<std::size_t>(y) + static_cast<std::size_t>(part.left()) * 4,
                bytes);
    }
    redrawn += parts;
    ++frames;
}

PipeWireStream::PipeWireStream() : d_(std::make_unique<Impl>()) {
    pw_init(nullptr, nullptr);
}

PipeWireStream::~PipeWireStream() {
    if (d_->loop) {
        pw_thread_loop_lock(d_->loop);
        if (d_->stream) {
            spa_hook_remove(&d_->streamListener);
            pw_stream_disconnect(d_->stream);
            pw_stream_destroy(d_->stream);
        }
        if (d_->core) {
            spa_hook_remove(&d_->coreListener);
            pw_core_disconnect(d_->core);
        }
        pw_thread_loop_unlock(d_->loop);
        pw_thread_loop_stop(d_->loop);
    }
    if (d_->context)
        pw_context_destroy(d_->context);
    if (d_->loop)
        pw_thread_loop_destroy(d_->loop);
}

bool PipeWireStream::start(int fd, unsigned node, const std::function<bool()>& keepWaiting) {
    d_->loop = pw_thread_loop_new("zelq-screencast", nullptr);
    d_->context = d_->loop ? pw_context_new(pw_thread_loop_get_loop(d_->loop), nullptr, 0) : nullptr;
    if (!d_->context || pw_thread_loop_start(d_->loop) < 0) {
        ::close(fd);
        d_->fail(QStringLiteral("无法启动屏幕画面流（PipeWire），录像没有开始。"));
        return false;
    }
    pw_thread_loop_lock(d_->loop);
    d_->core = pw_context_connect_fd(d_->context, fd, nullptr, 0);  // takes the fd, even when it fails
    if (d_->core) {
        pw_core_add_listener(d_->core, &d_->coreListener, &kCoreEvents, d_.get());
        d_->stream = pw_stream_new(d_->core, "zelq-screenrec",
                                   pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                     "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    }
    int connected = -1;
    if (d_->stream) {
        pw_stream_add_listener(d_->stream, &d_->streamListener, &kStreamEvents, d_.get());
        std::uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        const spa_pod* params[] = {formatParam(b)};
        connected = pw_stream_connect(
            d_->stream, PW_DIRECTION_INPUT, node,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
    }
    pw_thread_loop_unlock(d_->loop);
    if (connected < 0) {
        d_->fail(QStringLiteral("无法连接屏幕画面流（PipeWire），录像没有开始。"));
        return false;
    }
    // The desktop sends its first picture as soon as the stream runs; a recording needs it for its first
    // position. Polled: PipeWire's thread cannot wake this one through Qt.
    for (int waited = 0; keepWaiting(); waited += 10) {
        if (d_->failed())
            return false;
        {
            std::lock_guard lock(d_->mutex);
            if (d_->frames > 0)
                return true;
        }
        if (waited > 10000) {
            d_->fail(QStringLiteral("屏幕画面流（PipeWire）没有送来画面，录像没有开始。"));
            return false;
        }
        QThread::msleep(10);
    }
    d_->fail(QStringLiteral("录像在桌面开始共享屏幕之前就停止了。"));
    return false;
}

bool PipeWireStream::take(const Use& use) {
    std::lock_guard lock(d_->mutex);
    if (!d_->error.isEmpty() || d_->picture.isNull())
        return false;
    use(d_->picture, d_->redrawn);
    d_->redrawn = QRegion();
    return true;
}

QString PipeWireStream::error() const {
    std::lock_guard lock(d_->mutex);
    return d_->error;
}

long long PipeWireStream::framesReceived() const {
    std::lock_guard lock(d_->mutex);
    return d_->frames;
}

}  // namespace zelq
