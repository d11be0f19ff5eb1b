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
    int fed = 0;
    for (const test::Recording* rec : {&msvc, &ffv1, &paletted}) {
        const QByteArray whole = recordingBytes(dir.filePath("seed.avi"), *rec);
        ASSERT_GT(whole.size(), 1000);
        for (const QByteArray& damaged : test::damagedCopies(whole, 2026)) {
            feed(damaged);
            ++fed;
        }
    }
    EXPECT_EQ(fed, 312);
}
