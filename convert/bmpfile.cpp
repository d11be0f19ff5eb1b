#include "convert/bmpfile.h"

#include <QFile>
#include <cstring>

#include "platform/dibtypes.h"

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

}  // namespace

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

}  // namespace zelq
