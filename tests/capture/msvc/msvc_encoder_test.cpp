#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <stdexcept>
#include <tuple>

#include "capture/msvc/lav_msvideo1.h"
#include "capture/msvc/msvc_encoder.h"
#include "capture/msvc/msvc_quality.h"
#include "msvc_pictures.h"

extern "C" {
#include <libavutil/log.h>
}

namespace zelq {
namespace {

using test::Picture;
using test::toDib;

// libavcodec's decoder reports a damaged frame only in its log; count what it logs as an error.
std::atomic<int> decoderComplaints{0};
void countComplaints(void*, int level, const char*, va_list) {
    if (level <= AV_LOG_ERROR)
        ++decoderComplaints;
}

// Encodes with our encoder and decodes every frame with libavcodec's decoder, which must show exactly the
// picture the encoder believes it shows.
class Coded {
public:
    Coded(int width, int height, int quality, int keyFrameEvery)
        : encoder(MsvcEncoderOptions{width, height, quality, keyFrameEvery}),
          decoder(encoder.codedWidth(), encoder.codedHeight()) {
        av_log_set_callback(countComplaints);
        decoderComplaints = 0;
    }
    std::vector<std::uint8_t> frame(const Picture& picture, int bitsPerPixel, bool* key = nullptr) {
        const std::vector<std::uint8_t> dib = toDib(picture, bitsPerPixel);
        std::vector<std::uint8_t> data = encoder.encode(dib.data(), bitsPerPixel, key);
        shown = decoder.decode(data);
        EXPECT_EQ(shown, encoder.reconstruction());
        EXPECT_EQ(decoderComplaints, 0);
        totalBytes += data.size();
        return data;
    }

    MsvcEncoder encoder;
    msvc::LavMsvideo1Decoder decoder;
    std::vector<std::uint16_t> shown;
    std::size_t totalBytes = 0;
};

// Which blocks a frame skips, in stream order, read from the codes themselves.
std::vector<bool> skippedBlocks(const std::vector<std::uint8_t>& f, std::size_t blocks) {
    const auto word = [&](std::size_t at) { return static_cast<unsigned>(f.at(at) | f.at(at + 1) << 8); };
    std::vector<bool> skipped;
    std::size_t at = 0;
    while (skipped.size() < blocks) {
        const unsigned w = word(at);
        at += 2;
        if ((w & 0xFC00) == 0x8400) {
            skipped.insert(skipped.end(), w - 0x8400, true);
        } else {
            skipped.push_back(false);
            if (!(w & 0x8000))
                at += word(at) & 0x8000 ? 16 : 4;  // two or eight colours follow the mask
        }
    }
    EXPECT_EQ(skipped.size(), blocks);
    EXPECT_EQ(word(at), 0u);
    EXPECT_EQ(at + 2, f.size());
    return skipped;
}

using SizeAndDepth = std::tuple<int, int, int>;
class EveryFrameDecodes : public ::testing::TestWithParam<SizeAndDepth> {};

TEST_P(EveryFrameDecodes, ToTheEncodersOwnPictureWithKeyFramesOnSchedule) {
    const auto [width, height, bits] = GetParam();
    Coded coded(width, height, 6550, 5);
    for (int i = 0; i < 7; ++i) {
        // frame 3 changes only the square, frame 4 nothing; the rest of the picture changes every frame
        const std::uint32_t seed = static_cast<std::uint32_t>(i == 3 || i == 4 ? 2 : i);
        const Picture picture = test::screenLike(width, height, seed, 8 + (i == 3 || i == 4 ? 12 : 0), 8);
        bool key = false;
        const std::vector<std::uint8_t> data = coded.frame(picture, bits, &key);
        if (i == 0 || i == 5) {
            EXPECT_TRUE(key) << "frame " << i;
        }
        if (i == 3 || i == 4) {
            EXPECT_FALSE(key) << "frame " << i;
        }
        if (i == 4) {
            EXPECT_EQ(data.size(), 2 * ((coded.encoder.reconstruction().size() / 16 + 1022) / 1023) + 2);
        }
    }
    EXPECT_GT(test::psnr555(coded.shown,
                            test::paddedRgb555(test::screenLike(width, height, 6, 8, 8),
                                               coded.encoder.codedWidth(), coded.encoder.codedHeight())),
              22.0);  // a decodable but wrong picture scores near 10
}

INSTANTIATE_TEST_SUITE_P(Sizes, EveryFrameDecodes,
                         ::testing::Values(SizeAndDepth{64, 48, 32}, SizeAndDepth{64, 48, 24},
                                           SizeAndDepth{64, 48, 16}, SizeAndDepth{401, 299, 32},
                                           SizeAndDepth{401, 299, 24}, SizeAndDepth{401, 299, 16},
                                           SizeAndDepth{1366, 768, 32}, SizeAndDepth{37, 5, 24}));

TEST(MsvcEncoder, AnySizeKeepsEveryPixelAndRepeatsTheEdges) {
    // Two colours in every 2x2 quadrant: at the best quality that is coded without loss, so the decoder
    // must show every captured pixel, and the padding must repeat the right column and the bottom row.
    for (const auto& [width, height] : {std::pair{1, 1}, {3, 5}, {5, 3}, {4, 4}, {401, 299}, {1366, 10}}) {
        Picture picture(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.at(x, y) = (x + y) % 2 ? test::Rgb8{static_cast<std::uint8_t>(x / 2 * 5), 40, 200}
                                               : test::Rgb8{250, static_cast<std::uint8_t>(y / 2 * 7), 0};
        for (int bits : {16, 24, 32}) {
            Coded coded(width, height, 10000, 0);
            coded.frame(picture, bits);
            EXPECT_EQ(coded.encoder.codedWidth(), (width + 3) / 4 * 4);
            EXPECT_EQ(coded.encoder.codedHeight(), (height + 3) / 4 * 4);
            EXPECT_EQ(coded.shown,
                      test::paddedRgb555(picture, coded.encoder.codedWidth(), coded.encoder.codedHeight()))
                << width << "x" << height << " at " << bits << " bits";
        }
    }
}

TEST(MsvcEncoder, DarkRedIsNeverTakenForASkip) {
    // A one-colour code with red 1 would read as a skip code; such blocks must still decode to what the
    // encoder meant, at every quality.
    Picture picture(16, 8);
    for (auto& p : picture.pixels) p = {8, 100, 200};
    for (int quality : {0, 6550, 10000}) {
        Coded coded(16, 8, quality, 0);
        coded.frame(picture, 32);
        if (quality == 10000) {
            EXPECT_EQ(coded.shown, test::paddedRgb555(picture, 16, 8));
        }
    }
}

TEST(MsvcEncoder, HigherQualityGivesABetterPictureAndALargerFile) {
    const int width = 160, height = 120;
    double lastPsnr = 0, worstPsnr = 0;
    std::size_t lastBytes = 0, fewestBytes = 0;
    for (int quality : {0, 2500, 5000, 6550, 8000, 9000, 10000}) {
        Coded coded(width, height, quality, 3);
        double psnrSum = 0;
        for (int i = 0; i < 4; ++i) {
            const Picture picture =
                test::screenLike(width, height, static_cast<std::uint32_t>(i), 8 + 4 * i, 8);
            coded.frame(picture, 24);
            psnrSum += test::psnr555(coded.shown, test::paddedRgb555(picture, width, height));
        }
        EXPECT_GE(psnrSum / 4, lastPsnr) << "quality " << quality;
        EXPECT_GE(coded.totalBytes, lastBytes) << "quality " << quality;
        if (quality == 0) {
            worstPsnr = psnrSum / 4;
            fewestBytes = coded.totalBytes;
        }
        if (quality == 10000) {
            EXPECT_GT(psnrSum / 4, worstPsnr + 3);
            EXPECT_GT(coded.totalBytes, 3 * fewestBytes);
        }
        lastPsnr = psnrSum / 4;
        lastBytes = coded.totalBytes;
    }
}

// Squared error of block (bx, s) of a shown picture (s counts block rows from the bottom) against the truth.
int shownError(const std::vector<std::uint16_t>& truth, const std::vector<std::uint16_t>& shown, int width,
               int height, int bx, int s) {
    int error = 0;
    for (int py = 0; py < 4; ++py) {
        for (int px = 0; px < 4; ++px) {
            const std::size_t i = static_cast<std::size_t>(height - 1 - 4 * s - py) * width + 4 * bx + px;
            for (int shift : {0, 5, 10}) {
                const int d = ((truth[i] >> shift) & 31) - ((shown[i] >> shift) & 31);
                error += d * d;
            }
        }
    }
    return error;
}

TEST(MsvcEncoder, SkipsOnlyBlocksThatShowTheirPictureWithinTheAllowedError) {
    const int width = 96, height = 64, quality = 6550;
    const msvc::Rate rate = msvc::rateForQuality(quality);
    const Picture first = test::screenLike(width, height, 1);
    Picture second = first;
    for (int y = 40; y < 50; ++y)  // a strong change
        for (int x = 50; x < 70; ++x) second.at(x, y) = {0, 255, 0};
    for (int x = 0; x < width; x += 9) second.at(x, 2)[1] ^= 1;  // changes below the 5-bit precision
    for (int y = 20; y < 36; ++y)                                // new grain on the photo-like patch
        for (int x = 48; x < 96; ++x) second.at(x, y)[(x + y) % 3] ^= 6;

    Coded coded(width, height, quality, 5);
    coded.frame(first, 32);
    const std::vector<bool> skipped = skippedBlocks(coded.frame(second, 32), width * height / 16);
    // What coding each block of the new picture afresh would show: a skipped block may be off by no more
    // than that code's error and what its bytes (at most 18) are worth, or by the limit below which no
    // code is tried.
    Coded fresh(width, height, quality, 5);
    const std::vector<std::uint8_t> freshFrame = fresh.frame(second, 32);
    const std::vector<std::uint16_t> truth = test::paddedRgb555(second, width, height);
    const std::vector<std::uint8_t> before = toDib(first, 32), after = toDib(second, 32);
    int changedButSkipped = 0;
    for (int s = 0; s < height / 4; ++s) {
        for (int bx = 0; bx < width / 4; ++bx) {
            bool same = true;
            for (int py = 0; py < 4; ++py) {
                const std::size_t dib = ((4 * s + py) * width + 4 * bx) * 4;
                same =
                    same && std::equal(before.begin() + dib, before.begin() + dib + 16, after.begin() + dib);
            }
            const bool wasSkipped = skipped[s * (width / 4) + bx];
            if (same) {
                EXPECT_TRUE(wasSkipped) << "unchanged block " << bx << "," << s << " coded again";
            } else if (wasSkipped) {
                ++changedButSkipped;
                const int allowed = std::max(
                    rate.skipLimit, shownError(truth, fresh.shown, width, height, bx, s) + 18 * rate.lambda);
                EXPECT_LE(shownError(truth, coded.shown, width, height, bx, s), allowed) << bx << "," << s;
            }
        }
    }
    EXPECT_GT(changedButSkipped, 0);
    EXPECT_FALSE(skipped[(height - 1 - 45) / 4 * (width / 4) + 60 / 4]);

    // Frames 2 to 4 repeat the picture; frame 5 is the scheduled key frame and must be what a fresh
    // encoder writes for the picture, although most of its blocks were coded frames earlier.
    for (int i = 2; i < 5; ++i) {
        bool key = true;
        coded.frame(second, 32, &key);
        EXPECT_FALSE(key);
    }
    bool key = false;
    EXPECT_EQ(coded.frame(second, 32, &key), freshFrame);
    EXPECT_TRUE(key);
}

// Neither the rows a recording knows unchanged nor the last frame it still holds change a byte of the
// output.
TEST(MsvcEncoder, RowsHintedUnchangedAreNotReadAndTheOutputStaysTheSame) {
    for (const int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        const int width = 401, height = 299;
        const MsvcEncoderOptions options{width, height, 6550, 3};
        MsvcEncoder plain(options), hinted(options), compared(options);
        std::vector<std::uint8_t> last;
        for (int i = 0; i < 7; ++i) {
            // The square moves on some frames and stays on others; everything else is the same.
            const std::vector<std::uint8_t> dib =
                test::toDib(test::screenLike(width, height, 2, 8 + 16 * (i / 2), 40), bits);
            // The rows that really differ from the last frame: the hint a recording gives.
            const std::size_t stride = dib.size() / height;
            std::vector<bool> rows(static_cast<std::size_t>(height), true);
            for (std::size_t r = 0; r < rows.size() && !last.empty(); ++r)
                rows[r] = std::memcmp(dib.data() + r * stride, last.data() + r * stride, stride) != 0;
            const std::vector<std::uint8_t> expected = plain.encode(dib.data(), bits, nullptr);
            EXPECT_EQ(hinted.encode(dib.data(), bits, nullptr, &rows), expected) << i;
            EXPECT_EQ(compared.encode(dib.data(), bits, nullptr, &rows, last.empty() ? nullptr : last.data()),
                      expected)
                << i;
            last = dib;
        }

        // A hint that hides a change is believed: the encoder really does not read those rows.
        const std::vector<std::uint8_t> moved =
            test::toDib(test::screenLike(width, height, 2, 200, 40), bits);
        const std::vector<bool> nothing(static_cast<std::size_t>(height), false);
        EXPECT_NE(hinted.encode(moved.data(), bits, nullptr, &nothing),
                  plain.encode(moved.data(), bits, nullptr));
        // Without the last frame, after frames compared with it, the encoder's own copy is out of date and
        // must not be believed: the square would stay behind where that copy last saw it.
        compared.encode(moved.data(), bits, nullptr);
        EXPECT_EQ(compared.reconstruction(), plain.reconstruction());
    }
}

TEST(MsvcEncoder, KeyFrameIntervalOfZeroOrLessMeansTheFirstFrameOnly) {
    const Picture picture = test::screenLike(32, 32, 3);
    for (int every : {0, -4, 1}) {
        Coded coded(32, 32, 6550, every);
        for (int i = 0; i < 12; ++i) {
            bool key = false;
            coded.frame(picture, 32, &key);
            EXPECT_EQ(key, i == 0 || every == 1) << "interval " << every << ", frame " << i;
        }
    }
}

TEST(MsvcEncoder, RowPaddingIsNotPartOfThePicture) {
    // 401 pixels of 24 bits leave one byte of padding a row, which a grabber need not clear
    const Picture picture = test::screenLike(401, 9, 4);
    std::vector<std::uint8_t> dib = toDib(picture, 24);
    MsvcEncoder encoder(MsvcEncoderOptions{401, 9, 6550, 0});
    encoder.encode(dib.data(), 24, nullptr);
    for (int row = 0; row < 9; ++row) dib[1204 * row + 1203] = 0xAB;
    bool key = true;
    EXPECT_EQ(encoder.encode(dib.data(), 24, &key).size(), 4u);  // one skip code for every block, the end
    EXPECT_FALSE(key);
}

TEST(MsvcEncoder, RefusesWhatItCannotCode) {
    EXPECT_THROW(MsvcEncoder(MsvcEncoderOptions{0, 10}), std::invalid_argument);
    EXPECT_THROW(MsvcEncoder(MsvcEncoderOptions{10, -1}), std::invalid_argument);
    MsvcEncoder encoder(MsvcEncoderOptions{8, 8});
    const std::vector<std::uint8_t> dib(8 * 8 * 4, 0);
    EXPECT_THROW(encoder.encode(dib.data(), 8, nullptr), std::invalid_argument);
    EXPECT_THROW(encoder.encode(nullptr, 32, nullptr), std::invalid_argument);
    // a change of depth between frames is coded, not compared byte for byte with the other depth
    bool key = false;
    EXPECT_FALSE(encoder.encode(dib.data(), 32, &key).empty());
    const std::vector<std::uint8_t> white(8 * 8 * 2, 0xFF);
    encoder.encode(white.data(), 16, &key);
    EXPECT_EQ(encoder.reconstruction(), std::vector<std::uint16_t>(64, 0x7FFF));
}

}  // namespace
}  // namespace zelq
