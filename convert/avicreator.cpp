#include "convert/avicreator.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include "capture/vfw/avifile.h"
#include "convert/dib.h"
#include "platform/fileops.h"

namespace zelq {

namespace {

constexpr int kColours = 256;

// The file and its stream, released stream first, so that the file on disk is complete however the
// writing ends.
struct CreatorObjects {
    PAVIFILE file;
    PAVISTREAM stream;
    ~CreatorObjects() {
        AVIStreamRelease(stream);
        AVIFileRelease(file);
        AVIFileExit();
    }
};

// The picture as the first one's size, which fixes every frame's length.
QImage fitted(const QImage& picture, const QSize& size) {
    if (picture.size() == size)
        return picture;
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

namespace {

// Writes the pictures into the new file `path`; how many were written, and whether the file was
// finished whole with all of them.
struct Written {
    int frames = 0;
    bool complete = false;
};

Written writePictures(const QString& path, int count, const PictureSource& picture, int rate) {
    const QImage first = picture(0);
    int headerSize = 0;
    const std::int64_t pixelSize = MeasureDib(first, headerSize, kColours);
    if (pixelSize <= 0 || pixelSize > 0x7FFFFFFF)
        return {};
    QByteArray header;
    QByteArray pixels;
    if (!ReadDibBits(first, nullptr, header, kColours, pixels))
        return {};

    CreatorObjects avi;
    AVIFileInit();
    if (AVIFileOpen(avi.file, QFile::encodeName(path).toStdString(), OF_WRITE | OF_CREATE) != AVIERR_OK)
        return {};
    const auto* format = reinterpret_cast<const BitmapInfoHeader*>(header.constData());
    AVISTREAMINFO info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(rate);
    info.dwSuggestedBufferSize = format->biSizeImage;
    info.rcFrame = RECT{0, 0, format->biWidth, format->biHeight};
    if (AVIFileCreateStream(avi.file, avi.stream, info) != AVIERR_OK)
        return {};
    if (AVIStreamSetFormat(avi.stream, 0, format, static_cast<LONG>(header.size())) != AVIERR_OK)
        return {};

    const QSize size = first.size();
    Written written;
    for (int i = 0; i < count; ++i) {
        const QImage next = i == 0 ? first : picture(i);
        if (next.isNull() || !ReadDibBits(fitted(next, size), nullptr, header, kColours, pixels))
            break;
        if (AVIStreamWrite(avi.stream, i, 1, pixels.constData(), static_cast<LONG>(pixelSize),
                           AVIIF_KEYFRAME) != AVIERR_OK)
            break;
        ++written.frames;
    }
    written.complete = AVIFileFinish(avi.file) == AVIERR_OK && written.frames == count;
    return written;
}

}  // namespace

int BuildAviFromPictures(const QString& path, int count, const PictureSource& picture, int rate) {
    if (count <= 0 || rate <= 0)
        return 0;
    const QString temporary = CreateTemporaryBeside(path);
    if (temporary.isEmpty())
        return 0;
    const Written written = writePictures(temporary, count, picture, rate);
    // A build cut short still takes a free name, as the frames written are a closed recording; it never
    // takes the place of an earlier recording.
    const bool takesName = written.frames > 0 && (written.complete || !QFileInfo::exists(path));
    if (!takesName || !PutInPlace(temporary, path)) {
        QFile::remove(temporary);
        return 0;
    }
    return written.frames;
}

}  // namespace zelq
