#include "app/picturesplitter.h"

#include "convert/bmpfile.h"

namespace zelq {

namespace {

// Frames decoded ahead of the writer: enough to keep both threads busy, few enough that memory does not
// grow with the recording (a 1080p picture is 6 MB).
constexpr std::size_t kDecodedAhead = 2;
// Pictures written ahead of the list: a cancel takes effect within these, and a window thread that a
// busy machine runs late does not hold the writer up at once.
constexpr int kWrittenAhead = 8;

}  // namespace

QString pictureFileName(int ordinal) {
    return QStringLiteral("Frame%1.BMP").arg(ordinal, 2, 10, QLatin1Char('0'));
}

PictureSplitter::PictureSplitter(const PGETFRAME& frames, LONG length, QString folder)
    : frames_(frames), length_(length), folder_(std::move(folder)) {}

PictureSplitter::~PictureSplitter() {
    cancel();
}

void PictureSplitter::start() {
    decoder_ = std::jthread([this] { decode(); });
    writer_ = std::jthread([this] { write(); });
}

void PictureSplitter::cancel() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
}

void PictureSplitter::wantPreview() {
    previewWanted_ = true;
}

void PictureSplitter::listed() {
    {
        const std::lock_guard lock(mutex_);
        ++listed_;
    }
    changed_.notify_all();
}

bool PictureSplitter::takeBuffer(std::vector<std::uint8_t>& buffer) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || decoded_.size() < kDecodedAhead; });
    if (stop_)
        return false;
    if (!spare_.empty()) {
        buffer = std::move(spare_.back());
        spare_.pop_back();
    }
    return true;
}

void PictureSplitter::endDecoding(const QString& stopped) {
    {
        const std::lock_guard lock(mutex_);
        decoderDone_ = true;
        decoderStopped_ = stopped;
    }
    changed_.notify_all();
}

void PictureSplitter::decode() {
    for (LONG p = 0;; ++p) {
        Picture picture;
        if (!takeBuffer(picture.file))
            return;
        const BitmapInfoHeader* frame = AVIStreamGetFrame(frames_, p);
        if (!frame) {
            endDecoding(p < length_ ? QStringLiteral("第%1帧无法读取").arg(p + 1) : QString());
            return;
        }
        const int width = frame->biWidth;
        const int height = PackedDibHeight(frame);
        // A buffer of the same size is reused as it is: resizing it writes nothing.
        picture.file.resize(Bmp24FileBytes(width, height));
        if (picture.file.empty() ||
            !DrawDibToBmpRows(frame, PackedDibBits(frame), picture.file.data() + kBmpHeaderBytes)) {
            endDecoding(QStringLiteral("第%1帧无法读取").arg(p + 1));
            return;
        }
        WriteBmp24Header(picture.file.data(), width, height);
        if (previewWanted_.exchange(false)) {
            // The file's rows run bottom-up; the live view wants them upright.
            picture.preview = QImage(picture.file.data() + kBmpHeaderBytes, width, height,
                                     static_cast<qsizetype>(dibRowBytes(width, 24)), QImage::Format_BGR888)
                                  .mirrored();
        }
        {
            const std::lock_guard lock(mutex_);
            decoded_.push_back(std::move(picture));
        }
        changed_.notify_all();
    }
}

void PictureSplitter::write() {
    int written = 0;
    QString stopped;
    for (;;) {
        Picture picture;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return stop_ || (decoded_.empty() && decoderDone_) ||
                       (!decoded_.empty() && written - listed_ < kWrittenAhead);
            });
            if (stop_)
                break;
            if (decoded_.empty()) {
                stopped = decoderStopped_;
                break;
            }
            picture = std::move(decoded_.front());
            decoded_.pop_front();
        }
        changed_.notify_all();  // room for the decoder
        const QString name = pictureFileName(written + 1);
        const QString file = folder_ + name;
        // A full disk keeps the pictures already written; a picture of the user's own that has the name
        // goes to the trash, never to nothing.
        const PictureSaved saved = SaveFileInPlace(picture.file, file);
        if (saved != PictureSaved::Saved) {
            stopped = saved == PictureSaved::NoRoom ? QStringLiteral("磁盘空间不足")
                      : saved == PictureSaved::NotReplaced
                          ? QStringLiteral("原有的%1无法移到回收站").arg(name)
                          : QStringLiteral("无法写入%1").arg(name);
            break;
        }
        ++written;
        QMetaObject::invokeMethod(
            this,
            [this, written, name, file, preview = std::move(picture.preview)] {
                emit pictureWritten(written, name, file, preview);
            },
            Qt::QueuedConnection);
        const std::lock_guard lock(mutex_);
        spare_.push_back(std::move(picture.file));
    }
    cancel();  // the decoder has nothing more to decode for
    QMetaObject::invokeMethod(
        this, [this, stopped, written] { emit finished(stopped, written); }, Qt::QueuedConnection);
}

}  // namespace zelq
