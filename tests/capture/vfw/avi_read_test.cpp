// Reading recordings back: the stream's header and length, frames by position as DIBs, and the codes
// AVIFileOpen answers for files it cannot read.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <sys/wait.h>
#include <unistd.h>


#include "capture/vfw/repair.h"
#include "vfw_testkit.h"

using namespace zelq;
using test::Recording;

namespace {

class AviRead : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(name); }

    // Frame `frame` of the recording, every pixel, as a DIB of `bits` shows it.
    static void expectFrame(const BitmapInfoHeader* got, const Recording& rec, int frame, int bits) {
        ASSERT_NE(got, nullptr);
        ASSERT_EQ(got->biWidth, rec.width);
        ASSERT_EQ(got->biHeight, rec.height);
        ASSERT_EQ(got->biBitCount, bits);
        for (int y = 0; y < rec.height; ++y)
            for (int x = 0; x < rec.width; ++x)
                ASSERT_EQ(test::pixelAt(got, x, y), test::expectedAt(x, y, frame, rec.bits)) << x << "," << y;
    }
};

}  // namespace

TEST_F(AviRead, ALosslessRecordingReadsBackByPositionWithItsGaps) {
    Recording rec;
    rec.handler = mmioFOURCC('F', 'F', 'V', '1');
    rec.positions = {0, 1, 4, 5, 9};
    ASSERT_EQ(test::writeRecording(path("r.avi"), rec), AVIERR_OK);

    PAVIFILE file;
    PAVISTREAM stream, none;
    ASSERT_EQ(AVIFileOpen(file, path("r.avi").toStdString(), OF_READ | OF_SHARE_DENY_WRITE), AVIERR_OK);
    EXPECT_EQ(AVIFileGetStream(file, none, streamtypeVIDEO, 1), AVIERR_NODATA);
    EXPECT_EQ(AVIFileGetStream(file, none, streamtypeAUDIO, 0), AVIERR_NODATA);
    ASSERT_EQ(AVIFileGetStream(file, stream, streamtypeVIDEO, 0), AVIERR_OK);

    AVISTREAMINFO info;
    EXPECT_EQ(AVIStreamInfo(stream, &info, 100), AVIERR_BADSIZE);
    ASSERT_EQ(AVIStreamInfo(stream, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.fccType, streamtypeVIDEO);
    EXPECT_EQ(info.fccHandler, mmioFOURCC('F', 'F', 'V', '1'));
    EXPECT_EQ(info.dwScale, 1u);
    EXPECT_EQ(info.dwRate, 10u);
    EXPECT_EQ(info.dwLength, 10u);
    EXPECT_EQ(info.rcFrame.right, 64);
    EXPECT_EQ(info.rcFrame.bottom, 48);
    EXPECT_EQ(AVIStreamStart(stream), 0);
    EXPECT_EQ(AVIStreamLength(stream), 10);
    EXPECT_EQ(AVIStreamEnd(stream), 10);
    EXPECT_EQ(AVIStreamBeginStreaming(stream, 0, 10, 1000), AVIERR_OK);

    BitmapInfoHeader wanted;
    wanted.biBitCount = 24;
    PGETFRAME frames = AVIStreamGetFrameOpen(stream, &wanted);
    ASSERT_TRUE(frames);
    // Position -> frame shown: an empty position shows the frame before it.
    const int shown[10] = {0, 1, 1, 1, 2, 3, 3, 3, 3, 4};
    for (int p = 0; p < 10; ++p) {
        SCOPED_TRACE(p);
        expectFrame(AVIStreamGetFrame(frames, p), rec, shown[p], 24);
    }
    EXPECT_EQ(AVIStreamGetFrame(frames, 10), nullptr);
    EXPECT_EQ(AVIStreamGetFrame(frames, -1), nullptr);
    // Backwards, and a second reader moving the file in between.
    expectFrame(AVIStreamGetFrame(frames, 4), rec, 2, 24);
    PGETFRAME other = AVIStreamGetFrameOpen(stream);
    ASSERT_TRUE(other);
    expectFrame(AVIStreamGetFrame(other, 9), rec, 4, 32);  // FFV1 frames are 32-bit: that is the default
    expectFrame(AVIStreamGetFrame(frames, 1), rec, 1, 24);
    expectFrame(AVIStreamGetFrame(frames, 5), rec, 3, 24);

    EXPECT_EQ(AVIStreamEndStreaming(stream), AVIERR_OK);
    EXPECT_EQ(AVIStreamGetFrameClose(frames), AVIERR_OK);
    EXPECT_EQ(AVIStreamGetFrameClose(frames), AVIERR_BADHANDLE);
    EXPECT_EQ(AVIStreamRelease(stream), 1u);  // the second reader still holds the stream
}

TEST_F(AviRead, EmptyPositionsBeforeTheFirstFrameShowTheFirstFrame) {
    Recording rec;
    rec.handler = 0;
    rec.positions = {3, 4};
    ASSERT_EQ(test::writeRecording(path("late.avi"), rec), AVIERR_OK);
    const test::Playback back = test::play(path("late.avi"));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(AVIStreamLength(back.stream), 5);
    for (int p : {0, 2, 3}) expectFrame(AVIStreamGetFrame(back.frames, p), rec, 0, 24);
    expectFrame(AVIStreamGetFrame(back.frames, 4), rec, 1, 24);
    EXPECT_EQ(AVIStreamGetFrame(back.frames, 5), nullptr);
}

TEST_F(AviRead, ReadStreamsTakeNoWritingAndFormatsTheyCannotGiveAreRefused) {
    Recording rec;
    rec.handler = 0;
    rec.bits = 16;
    ASSERT_EQ(test::writeRecording(path("r.avi"), rec), AVIERR_OK);
    PAVIFILE file;
    PAVISTREAM stream, added;
    ASSERT_EQ(AVIFileOpen(file, path("r.avi").toStdString(), OF_READ), AVIERR_OK);
    ASSERT_EQ(AVIFileGetStream(file, stream, 0, 0), AVIERR_OK);
    const test::Dib frame = test::patternDib(64, 48, 16, 0);
    EXPECT_EQ(AVIStreamWrite(stream, 3, 1, frame.pixels(), frame.imageBytes(), 0), AVIERR_READONLY);
    EXPECT_EQ(AVIStreamSetFormat(stream, 0, frame.header(), frame.formatBytes()), AVIERR_READONLY);
    EXPECT_EQ(AVIFileCreateStream(file, added, test::videoHeader()), AVIERR_READONLY);

    BitmapInfoHeader wanted;
    wanted.biBitCount = 8;  // a 16-bit stream has no colour table to give
    EXPECT_FALSE(AVIStreamGetFrameOpen(stream, &wanted));
    wanted.biBitCount = 32;
    wanted.biWidth = 32;  // frames are never scaled
    wanted.biHeight = 24;
    EXPECT_FALSE(AVIStreamGetFrameOpen(stream, &wanted));
    PGETFRAME frames = AVIStreamGetFrameOpen(stream);  // a 5-5-5 stream reads as 16 bits by default
    expectFrame(AVIStreamGetFrame(frames, 1), rec, 1, 16);
}

TEST_F(AviRead, FilesThatCannotBeReadAnswerTheirCodes) {
    PAVIFILE file;
    EXPECT_EQ(AVIFileOpen(file, path("missing.avi").toStdString(), OF_READ), AVIERR_FILEOPEN);
    EXPECT_EQ(AVIFileOpen(file, dir.path().toStdString(), OF_READ), AVIERR_FILEOPEN);
    EXPECT_EQ(AVIFileOpen(file, "", OF_READ), AVIERR_BADPARAM);

    QFile text(path("notes.avi"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("These are notes, not a recording.\n");
    text.close();
    EXPECT_EQ(AVIFileOpen(file, path("notes.avi").toStdString(), OF_READ), AVIERR_BADFORMAT);
    QFile(path("empty.avi")).open(QIODevice::WriteOnly);
    EXPECT_EQ(AVIFileOpen(file, path("empty.avi").toStdString(), OF_READ), AVIERR_BADFORMAT);

    // A recording cut off inside its header.
    ASSERT_EQ(test::writeRecording(path("whole.avi"), Recording{}), AVIERR_OK);
    QFile whole(path("whole.avi"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    QFile cut(path("cut.avi"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(whole.read(100));
    cut.close();
    EXPECT_EQ(AVIFileOpen(file, path("cut.avi").toStdString(), OF_READ), AVIERR_BADFORMAT);

    const CLSID handler{};
    EXPECT_EQ(AVIFileOpen(file, path("whole.avi").toStdString(), OF_READ, &handler), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(AVIFileOpen(file, path("whole.avi").toStdString(), OF_READWRITE), AVIERR_BADFLAGS);
    EXPECT_FALSE(file);
}

TEST_F(AviRead, AFileWhoseWriterDiedOrWhoseHeaderLiesReadsTheFramesItHolds) {
    Recording rec;
    rec.handler = mmioFOURCC('F', 'F', 'V', '1');
    rec.positions = {0, 1, 4, 5, 9};
    ASSERT_EQ(test::writeRecording(path("r.avi"), rec), AVIERR_OK);
    QFile whole(path("r.avi"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    auto setDword = [](QByteArray& b, qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
    };
    const qsizetype avihTotal = bytes.indexOf("avih") + 8 + 16;
    const qsizetype strhLength = bytes.indexOf("strh") + 8 + 32;
    auto lengthOf = [&](const char* name, const QByteArray& content) {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        const test::Playback back = test::play(path(name), 24);
        EXPECT_TRUE(back.ok()) << name;
        return back.ok() ? AVIStreamLength(back.stream) : -1;
    };

    // A header claiming two billion positions: the index says where the frames end.
    QByteArray lying = bytes;
    setDword(lying, avihTotal, 0x7fffffff);
    setDword(lying, strhLength, 0x7fffffff);
    EXPECT_EQ(lengthOf("lying.avi", lying), 10);

    // What a writer that died leaves: no index, header counts 0, the last chunk cut off. Every whole
    // frame reads back, and the length is where the whole frames end.
    const QString died = path("died.avi");
    if (fork() == 0) {
        Recording dying = rec;
        dying.dieAfterWriting = true;
        test::writeRecording(died, dying);
    }
    int status = 0;
    wait(&status);
    ASSERT_EQ(status, 0);
    QFile torn(died);
    ASSERT_TRUE(torn.resize(torn.size() - 100));
    const test::Playback back = test::play(died, 24);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(AVIStreamLength(back.stream), 6);  // the frame at 9 is torn: the last whole one is at 5
    const int shown[6] = {0, 1, 1, 1, 2, 3};
    for (int p = 0; p < 6; ++p) {
        SCOPED_TRACE(p);
        expectFrame(AVIStreamGetFrame(back.frames, p), rec, shown[p], 24);
    }

    // Repaired in place: a finished file with an index and its counts, which ffprobe reads as such.
    qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));  // the unrepaired file goes to this trash
    EXPECT_EQ(repairUnfinishedRecording(died.toStdString()), RepairResult::Repaired);
    EXPECT_EQ(repairUnfinishedRecording(died.toStdString()), RepairResult::NotNeeded);
    const test::Probe p = test::probe(died);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.headerFrames, 6);
    EXPECT_EQ(p.packetPositions, (std::vector<long long>{0, 1, 4, 5}));
    EXPECT_EQ(test::decodeErrors(died), "");
    const test::Playback repaired = test::play(died, 24);
    ASSERT_TRUE(repaired.ok());
    expectFrame(AVIStreamGetFrame(repaired.frames, 5), rec, 3, 24);

    // A file whose writer is still at work is left alone: its header, with our mark, is out, its first
    // frame written, and it is not finished.
    PAVIFILE writing;
    PAVISTREAM stream;
    ASSERT_EQ(AVIFileOpen(writing, path("busy.avi").toStdString(), OF_WRITE | OF_CREATE), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStream(writing, stream, test::videoHeader()), AVIERR_OK);
    const test::Dib frame = test::patternDib(64, 48, 24, 0);
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, frame.header(), frame.formatBytes()), AVIERR_OK);
    ASSERT_EQ(AVIStreamWrite(stream, 0, 1, frame.pixels(), frame.imageBytes(), AVIIF_KEYFRAME), AVIERR_OK);
    EXPECT_EQ(repairUnfinishedRecording(path("busy.avi").toStdString()), RepairResult::Busy);
}
