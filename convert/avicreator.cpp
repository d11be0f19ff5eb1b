#include "convert/avicreator.h"

#include <QByteArray>

#include "capture/vfw/avifile.h"
#include "convert/dib.h"

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

int BuildAviFromPictures(const QString& path, int count, const PictureSource& picture, int rate) {
    if (count <= 0 || rate <= 0)
        return 0;
    const QImage first = picture(0);
    int headerSize = 0;
    const std::int64_t pixelSize = MeasureDib(first, headerSize, kColours);
    if (pixelSize <= 0 || pixelSize > 0x7FFFFFFF)
        return 0;
    QByteArray header;
    QByteArray pixels;
    if (!ReadDibBits(first, nullptr, header, kColours, pixels))
        return 0;

    CreatorObjects avi;
    AVIFileInit();
    if (AVIFileOpen(avi.file, path.toStdString(), OF_WRITE | OF_CREATE) != AVIERR_OK)
        return 0;
    const auto* format = reinterpret_cast<const BitmapInfoHeader*>(header.constData());
    AVISTREAMINFO info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(rate);
    info.dwSuggestedBufferSize = format->biSizeImage;
    info.rcFrame = RECT{0, 0, format->biWidth, format->biHeight};
    if (AVIFileCreateStream(avi.file, avi.stream, info) != AVIERR_OK)
        return 0;
    if (AVIStreamSetFormat(avi.stream, 0, format, static_cast<LONG>(header.size())) != AVIERR_OK)
        return 0;

    const QSize size = first.size();
    int written = 0;
    for (int i = 0; i < count; ++i) {
        const QImage next = i == 0 ? first : picture(i);
        if (next.isNull() || !ReadDibBits(fitted(next, size), nullptr, header, kColours, pixels))
            break;
        if (AVIStreamWrite(avi.stream, i, 1, pixels.constData(), static_cast<LONG>(pixelSize),
                           AVIIF_KEYFRAME) != AVIERR_OK)
            break;
        ++written;
    }
    return written;
}

}  // namespace zelq
