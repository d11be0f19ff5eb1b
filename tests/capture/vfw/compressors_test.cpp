// The installed compressors: the list, their descriptions and boxes, what sizes they take, and a
// recording made with each that ffprobe and ffmpeg read and that reads back the right way up.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <set>

#include "vfw_testkit.h"

using namespace zelq;
using test::Recording;

namespace {

const FOURCC kMsvc = mmioFOURCC('M', 'S', 'V', 'C');
const FOURCC kH264 = mmioFOURCC('H', '2', '6', '4');

std::vector<ICINFO> installed() {
    std::vector<ICINFO> list;
    ICINFO info;
    for (DWORD i = 0; i < 32 && ICInfo(ICTYPE_VIDEO, i, &info); ++i) {
        HIC hic = ICOpen(info.fccType, info.fccHandler, ICMODE_QUERY);
        EXPECT_TRUE(hic);
        EXPECT_EQ(ICGetInfo(hic, &info, sizeof info), static_cast<LRESULT>(sizeof info));
        list.push_back(info);
    }
    return list;
}

std::string fourcc(FOURCC c) {
    return std::string(reinterpret_cast<const char*>(&c), 4);
}

bool isLossless(FOURCC c) {
    static const std::set<std::string> lossless{"ZMBV", "FFV1", "ULRG", "HFYU", "MPNG"};
    return lossless.count(fourcc(c)) > 0;
}

LRESULT query(FOURCC handler, int width, int height, int bits = 32) {
    HIC hic = ICOpen(ICTYPE_VIDEO, handler, ICMODE_QUERY);
    if (!hic)
        return ICERR_BADHANDLE;
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = static_cast<std::uint16_t>(bits);
    return ICCompressQuery(hic, &h, nullptr);
}

// The recording loop's alignment: the first multiple (1, 2, 4, 8) at which the compressor takes the
// rectangle rounded up to it, or 16 when it takes none.
int alignment(FOURCC handler, int width, int height) {
    int f = 1;
    for (int w = width, h = height; query(handler, w, h) != ICERR_OK;) {
        f *= 2;
        if (f > 8)
            break;
        w = (width + f - 1) / f * f;
        h = (height + f - 1) / f * f;
    }
    return f;
}

bool listed(FOURCC handler) {
    return ICOpen(ICTYPE_VIDEO, handler, ICMODE_QUERY) != nullptr;
}

}  // namespace

TEST(Compressors, AreListedInAFixedOrderWithMicrosoftVideo1First) {
    const std::vector<ICINFO> list = installed();
    ASSERT_FALSE(list.empty());
    ASSERT_LE(list.size(), 32u);
    EXPECT_EQ(list[0].fccHandler, kMsvc);
    EXPECT_EQ(std::u16string(list[0].szDescription), u"Microsoft Video 1");
    std::set<FOURCC> seen;
    for (const ICINFO& info : list) {
        SCOPED_TRACE(fourcc(info.fccHandler));
        EXPECT_TRUE(seen.insert(info.fccHandler).second);
        EXPECT_EQ(info.dwSize, sizeof(ICINFO));
        EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
        EXPECT_EQ(info.dwVersionICM, ICVERSION);
        EXPECT_GT(std::u16string(info.szDescription).size(), 3u);
        EXPECT_FALSE(std::u16string(info.szName).empty());
    }
    ICINFO info;
    EXPECT_FALSE(ICInfo(ICTYPE_VIDEO, static_cast<DWORD>(list.size()), &info));
    EXPECT_FALSE(ICInfo(streamtypeVIDEO, 0, &info));  // 'vids' is a stream type, not a compressor type
    ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, mmioFOURCC('m', 's', 'v', 'c'), &info));
    EXPECT_EQ(info.fccHandler, kMsvc);
    EXPECT_FALSE(ICOpen(ICTYPE_VIDEO, mmioFOURCC('X', 'X', 'X', 'X'), ICMODE_QUERY));
    EXPECT_FALSE(ICOpen(ICTYPE_VIDEO, kMsvc, ICMODE_DECOMPRESS));  // compressors only
    HIC lower = ICOpen(ICTYPE_VIDEO, mmioFOURCC('m', 's', 'v', 'c'), ICMODE_QUERY);
    ASSERT_TRUE(lower);
    EXPECT_EQ(ICClose(lower), ICERR_OK);
    EXPECT_FALSE(lower);
    EXPECT_EQ(ICClose(lower), ICERR_BADHANDLE);
}

TEST(Compressors, AboutShowsTheEncoderThroughTheCallersBoxAndNothingIsConfigured) {
    HIC hic = ICOpen(ICTYPE_VIDEO, kMsvc, ICMODE_QUERY);
    ASSERT_TRUE(hic);
    std::vector<std::pair<std::string, std::string>> shown;
    const ICParentWindow parent{
        [&](const std::string& caption, const std::string& text) { shown.emplace_back(caption, text); }};
    EXPECT_TRUE(ICQueryAbout(hic));
    EXPECT_EQ(ICAbout(hic, parent), ICERR_OK);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Microsoft Video 1");
    EXPECT_NE(shown[0].second.find("FourCC: MSVC"), std::string::npos) << shown[0].second;
    EXPECT_NE(shown[0].second.find("this program's own"), std::string::npos) << shown[0].second;

    EXPECT_FALSE(ICQueryConfigure(hic));
    EXPECT_EQ(ICConfigure(hic, parent), ICERR_UNSUPPORTED);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(ICSendMessage(hic, ICM_ABOUT, nullptr, std::intptr_t{0}), ICERR_BADPARAM);
    EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS_QUERY, &parent, nullptr), ICERR_BADPARAM);
    EXPECT_EQ(ICSendMessage(hic, 0x4004 /* ICM_COMPRESS_GET_FORMAT */, nullptr, nullptr), ICERR_UNSUPPORTED);
}

TEST(Compressors, AnswerQueriesFromWhatTheirEncodersTake) {
    for (const ICINFO& info : installed()) {
        SCOPED_TRACE(fourcc(info.fccHandler));
        // The options dialog's probe: the screen's top-left 320 x 200 at any screen depth.
        for (int bits : {16, 24, 32}) EXPECT_EQ(query(info.fccHandler, 320, 200, bits), ICERR_OK) << bits;
        EXPECT_EQ(query(info.fccHandler, 0, 200), ICERR_BADFORMAT);
        EXPECT_EQ(query(info.fccHandler, 320, 200, 4), ICERR_BADFORMAT);
        HIC hic = ICOpen(ICTYPE_VIDEO, info.fccHandler, ICMODE_QUERY);
        BitmapInfoHeader in;
        in.biWidth = 320;
        in.biHeight = 200;
        in.biBitCount = 24;
        BitmapInfoHeader out = in;
        out.biCompression = info.fccHandler;
        EXPECT_EQ(ICCompressQuery(hic, &in, &out), ICERR_OK);
        out.biWidth = 160;
        EXPECT_EQ(ICCompressQuery(hic, &in, &out), ICERR_BADFORMAT);
        in.biCompression = mmioFOURCC('M', 'J', 'P', 'G');
        EXPECT_EQ(ICCompressQuery(hic, &in, nullptr), ICERR_BADFORMAT);
    }
    // Our Microsoft Video 1 encoder pads the picture to whole 4 x 4 blocks itself: any size from 1 x 1 up
    // at 16, 24 or 32 bits, so a recording keeps the rectangle as chosen.
    for (int bits : {16, 24, 32}) {
        for (auto [w, h] : {std::pair{1, 1}, std::pair{322, 200}, std::pair{333, 217}, std::pair{1366, 768}})
            EXPECT_EQ(query(kMsvc, w, h, bits), ICERR_OK) << w << "x" << h << "x" << bits;
    }
    EXPECT_EQ(alignment(kMsvc, 333, 217), 1);
    EXPECT_EQ(query(kMsvc, 320, 200, 8), ICERR_BADFORMAT);  // no palette form
    EXPECT_EQ(query(kMsvc, 32772, 4), ICERR_BADFORMAT);
    if (listed(kH264)) {  // 4:2:0 colour needs even sizes
        EXPECT_EQ(query(kH264, 321, 200), ICERR_BADFORMAT);
        EXPECT_EQ(query(kH264, 322, 201), ICERR_BADFORMAT);
        EXPECT_EQ(alignment(kH264, 333, 217), 2);
    }
}

TEST(Compressors, EachWritesARecordingThatReadsBackTheRightWayUp) {
    QTemporaryDir dir;
    for (const ICINFO& info : installed()) {
        for (int bits : {16, 24, 32}) {
            SCOPED_TRACE(fourcc(info.fccHandler) + " " + std::to_string(bits));
            Recording rec;
            rec.handler = info.fccHandler;
            rec.bits = bits;
            rec.rate = 7;
            rec.positions = {0, 1, 3};
            const QString file = dir.filePath(QString::fromStdString(fourcc(info.fccHandler)) + ".avi");
            ASSERT_EQ(test::writeRecording(file, rec), AVIERR_OK);
            const test::Probe p = test::probe(file);
            ASSERT_TRUE(p.ok) << p.errors.toStdString();
            EXPECT_EQ(p.codecTag.toStdString(), fourcc(info.fccHandler));
            EXPECT_EQ(p.width, 64);
            EXPECT_EQ(p.height, 48);
            EXPECT_EQ(p.frameRate, "7/1");
            EXPECT_EQ(p.headerFrames, 4);
            EXPECT_EQ(p.decodedFrames, 3);
            EXPECT_EQ(test::decodeErrors(file), "");

            const test::Playback back = test::play(file, bits);
            ASSERT_TRUE(back.ok());
            const BitmapInfoHeader* got = AVIStreamGetFrame(back.frames, 3);
            ASSERT_NE(got, nullptr);
            // Lossless compressors give the frame back exactly; the others close to it, and never flipped.
            double difference = 0;
            int worst = 0;
            for (int y = 0; y < rec.height; ++y) {
                for (int x = 0; x < rec.width; ++x) {
                    const test::Rgb a = test::pixelAt(got, x, y), b = test::expectedAt(x, y, 2, bits);
                    const int d = std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
                    difference += d;
                    worst = std::max(worst, d);
                }
            }
            difference /= 3.0 * rec.width * rec.height;
            if (isLossless(info.fccHandler))
                EXPECT_EQ(worst, 0);
            else
                EXPECT_LT(difference, 16.0);
        }
    }
}

TEST(Compressors, QualityAndKeyFrameIntervalReachTheEncoders) {
    QTemporaryDir dir;
    for (const ICINFO& info : installed()) {
        SCOPED_TRACE(fourcc(info.fccHandler));
        Recording rec;
        rec.handler = info.fccHandler;
        rec.width = 160;
        rec.height = 96;
        rec.positions = {0, 1, 2, 3, 4, 5, 6};
        rec.keyFrameEvery = 3;
        rec.still = true;  // nothing changes: only the interval makes key frames
        const QString file = dir.filePath("k.avi");
        ASSERT_EQ(test::writeRecording(file, rec), AVIERR_OK);
        const test::Probe p = test::probe(file);
        ASSERT_EQ(p.packetKeys.size(), 7u);
        if (info.dwFlags & VIDCF_TEMPORAL)
            EXPECT_EQ(p.packetKeys, (std::vector<bool>{true, false, false, true, false, false, true}));
        else
            EXPECT_EQ(std::count(p.packetKeys.begin(), p.packetKeys.end(), true), 7);

        if (!(info.dwFlags & VIDCF_QUALITY))
            continue;
        rec.still = false;
        rec.quality = 1000;
        ASSERT_EQ(test::writeRecording(dir.filePath("low.avi"), rec), AVIERR_OK);
        rec.quality = 9500;
        ASSERT_EQ(test::writeRecording(dir.filePath("high.avi"), rec), AVIERR_OK);
        EXPECT_LT(QFileInfo(dir.filePath("low.avi")).size(), QFileInfo(dir.filePath("high.avi")).size());
    }
}
