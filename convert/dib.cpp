#include "dib.h"

#include <array>
#include <cstring>
#include <limits>

namespace zelq {

namespace {

int bitsForColourCount(const QImage& bitmap, int colours) {
    switch (colours) {
        case 0: return bitmap.depth();  // QImage has one plane
        case 2: return 1;
        case 16: return 4;
        case 256: return 8;
        default: return 0;
    }
}

const QList<QRgb>& vgaPalette16() {
    static const QList<QRgb> table = {
        qRgb(0, 0, 0),     qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),   qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
        qRgb(192, 192, 192), qRgb(255, 0, 0), qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),   qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    return table;
}

const QList<QRgb>& monoPalette() {
    static const QList<QRgb> table = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    return table;
}

int distance2(QRgb a, QRgb b) {
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db;
}

int nearestIndex(const QList<QRgb>& table, QRgb colour) {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < table.size(); ++i) {
        const int d = distance2(table[i], colour);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

// The nearest cube colour of the fixed table, or the nearest grey when that is closer.
int nearestFixedIndex(QRgb colour) {
    const auto level = [](int c) { return (c * 5 + 127) / 255; };
    const int cube = level(qRed(colour)) * 36 + level(qGreen(colour)) * 6 + level(qBlue(colour));
    const int grey = (qRed(colour) * 299 + qGreen(colour) * 587 + qBlue(colour) * 114) / 1000;
    const int greyIndex = 216 + std::min(39, (grey * 39 + 127) / 255);
    const QList<QRgb>& table = fixedPalette256();
    return distance2(table[greyIndex], colour) < distance2(table[cube], colour) ? greyIndex : cube;
}

// The fixed table's index for a colour through a table of every 5-5-5 colour: a whole 1080p picture is
// reduced in a few milliseconds, where measuring distances for every pixel takes many times longer. The
// three lowest bits of each channel are too fine to change the choice among 6 levels and 40 greys by
// more than a step.
int fixedIndex(QRgb colour) {
    static const std::array<std::uint8_t, 32768> table = [] {
        std::array<std::uint8_t, 32768> t{};
        const auto widen = [](int v) { return (v << 3) | (v >> 2); };
        for (int i = 0; i < 32768; ++i) {
            const QRgb c = qRgb(widen(i >> 10), widen((i >> 5) & 31), widen(i & 31));
            t[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(nearestFixedIndex(c));
        }
        return t;
    }();
    const int index = ((qRed(colour) >> 3) << 10) | ((qGreen(colour) >> 3) << 5) | (qBlue(colour) >> 3);
    return table[static_cast<std::size_t>(index)];
}

// The colour table a DIB of these bits gets, and how each pixel finds its index in it.
struct Reduction {
    QList<QRgb> table;
    bool useFixed = false;
};

Reduction reductionFor(const QImage& bitmap, const QList<QRgb>* palette, int colours, int bits) {
    Reduction r;
    if (palette && !palette->isEmpty()) {
        r.table = *palette;
    } else if (colours == 0) {
        r.table = bitmap.colorTable();
        if (r.table.isEmpty() && bitmap.format() == QImage::Format_Grayscale8) {
            for (int i = 0; i < 256; ++i) r.table << qRgb(i, i, i);
        }
    } else if (bits == 1) {
        r.table = monoPalette();
    } else if (bits == 4) {
        r.table = vgaPalette16();
    } else {
        r.table = fixedPalette256();
        r.useFixed = true;
    }
    r.table.resize(1 << bits, qRgb(0, 0, 0));
    return r;
}

}  // namespace

const QList<QRgb>& fixedPalette256() {
    static const QList<QRgb> table = [] {
        QList<QRgb> t;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) t << qRgb(r * 51, g * 51, b * 51);
        for (int i = 0; i < 40; ++i) {
            const int v = (i * 255 + 19) / 39;
            t << qRgb(v, v, v);
        }
        return t;
    }();
    return table;
}

bool FillDibHeader(const QImage& bitmap, BitmapInfoHeader& header, int colours) {
    int bits = bitsForColourCount(bitmap, colours);
    if (bits == 0 || bitmap.isNull()) return false;
    header = BitmapInfoHeader{};
    header.biSize = 40;
    header.biWidth = bitmap.width();
    header.biHeight = bitmap.height();
    header.biPlanes = 1;
    header.biClrUsed = bits <= 8 ? static_cast<std::uint32_t>(colours) : 0;
    header.biCompression = kBiRgb;
    if (bits == 16 || bits == 32) bits = 24;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;  // e.g. 64-bit pictures
    header.biBitCount = static_cast<std::uint16_t>(bits);
    header.biSizeImage = static_cast<std::uint32_t>(dibRowBytes(bitmap.width(), bits) * static_cast<std::size_t>(bitmap.height()));
    return true;
}

std::int64_t MeasureDib(const QImage& bitmap, int& headerSize, int colours) {
    BitmapInfoHeader header;
    if (!FillDibHeader(bitmap, header, colours)) return -1;
    headerSize = 40 + 4 * dibColourTableEntries(header.biBitCount);
    return header.biSizeImage;
}

bool ReadDibBits(const QImage& bitmap, const QList<QRgb>* palette, QByteArray& headerBlock, int colours,
                 QByteArray& pixels) {
    BitmapInfoHeader header;
    if (!FillDibHeader(bitmap, header, colours) || bitmap.height() == 0 || bitmap.width() == 0) return false;
    const int bits = header.biBitCount;
    const int tableEntries = dibColourTableEntries(bits);
    headerBlock = QByteArray(40 + 4 * tableEntries, '\0');
    std::memcpy(headerBlock.data(), &header, sizeof header);
    pixels = QByteArray(static_cast<qsizetype>(header.biSizeImage), '\0');

    const int width = bitmap.width();
    const int height = bitmap.height();
    const std::size_t rowBytes = dibRowBytes(width, bits);
    if (bits == 24) {
        const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < height; ++y) {
            const uchar* src = rgb.constScanLine(y);
            auto* dst = reinterpret_cast<uchar*>(pixels.data()) + rowBytes * static_cast<std::size_t>(height - 1 - y);
            for (int x = 0; x < width; ++x) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        }
        return true;
    }

    const Reduction reduction = reductionFor(bitmap, palette, colours, bits);
    auto* table = reinterpret_cast<RgbQuad*>(headerBlock.data() + 40);
    for (int i = 0; i < tableEntries; ++i) {
        const QRgb c = reduction.table[i];
        table[i] = RgbQuad{static_cast<std::uint8_t>(qBlue(c)), static_cast<std::uint8_t>(qGreen(c)),
                           static_cast<std::uint8_t>(qRed(c)), 0};
    }
    // A picture whose own indices already address the table is copied as indices; anything else is
    // reduced colour by colour.
    const bool ownIndices = colours == 0 && !palette && bitmap.depth() == bits &&
                            (bitmap.format() == QImage::Format_Indexed8 || bitmap.format() == QImage::Format_Grayscale8);
    const QImage source = ownIndices ? bitmap : bitmap.convertToFormat(QImage::Format_RGB32);
    const bool monoSource = colours == 0 && !palette && bits == 1;
    const QImage mono = monoSource ? bitmap.convertToFormat(QImage::Format_Mono) : QImage();
    for (int y = 0; y < height; ++y) {
        auto* dst = reinterpret_cast<uchar*>(pixels.data()) + rowBytes * static_cast<std::size_t>(height - 1 - y);
        if (monoSource) {
            std::memcpy(dst, mono.constScanLine(y), static_cast<std::size_t>((width + 7) / 8));
            continue;
        }
        for (int x = 0; x < width; ++x) {
            int index;
            if (ownIndices) {
                index = source.constScanLine(y)[x];
            } else {
                const QRgb c = reinterpret_cast<const QRgb*>(source.constScanLine(y))[x];
                index = reduction.useFixed ? fixedIndex(c) : nearestIndex(reduction.table, c);
            }
            if (bits == 8) {
                dst[x] = static_cast<uchar>(index);
            } else if (bits == 4) {
                dst[x / 2] |= static_cast<uchar>(x % 2 == 0 ? index << 4 : index);
            } else {
                if (index) dst[x / 8] |= static_cast<uchar>(0x80 >> (x % 8));
            }
        }
    }
    return true;
}

}  // namespace zelq
