#include "convert/bmpfile.h"

#include <sys/statvfs.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/dibtypes.h"
#include "platform/fileops.h"

namespace zelq {

namespace {

#pragma pack(push, 1)
struct BmpFileHeader {
    char type[2] = {'B', 'M'};
    std::uint32_t fileSize = 0;
    std::uint16_t reserved1 = 0;
    std::uint16_t reserved2 = 0;
    std::uint32_t pixelOffset = 0;
};
#pragma pack(pop)
static_assert(sizeof(BmpFileHeader) == 14);

bool writeAll(QFile& file, const void* data, qint64 size) {
    return file.write(static_cast<const char*>(data), size) == size;
}

// The bytes a BMP's header says its file holds: the pixels' offset and their size. Nothing for a header
// that cannot be read.
std::optional<std::uint64_t> claimedBmpBytes(QFile& file) {
    BmpFileHeader head;
    if (file.read(reinterpret_cast<char*>(&head), sizeof head) != sizeof head || head.type[0] != 'B' ||
        head.type[1] != 'M')
        return std::nullopt;
    std::uint32_t infoSize = 0;
    if (file.read(reinterpret_cast<char*>(&infoSize), 4) != 4)
        return std::nullopt;
    std::int64_t width = 0, height = 0;
    std::uint16_t bits = 0;
    std::uint32_t compression = 0, imageSize = 0;
    if (infoSize == 12) {  // the old OS/2 header: 16-bit sides
        std::uint16_t core[4];
        if (file.read(reinterpret_cast<char*>(core), sizeof core) != sizeof core)
            return std::nullopt;
        width = core[0];
        height = core[1];
        bits = core[3];
    } else {
        BitmapInfoHeader info;
        if (infoSize < sizeof info || !file.seek(sizeof head) ||
            file.read(reinterpret_cast<char*>(&info), sizeof info) != sizeof info)
            return std::nullopt;
        width = info.biWidth;
        height = info.biHeight;
        bits = info.biBitCount;
        compression = info.biCompression;
        imageSize = info.biSizeImage;
    }
    // Run-length pictures say their size; uncompressed ones (and bit fields) are whole rows.
    constexpr std::uint32_t kBiRgb = 0, kBiBitfields = 3;
    const std::uint64_t pixels = compression == kBiRgb || compression == kBiBitfields
                                     ? dibRowBytes(std::max<std::int64_t>(width, 0), bits) *
                                           static_cast<std::uint64_t>(height < 0 ? -height : height)
                                     : imageSize;
    return std::uint64_t{head.pixelOffset} + pixels;
}

}  // namespace

QImage LoadWholeBmp(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<std::uint64_t> claimed = claimedBmpBytes(file);
    if (!claimed || *claimed > static_cast<std::uint64_t>(file.size()))
        return {};
    file.close();
    return QImage(path, "BMP");
}

bool SaveBmp24(const QImage& picture, const QString& path) {
    if (picture.isNull())
        return false;
    // Format_BGR888 rows are already a 24-bit DIB's rows: blue, green, red, padded to 4 bytes.
    const QImage rows =
        picture.format() == QImage::Format_BGR888 ? picture : picture.convertToFormat(QImage::Format_BGR888);
    const std::size_t rowBytes = dibRowBytes(rows.width(), 24);
    const std::uint64_t imageSize = rowBytes * static_cast<std::uint64_t>(rows.height());
    if (imageSize > 0xFFFFFFFFu - 54)
        return false;

    BitmapInfoHeader info;
    info.biWidth = rows.width();
    info.biHeight = rows.height();
    info.biBitCount = 24;
    info.biSizeImage = static_cast<std::uint32_t>(imageSize);
    BmpFileHeader file;
    file.pixelOffset = sizeof(BmpFileHeader) + sizeof(BitmapInfoHeader);
    file.fileSize = file.pixelOffset + info.biSizeImage;

    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    bool ok = writeAll(out, &file, sizeof file) && writeAll(out, &info, sizeof info);
    for (int y = rows.height() - 1; ok && y >= 0; --y)
        ok = writeAll(out, rows.constScanLine(y), static_cast<qint64>(rowBytes));
    ok = ok && out.flush();
    out.close();
    if (!ok || out.error() != QFileDevice::NoError) {
        out.remove();
        return false;
    }
    return true;
}

PictureSaved SaveBmp24InPlace(const QImage& picture, const QString& path) {
    // Room for the file and a little more, so that a split never fills the disk to its last byte.
    constexpr qint64 kMargin = 1 << 20;
    const qint64 fileBytes =
        54 + static_cast<qint64>(dibRowBytes(picture.width(), 24)) * static_cast<qint64>(picture.height());
    // statvfs rather than QStorageInfo, which reads the whole mount table each time: this runs per picture.
    struct statvfs disk {};
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &disk) == 0 &&
        static_cast<qint64>(disk.f_bavail) * static_cast<qint64>(disk.f_frsize) < fileBytes + kMargin)
        return PictureSaved::NoRoom;
    const QString temporary = CreateTemporaryBeside(path);
    if (temporary.isEmpty() || !SaveBmp24(picture, temporary)) {
        QFile::remove(temporary);
        return PictureSaved::NotWritten;
    }
    if (!PutInPlace(temporary, path)) {
        QFile::remove(temporary);
        return QFileInfo::exists(path) ? PictureSaved::NotReplaced : PictureSaved::NotWritten;
    }
    return PictureSaved::Saved;
}

}  // namespace zelq
