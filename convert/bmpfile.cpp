#include "convert/bmpfile.h"

#include <sys/statvfs.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

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

std::size_t Bmp24FileBytes(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0;
    const std::uint64_t imageSize = dibRowBytes(width, 24) * static_cast<std::uint64_t>(height);
    return imageSize > 0xFFFFFFFFu - kBmpHeaderBytes ? 0
                                                     : static_cast<std::size_t>(kBmpHeaderBytes + imageSize);
}

void WriteBmp24Header(std::uint8_t* file, int width, int height) {
    BitmapInfoHeader info;
    info.biWidth = width;
    info.biHeight = height;  // positive: the rows run bottom-up
    info.biBitCount = 24;
    info.biSizeImage = static_cast<std::uint32_t>(Bmp24FileBytes(width, height) - kBmpHeaderBytes);
    BmpFileHeader head;
    head.pixelOffset = sizeof(BmpFileHeader) + sizeof(BitmapInfoHeader);
    head.fileSize = head.pixelOffset + info.biSizeImage;
    static_assert(sizeof head + sizeof info == kBmpHeaderBytes);
    std::memcpy(file, &head, sizeof head);
    std::memcpy(file + sizeof head, &info, sizeof info);
}

namespace {

// The whole file: written with one call, not a row at a time.
std::vector<std::uint8_t> bmp24Bytes(const QImage& picture) {
    if (picture.isNull())
        return {};
    const std::size_t size = Bmp24FileBytes(picture.width(), picture.height());
    if (size == 0)
        return {};
    // Format_BGR888 rows are already a 24-bit DIB's rows: blue, green, red, padded to 4 bytes.
    const QImage rows =
        picture.format() == QImage::Format_BGR888 ? picture : picture.convertToFormat(QImage::Format_BGR888);
    std::vector<std::uint8_t> file(size);
    WriteBmp24Header(file.data(), rows.width(), rows.height());
    const std::size_t rowBytes = dibRowBytes(rows.width(), 24);
    const std::size_t pixelBytes = static_cast<std::size_t>(rows.width()) * 3;
    for (int y = 0; y < rows.height(); ++y) {
        std::uint8_t* row =
            file.data() + kBmpHeaderBytes + rowBytes * static_cast<std::size_t>(rows.height() - 1 - y);
        std::memcpy(row, rows.constScanLine(y), pixelBytes);  // the padding stays zero
    }
    return file;
}

bool writeFile(std::span<const std::uint8_t> bytes, const QString& path) {
    // Unbuffered: the bytes go to the file in one write, with no copy through a buffer of Qt's.
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    const bool ok = out.write(reinterpret_cast<const char*>(bytes.data()),
                              static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
    out.close();
    if (!ok || out.error() != QFileDevice::NoError) {
        out.remove();
        return false;
    }
    return true;
}

}  // namespace

bool SaveBmp24(const QImage& picture, const QString& path) {
    const std::vector<std::uint8_t> file = bmp24Bytes(picture);
    return !file.empty() && writeFile(file, path);
}

PictureSaved SaveFileInPlace(std::span<const std::uint8_t> bytes, const QString& path) {
    // Room for the file and a little more, so that a split never fills the disk to its last byte.
    constexpr std::uint64_t kMargin = 1 << 20;
    // statvfs rather than QStorageInfo, which reads the whole mount table each time: this runs per picture.
    struct statvfs disk {};
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &disk) == 0 &&
        static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize < bytes.size() + kMargin)
        return PictureSaved::NoRoom;
    const QString temporary = CreateTemporaryBeside(path);
    if (temporary.isEmpty() || !writeFile(bytes, temporary)) {
        QFile::remove(temporary);
        return PictureSaved::NotWritten;
    }
    if (!PutInPlace(temporary, path)) {
        QFile::remove(temporary);
        return QFileInfo::exists(path) ? PictureSaved::NotReplaced : PictureSaved::NotWritten;
    }
    return PictureSaved::Saved;
}

PictureSaved SaveBmp24InPlace(const QImage& picture, const QString& path) {
    const std::vector<std::uint8_t> file = bmp24Bytes(picture);
    return file.empty() ? PictureSaved::NotWritten : SaveFileInPlace(file, path);
}

}  // namespace zelq
