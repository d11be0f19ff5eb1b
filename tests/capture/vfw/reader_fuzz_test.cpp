// The reader's fuzz target run over damaged copies of recordings the program writes: truncated at many
// places and with bytes flipped, a few hundred in all. Passing means no crash (and, under the sanitizer
// builds, no bad memory access).
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "vfw_testkit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

using namespace zelq;

namespace {

QByteArray recordingBytes(const QString& path, const test::Recording& rec) {
    EXPECT_EQ(test::writeRecording(path, rec), AVIERR_OK);
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void feed(const QByteArray& bytes) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

TEST(AviReaderFuzz, DamagedRecordingsNeverCrashTheReader) {
    QTemporaryDir dir;
    test::Recording msvc;
    msvc.positions = {0, 1, 4, 5, 9};
    test::Recording ffv1 = msvc;
    ffv1.handler = mmioFOURCC('F', 'F', 'V', '1');
    test::Recording paletted = msvc;
    paletted.handler = 0;
    paletted.bits = 8;
    std::uint32_t seed = 2026;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    int fed = 0;
    for (const test::Recording* rec : {&msvc, &ffv1, &paletted}) {
        const QByteArray whole = recordingBytes(dir.filePath("seed.avi"), *rec);
        ASSERT_GT(whole.size(), 1000);
        feed(whole);
        for (int cut = 1; cut < 40; ++cut) feed(whole.left(whole.size() * cut / 40));
        for (int variant = 0; variant < 60; ++variant) {
            QByteArray damaged = whole;
            // Most flips land in the header and the index, where a reader trusts sizes and counts.
            for (int flip = 0; flip < 1 + variant % 8; ++flip) {
                const qsizetype at = variant % 2 ? next() % std::min<qsizetype>(damaged.size(), 2048)
                                                 : next() % damaged.size();
                damaged[at] = static_cast<char>(next() >> 24);
            }
            feed(damaged);
        }
        fed += 1 + 39 + 60;
    }
    EXPECT_EQ(fed, 300);
}
