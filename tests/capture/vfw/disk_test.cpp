// Writing where the disk says no: a missing or read-only folder, and a disk that fills up during a
// recording. The recording must fail with a code, never crash, and keep what it wrote.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "capture/vfw/repair.h"
#include "vfw_testkit.h"

using namespace zelq;
using test::SmallDisk;

TEST(AviDisk, AFileThatCannotBeCreatedIsRefusedWithACode) {
    QTemporaryDir dir;
    PAVIFILE file;
    EXPECT_EQ(AVIFileOpen(file, dir.filePath("no/such/folder/a.avi").toStdString(), OF_WRITE | OF_CREATE),
              AVIERR_FILEOPEN);
    EXPECT_FALSE(file);
    EXPECT_EQ(AVIFileOpen(file, dir.path().toStdString(), OF_WRITE | OF_CREATE), AVIERR_FILEOPEN);
    EXPECT_TRUE(QDir(dir.path()).exists());

    SmallDisk readOnly("size=64k");
    if (!readOnly.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << readOnly.error();
    ASSERT_TRUE(readOnly.makeReadOnly()) << std::strerror(errno);
    EXPECT_EQ(AVIFileOpen(file, readOnly.path("a.avi").toStdString(), OF_WRITE | OF_CREATE), AVIERR_FILEOPEN);
    EXPECT_FALSE(QFile::exists(readOnly.path("a.avi")));
}

TEST(AviDisk, ADeviceThatRefusesEveryWriteFailsTheFirstFrameWithACode) {
    // /dev/full takes the open and refuses every byte with "no space left", whatever the free space says.
    PAVIFILE file;
    PAVISTREAM raw;
    ASSERT_EQ(AVIFileOpen(file, "/dev/full", OF_WRITE | OF_CREATE), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStream(file, raw, test::videoHeader()), AVIERR_OK);
    const test::Dib frame = test::patternDib(64, 48, 24, 0);
    ASSERT_EQ(AVIStreamSetFormat(raw, 0, frame.header(), frame.formatBytes()), AVIERR_OK);
    EXPECT_EQ(AVIStreamWrite(raw, 0, 1, frame.pixels(), frame.imageBytes(), AVIIF_KEYFRAME),
              AVIERR_FILEWRITE);
    EXPECT_EQ(AVIStreamWrite(raw, 1, 1, frame.pixels(), frame.imageBytes(), AVIIF_KEYFRAME),
              AVIERR_FILEWRITE);
    // Finishing such a file is a failure too, however often it is asked, so a recorder never calls it done.
    EXPECT_EQ(AVIStreamFinish(raw), AVIERR_OK);
    EXPECT_EQ(AVIFileFinish(file), AVIERR_FILEWRITE);
    EXPECT_EQ(AVIFileFinish(file), AVIERR_FILEWRITE);
    EXPECT_EQ(AVIStreamRelease(raw), 0u);
    EXPECT_EQ(AVIFileRelease(file), 0u);
}

TEST(AviDisk, AFullDiskEndsTheRecordingAndKeepsTheFramesWrittenSoFar) {
    SmallDisk disk("size=256k");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.error();
    const QString path = disk.path("full.avi");
    // Lossless frames of noise: about 9 KB each whatever the compressor does, and exact when read back.
    test::Recording rec;
    rec.width = 64;
    rec.height = 48;
    std::vector<test::Dib> frames;
    std::uint32_t seed = 1;
    for (int i = 0; i < 60; ++i) {
        test::Dib d = test::patternDib(rec.width, rec.height, 24, i);
        for (std::size_t b = 40; b < d.bytes.size(); ++b)
            d.bytes[b] = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
        frames.push_back(std::move(d));
    }

    PAVIFILE file;
    PAVISTREAM raw, compressed;
    ASSERT_EQ(AVIFileOpen(file, path.toStdString(), OF_WRITE | OF_CREATE), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStream(file, raw, test::videoHeader()), AVIERR_OK);
    AVICOMPRESSOPTIONS options;
    options.fccHandler = mmioFOURCC('F', 'F', 'V', '1');
    options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
    options.dwKeyFrameEvery = 5;
    ASSERT_EQ(AVIMakeCompressedStream(compressed, raw, &options), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(compressed, 0, frames[0].header(), frames[0].formatBytes()), AVIERR_OK);
    int written = 0;
    HRESULT status = AVIERR_OK;
    for (const test::Dib& d : frames) {
        status = AVIStreamWrite(compressed, written * 2, 1, d.pixels(), d.imageBytes(), 0);
        if (status != AVIERR_OK)
            break;
        ++written;
    }
    ASSERT_EQ(status, AVIERR_FILEWRITE);
    ASSERT_GT(written, 3);
    EXPECT_EQ(AVIStreamWrite(compressed, 1000, 1, frames[0].pixels(), frames[0].imageBytes(), 0),
              AVIERR_FILEWRITE);
    AVIFileRelease(file);
    AVIStreamRelease(raw);
    AVIStreamRelease(compressed);

    const test::Probe p = test::probe(path);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    // FFV1 may hold no frame back, so every frame accepted is in the file, at its position.
    EXPECT_EQ(p.headerFrames, 2 * written - 1);
    EXPECT_EQ(p.decodedFrames, written);
    EXPECT_EQ(test::decodeErrors(path), "");

    const test::Playback back = test::play(path, 24);
    ASSERT_TRUE(back.ok());
    const BitmapInfoHeader* last = AVIStreamGetFrame(back.frames, 2 * (written - 1));
    ASSERT_NE(last, nullptr);
    const test::Dib& want = frames[written - 1];
    EXPECT_TRUE(std::equal(want.pixels(), want.pixels() + want.imageBytes(),
                           reinterpret_cast<const std::uint8_t*>(last) + 40));
}

TEST(AviDisk, ADiskThatFillsPastTheFirstGigabyteStillLeavesAFinishedFile) {
    // Past 1 GB a recording goes on in further RIFF parts, each with indexes of its own to write at the
    // end: those must still fit, or be given up for frames, when the disk is full.
    SmallDisk disk("size=1150m");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.error();
    const QString path = disk.path("full.avi");
    test::SoundRecording rec;
    rec.width = 1920;
    rec.height = 1080;
    rec.positions = 250;  // 1.5 GB uncompressed: the disk fills in the second part
    rec.picture = [](int, int, int frame) { return test::Rgb{frame, 255 - frame, 128}; };
    rec.sound = [](std::int64_t t) { return static_cast<std::int16_t>((t % 96) * 300 - 14400); };
    EXPECT_EQ(test::writeSoundRecording(path, rec), AVIERR_FILEWRITE);
    ASSERT_GT(QFileInfo(path).size(), 1100LL << 20);

    // Finished as far as it goes: not a file for the repair, every frame in it counted by its header and
    // read without an error.
    EXPECT_EQ(repairUnfinishedRecording(path.toStdString()), RepairResult::NotNeeded);
    const QString packets = test::streamPackets(path);
    const int frames = packets.section("video ", 1).section(',', 0, 0).toInt();
    EXPECT_GE(frames, 170) << packets.toStdString();
    EXPECT_TRUE(test::headerCounts(path).startsWith(QString("video %1, audio ").arg(frames)))
        << test::headerCounts(path).toStdString() << " for " << packets.toStdString();
    EXPECT_EQ(test::decodeErrors(path), "");
}
