// The default compressor, Microsoft Video 1, at any picture size: what ffprobe and ffmpeg make of its
// streams, and what our reader gives back.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>

#include "vfw_testkit.h"

using namespace zelq;
using test::Recording;
using test::Rgb;

namespace {

int coded(int side) {
    return (side + 3) / 4 * 4;
}

// The right and bottom of the first stream header's frame rectangle, read from the file's bytes rather
// than by our reader.
std::pair<int, int> frameRectInFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {-1, -1};
    const QByteArray head = file.read(64 * 1024);
    const qsizetype at = head.indexOf("strh");
    if (at < 0 || at + 8 + 56 > head.size())
        return {-1, -1};
    const auto* rc = reinterpret_cast<const std::uint8_t*>(head.constData()) + at + 8 + 48;
    return {rc[4] | rc[5] << 8, rc[6] | rc[7] << 8};
}

struct Difference {
    double mean = 0;  // per component, 8-bit units
    int worst = 0;    // largest difference of one component
};

Difference compare(const BitmapInfoHeader* got, int width, int height,
                   const std::function<Rgb(int x, int y)>& want) {
    Difference d;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb a = test::pixelAt(got, x, y), b = want(x, y);
            for (int c : {std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}) {
                d.mean += c;
                d.worst = std::max(d.worst, c);
            }
        }
    }
    d.mean /= 3.0 * width * height;
    return d;
}

// A colour as a 16-bit frame holds it and a decoder widens it back.
Rgb as555(Rgb c) {
    auto widen = [](int v) { return ((v >> 3) << 3) | (v >> 5); };
    return {widen(c.r), widen(c.g), widen(c.b)};
}

struct Size {
    int width, height, bits;
    std::string text() const {
        return std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bits);
    }
    // An MSVC recording of this size.
    Recording recording() const {
        Recording rec;
        rec.width = width;
        rec.height = height;
        rec.bits = bits;
        return rec;
    }
};

}  // namespace

TEST(MsvcStream, AnySizeIsCodedInWholeBlocksAndReadsBackAtItsOwnSize) {
    QTemporaryDir dir;
    for (const Size s :
         {Size{401, 299, 24}, Size{1366, 768, 32}, Size{1, 1, 16}, Size{6, 3, 24}, Size{1920, 1080, 32}}) {
        SCOPED_TRACE(s.text());
        Recording rec = s.recording();
        rec.rate = 25;
        rec.positions = {0, 1, 4, 5};
        const QString file = dir.filePath("msvc.avi");
        ASSERT_EQ(test::writeRecording(file, rec), AVIERR_OK);

        // Decoders walk width / 4 x height / 4 blocks: the format carries the coded size.
        const test::Probe p = test::probe(file);
        ASSERT_TRUE(p.ok) << p.errors.toStdString();
        EXPECT_EQ(p.codecName, "msvideo1");
        EXPECT_EQ(p.codecTag, "MSVC");
        EXPECT_EQ(p.width, coded(s.width));
        EXPECT_EQ(p.height, coded(s.height));
        EXPECT_EQ(p.frameRate, "25/1");
        EXPECT_EQ(p.headerFrames, 6);
        EXPECT_EQ(p.decodedFrames, 4);
        EXPECT_EQ(p.packetPositions, (std::vector<long long>{0, 1, 4, 5}));
        EXPECT_EQ(test::decodeErrors(file), "");
        // The picture's own size is in the stream header's frame rectangle.
        EXPECT_EQ(frameRectInFile(file), std::make_pair(s.width, s.height));

        PAVIFILE f;
        PAVISTREAM stream;
        ASSERT_EQ(AVIFileOpen(f, file.toStdString(), OF_READ), AVIERR_OK);
        ASSERT_EQ(AVIFileGetStream(f, stream, streamtypeVIDEO, 0), AVIERR_OK);
        AVISTREAMINFO info;
        ASSERT_EQ(AVIStreamInfo(stream, &info, sizeof info), AVIERR_OK);
        EXPECT_EQ(info.rcFrame.right, s.width);
        EXPECT_EQ(info.rcFrame.bottom, s.height);
        BitmapInfoHeader wanted;
        wanted.biBitCount = static_cast<std::uint16_t>(s.bits);
        wanted.biWidth = coded(s.width);
        wanted.biHeight = coded(s.height);
        if (wanted.biWidth != s.width || wanted.biHeight != s.height) {
            EXPECT_FALSE(AVIStreamGetFrameOpen(stream, &wanted));  // the padding is not part of the picture
        }
        wanted.biWidth = s.width;
        wanted.biHeight = s.height;
        PGETFRAME frames = AVIStreamGetFrameOpen(stream, &wanted);
        ASSERT_TRUE(frames);
        // Position 3 is empty and shows the frame before it (the second); position 5 holds the fourth.
        for (const auto& [position, frame] : {std::pair{3, 1}, std::pair{5, 3}}) {
            const BitmapInfoHeader* got = AVIStreamGetFrame(frames, position);
            ASSERT_NE(got, nullptr);
            ASSERT_EQ(got->biWidth, s.width);
            ASSERT_EQ(got->biHeight, s.height);
            const Difference d = compare(got, s.width, s.height,
                                         [&](int x, int y) { return test::expectedAt(x, y, frame, s.bits); });
            EXPECT_LT(d.mean, 12.0) << position;
        }
    }
}

TEST(MsvcStream, AtBestQualityPicturesOfTwoColoursABlockComeBackAsTheyWere) {
    // At quality 10000 every block gets the code closest to its pixels. Text on screen has at most two
    // colours in a block, which the format holds exactly in 5-5-5: a 16-bit frame comes back word for word,
    // a deeper one as its colours rounded to 5 bits. Rows or columns out of place would show here.
    QTemporaryDir dir;
    for (const Size s : {Size{101, 37, 16}, Size{101, 37, 24}, Size{102, 35, 32}, Size{1, 1, 16}}) {
        SCOPED_TRACE(s.text());
        Recording rec = s.recording();
        rec.quality = 10000;
        rec.picture = test::twoColour;
        rec.positions = {0, 1, 2};
        const QString file = dir.filePath("best.avi");
        ASSERT_EQ(test::writeRecording(file, rec), AVIERR_OK);
        const test::Probe p = test::probe(file);
        ASSERT_TRUE(p.ok) << p.errors.toStdString();
        EXPECT_EQ(p.decodedFrames, 3);
        EXPECT_EQ(test::decodeErrors(file), "");

        const test::Playback back = test::play(file, s.bits);
        ASSERT_TRUE(back.ok());
        for (int frame = 0; frame < 3; ++frame) {
            const BitmapInfoHeader* got = AVIStreamGetFrame(back.frames, frame);
            ASSERT_NE(got, nullptr);
            ASSERT_EQ(got->biWidth, s.width);
            ASSERT_EQ(got->biHeight, s.height);
            const Difference d = compare(got, s.width, s.height, [&](int x, int y) {
                const Rgb c = test::twoColour(x, y, frame);
                return s.bits == 16 ? as555(c) : c;
            });
            // Rounding to 5 bits and widening back moves an 8-bit component by 4 at most.
            EXPECT_LE(d.worst, s.bits == 16 ? 0 : 4) << frame;
        }
    }
}
