// Writing recordings: positions and gaps, uncompressed streams, and calls made in the wrong order. Every
// file is judged by ffprobe and decoded by ffmpeg.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "capture/msvc/msvc_encoder.h"
#include "common/soundprobe.h"
#include "vfw_testkit.h"

using namespace zelq;
using test::Recording;

namespace {

class AviWrite : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(name); }
};

}  // namespace

TEST_F(AviWrite, PositionsNeverWrittenAreEmptyButCountInTheLength) {
    Recording rec;  // MSVC, 64 x 48, 24-bit frames, 10 positions per second
    rec.positions = {0, 1, 4, 5, 9};
    const QString file = path("录像 1.avi");  // names are Chinese more often than not
    ASSERT_EQ(test::writeRecording(file, rec), AVIERR_OK);
    const test::Probe p = test::probe(file);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.codecTag, "MSVC");
    EXPECT_EQ(p.codecName, "msvideo1");
    EXPECT_EQ(p.width, 64);
    EXPECT_EQ(p.height, 48);
    EXPECT_EQ(p.frameRate, "10/1");
    EXPECT_EQ(p.headerFrames, 10);  // 5 written + 5 skipped
    EXPECT_EQ(p.decodedFrames, 5);
    EXPECT_EQ(p.packetPositions, (std::vector<long long>{0, 1, 4, 5, 9}));
    EXPECT_EQ(test::decodeErrors(file), "");
}

TEST_F(AviWrite, AFirstFrameLateAndAVeryLongGapKeepTheirPositions) {
    // The AVI muxer fills gaps only after a first frame and at most 60000 positions at a time.
    Recording rec;
    rec.handler = 0;
    rec.bits = 8;
    rec.rate = 25;
    rec.positions = {3, 4, 130000};
    ASSERT_EQ(test::writeRecording(path("late.avi"), rec), AVIERR_OK);
    const test::Probe p = test::probe(path("late.avi"));
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.frameRate, "25/1");
    EXPECT_EQ(p.headerFrames, 130001);
    EXPECT_EQ(p.packetPositions, (std::vector<long long>{3, 4, 130000}));
    EXPECT_EQ(test::decodeErrors(path("late.avi")), "");
}

TEST_F(AviWrite, UncompressedStreamsStoreTheDibsOfEveryDepth) {
    for (int bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        Recording rec;
        rec.handler = bits == 8 ? 0 : comptypeDIB;
        rec.bits = bits;
        rec.width = 321;  // rows padded to 4 bytes at every depth
        rec.height = 30;
        const QString file = path("raw.avi");
        ASSERT_EQ(test::writeRecording(file, rec), AVIERR_OK);
        const test::Probe p = test::probe(file);
        ASSERT_TRUE(p.ok) << p.errors.toStdString();
        EXPECT_EQ(p.codecName, "rawvideo");
        EXPECT_EQ(p.width, 321);
        EXPECT_EQ(p.height, 30);
        EXPECT_EQ(p.headerFrames, 3);
        EXPECT_EQ(p.decodedFrames, 3);
        EXPECT_EQ(test::decodeErrors(file), "");

        // Read back at the stream's own depth: every pixel, and for 8 bits the colour table, as written.
        const test::Playback back = test::play(file);
        ASSERT_TRUE(back.ok());
        const BitmapInfoHeader* got = AVIStreamGetFrame(back.frames, 2);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->biBitCount, bits);
        const test::Dib want = test::frameDib(rec, 2);
        ASSERT_EQ(got->biSizeImage, want.header()->biSizeImage);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(got);
        if (bits <= 16)  // the whole DIB, colour table and padding included
            EXPECT_TRUE(std::equal(want.bytes.begin() + 40, want.bytes.end(), bytes + 40));
        else
            for (int y = 0; y < rec.height; ++y)
                for (int x = 0; x < rec.width; ++x)
                    ASSERT_EQ(test::pixelAt(got, x, y), test::expectedAt(x, y, 2, bits)) << x << "," << y;
    }
}

TEST_F(AviWrite, AStreamWithItsFormatAndNoFrameIsAnEmptyRecording) {
    // A recording stopped before its first frame still leaves a file that players open.
    Recording rec;
    rec.positions = {};
    ASSERT_EQ(test::writeRecording(path("empty.avi"), rec), AVIERR_OK);
    const test::Probe p = test::probe(path("empty.avi"));
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.codecTag, "MSVC");
    EXPECT_LE(p.headerFrames, 0);  // ffprobe gives no count for an empty stream
    EXPECT_TRUE(p.packetPositions.empty());
    const test::Playback back = test::play(path("empty.avi"));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(AVIStreamLength(back.stream), 0);
    EXPECT_EQ(AVIStreamGetFrame(back.frames, 0), nullptr);
}

TEST_F(AviWrite, CallsWithWrongArgumentsOrOutOfOrderAreRefusedAndTheFileStaysGood) {
    const QString file = path("wrong.avi");
    PAVIFILE f;
    PAVISTREAM raw, compressed, other;
    EXPECT_EQ(AVIFileOpen(f, file.toStdString(), OF_WRITE), AVIERR_BADFLAGS);
    const CLSID handler{};
    EXPECT_EQ(AVIFileOpen(f, file.toStdString(), OF_WRITE | OF_CREATE, &handler), REGDB_E_CLASSNOTREG);
    ASSERT_EQ(AVIFileOpen(f, file.toStdString(), OF_WRITE | OF_CREATE), AVIERR_OK);

    AVISTREAMINFO header = test::videoHeader();
    header.fccType = mmioFOURCC('t', 'x', 't', 's');  // video and sound only
    EXPECT_EQ(AVIFileCreateStream(f, raw, header), AVIERR_UNSUPPORTED);
    header.fccType = streamtypeVIDEO;
    header.dwRate = 0;
    EXPECT_EQ(AVIFileCreateStream(f, raw, header), AVIERR_BADPARAM);
    header.dwRate = 10;
    ASSERT_EQ(AVIFileCreateStream(f, raw, header), AVIERR_OK);

    AVICOMPRESSOPTIONS options;
    options.fccType = streamtypeVIDEO;
    options.fccHandler = mmioFOURCC('X', 'X', 'X', 'X');
    EXPECT_EQ(AVIMakeCompressedStream(compressed, raw, &options), AVIERR_NOCOMPRESSOR);
    EXPECT_FALSE(compressed);
    options.fccHandler = mmioFOURCC('m', 's', 'v', 'c');  // handler codes match without regard to case
    ASSERT_EQ(AVIMakeCompressedStream(compressed, raw, &options), AVIERR_OK);
    EXPECT_EQ(AVIMakeCompressedStream(other, compressed, &options), AVIERR_UNSUPPORTED);

    const test::Dib frame = test::patternDib(64, 48, 16, 0);
    EXPECT_EQ(AVIStreamWrite(compressed, 0, 1, frame.pixels(), frame.imageBytes(), 0), AVIERR_BADFORMAT);
    EXPECT_EQ(AVIStreamSetFormat(compressed, 1, frame.header(), frame.formatBytes()), AVIERR_UNSUPPORTED);
    BitmapInfoHeader topDown = *frame.header();
    topDown.biHeight = -48;
    EXPECT_EQ(AVIStreamSetFormat(compressed, 0, &topDown, 40), AVIERR_BADFORMAT);
    test::Dib paletted = test::palettedDib(64, 48, 0);
    EXPECT_EQ(AVIStreamSetFormat(compressed, 0, paletted.header(), 40), AVIERR_BADSIZE);  // no colour table
    reinterpret_cast<BitmapInfoHeader*>(paletted.bytes.data())->biCompression = 1;        // BI_RLE8
    EXPECT_EQ(AVIStreamSetFormat(compressed, 0, paletted.header(), paletted.formatBytes()), AVIERR_BADFORMAT);
    ASSERT_EQ(AVIStreamSetFormat(compressed, 0, frame.header(), frame.formatBytes()), AVIERR_OK);
    EXPECT_EQ(AVIStreamSetFormat(compressed, 0, frame.header(), frame.formatBytes()), AVIERR_UNSUPPORTED);

    LONG samples = -1, bytes = -1;
    EXPECT_EQ(AVIStreamWrite(compressed, 0, 2, frame.pixels(), frame.imageBytes(), 0), AVIERR_UNSUPPORTED);
    EXPECT_EQ(AVIStreamWrite(compressed, 0, 1, frame.pixels(), frame.imageBytes() - 1, 0), AVIERR_BADSIZE);
    ASSERT_EQ(AVIStreamWrite(compressed, 0, 1, frame.pixels(), frame.imageBytes(), 0, &samples, &bytes),
              AVIERR_OK);
    EXPECT_EQ(samples, 1);
    EXPECT_GT(bytes, 0);
    EXPECT_EQ(AVIStreamWrite(compressed, 0, 1, frame.pixels(), frame.imageBytes(), 0), AVIERR_BADPARAM);
    EXPECT_EQ(AVIStreamWrite(compressed, -1, 1, frame.pixels(), frame.imageBytes(), 0), AVIERR_BADPARAM);
    ASSERT_EQ(AVIStreamWrite(compressed, 2, 1, frame.pixels(), frame.imageBytes(), AVIIF_KEYFRAME),
              AVIERR_OK);
    EXPECT_EQ(AVIFileCreateStream(f, other, header), AVIERR_UNSUPPORTED);  // the header is already out

    AVISTREAMINFO info;
    ASSERT_EQ(AVIStreamInfo(compressed, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.fccHandler, mmioFOURCC('M', 'S', 'V', 'C'));
    EXPECT_EQ(info.dwLength, 3u);
    EXPECT_EQ(info.dwSuggestedBufferSize, MsvcEncoder(MsvcEncoderOptions{64, 48}).maxFrameBytes());
    EXPECT_EQ(info.rcFrame.right, 64);
    EXPECT_EQ(AVIStreamLength(compressed), 3);

    // The file goes first, as the recording loop releases it; the streams keep it open until they go.
    EXPECT_EQ(AVIFileRelease(f), 1u);
    EXPECT_EQ(AVIStreamRelease(raw), 1u);
    EXPECT_EQ(AVIStreamRelease(compressed), 0u);
    EXPECT_EQ(AVIStreamWrite(compressed, 3, 1, frame.pixels(), frame.imageBytes(), 0), AVIERR_BADHANDLE);
    const test::Probe p = test::probe(file);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.packetPositions, (std::vector<long long>{0, 2}));
    // The second frame repeats the first and would be all skips, but it was asked to be a key frame.
    EXPECT_EQ(p.packetKeys, (std::vector<bool>{true, true}));
    EXPECT_EQ(test::decodeErrors(file), "");
}

TEST_F(AviWrite, ASoundStreamGoesBesideTheVideoAndReadersStillFindThePicture) {
    const QString file = path("sound.avi");
    const WaveFormatEx wave = pcmWaveFormat(2, 48000, 16);
    const test::Dib first = test::patternDib(64, 48, 24, 0);
    {
        PAVIFILE f;
        ASSERT_EQ(AVIFileOpen(f, file.toStdString(), OF_WRITE | OF_CREATE), AVIERR_OK);
        // The sound first: nothing may take stream 0 for the picture.
        AVISTREAMINFO soundHeader;
        soundHeader.fccType = streamtypeAUDIO;
        soundHeader.dwScale = 4;
        soundHeader.dwRate = 192000;
        PAVISTREAM sound, video;
        ASSERT_EQ(AVIFileCreateStream(f, sound, soundHeader), AVIERR_OK);
        WaveFormatEx wide = wave;
        wide.wBitsPerSample = 24;
        EXPECT_EQ(AVIStreamSetFormat(sound, 0, &wide, sizeof wide), AVIERR_BADFORMAT);
        ASSERT_EQ(AVIStreamSetFormat(sound, 0, &wave, sizeof wave), AVIERR_OK);
        ASSERT_EQ(AVIFileCreateStream(f, video, test::videoHeader(10)), AVIERR_OK);
        ASSERT_EQ(AVIStreamSetFormat(video, 0, first.header(), first.formatBytes()), AVIERR_OK);
        const std::vector<std::int16_t> pcm(4800 * 2, 1000);
        for (LONG i = 0; i < 10; ++i) {
            ASSERT_EQ(AVIStreamWrite(sound, i * 4800, 4800, pcm.data(), 4800 * 4, 0), AVIERR_OK);
            const test::Dib frame = test::patternDib(64, 48, 24, i);
            ASSERT_EQ(AVIStreamWrite(video, i, 1, frame.pixels(), frame.imageBytes(), 0), AVIERR_OK);
        }
        // Sound has no empty positions: a gap is the writer's to fill, and a short buffer is refused.
        EXPECT_EQ(AVIStreamWrite(sound, 48001, 1, pcm.data(), 4, 0), AVIERR_BADPARAM);
        EXPECT_EQ(AVIStreamWrite(sound, 48000, 10, pcm.data(), 39, 0), AVIERR_BADSIZE);
        EXPECT_EQ(AVIStreamLength(sound), 48000);
        ASSERT_EQ(AVIFileFinish(f), AVIERR_OK);
    }
    const std::vector<soundprobe::StreamFacts> streams = soundprobe::probeStreams(file);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].type, "audio");
    EXPECT_EQ(streams[0].codec, "pcm_s16le");
    EXPECT_EQ(streams[0].sampleRate, 48000);
    EXPECT_EQ(streams[0].channels, 2);
    EXPECT_DOUBLE_EQ(streams[0].duration, 1.0);
    EXPECT_EQ(streams[1].type, "video");
    EXPECT_DOUBLE_EQ(streams[1].duration, 1.0);
    EXPECT_EQ(test::decodeErrors(file), "");

    const test::Playback p = test::play(file);
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(AVIStreamLength(p.stream), 10);
    const BitmapInfoHeader* seventh = AVIStreamGetFrame(p.frames, 7);
    ASSERT_NE(seventh, nullptr);
    EXPECT_EQ(test::pixelAt(seventh, 5, 9), test::expectedAt(5, 9, 7, 24));
}
