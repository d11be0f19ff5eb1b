// The split over damaged and lying copies of recordings: every split ends, with a message or without,
// and every picture it writes is a whole BMP that ffmpeg reads.
#include <QDir>
#include <QFile>
#include <QProcess>

#include "capture/vfw/vfw_testkit.h"
#include "mainwindow_fixture.h"

using namespace zelq;
using zelq::test::MainWindowTest;

TEST_F(MainWindowTest, SplittingDamagedRecordingsEndsAndWritesOnlyWholePictures) {
    const QString folder = dir.filePath("fuzz/");
    QDir().mkpath(folder);
    ::test::Recording msvc;
    msvc.positions = {0, 1, 4, 5, 9};
    ::test::Recording paletted = msvc;
    paletted.handler = 0;
    paletted.bits = 8;
    const QString kept = dir.filePath("kept/");
    QDir().mkpath(kept);
    TFrmScreenCam& w = open();
    int inputs = 0, pictures = 0;
    for (const ::test::Recording* rec : {&msvc, &paletted}) {
        ASSERT_EQ(::test::writeRecording(folder + "seed.avi", *rec), AVIERR_OK);
        QFile seed(folder + "seed.avi");
        ASSERT_TRUE(seed.open(QIODevice::ReadOnly));
        const QByteArray whole = seed.readAll();
        for (const QByteArray& damaged : ::test::damagedCopies(whole, 7)) {
            SCOPED_TRACE(inputs++);
            QFile input(folder + "input.avi");
            ASSERT_TRUE(input.open(QIODevice::WriteOnly) && input.write(damaged) == damaged.size());
            input.close();
            QDir(folder + "img").removeRecursively();
            w.BitmapListBox->clear();
            w.SplitRecordingToPictures(folder + "input.avi");
            // No more pictures than the ten positions the recording has, and as many as are listed.
            const QStringList written = QDir(folder + "img").entryList(QDir::Files | QDir::Hidden);
            EXPECT_LE(written.size(), 10);
            EXPECT_EQ(written.size(), w.BitmapListBox->count());
            for (const QString& name : written)
                ASSERT_TRUE(QFile::copy(folder + "img/" + name, kept + QStringLiteral("%1.bmp").arg(pictures++, 5, 10, QLatin1Char('0'))));
        }
    }
    EXPECT_EQ(inputs, 208);
    ASSERT_GT(pictures, 100);
    // One reading by ffmpeg of every picture written.
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-nostdin", "-v", "error", "-f", "image2", "-i", kept + "%05d.bmp", "-f", "null", "-"});
    ASSERT_TRUE(ffmpeg.waitForFinished(120000));
    EXPECT_EQ(ffmpeg.exitCode(), 0);
    EXPECT_EQ(ffmpeg.readAllStandardError(), "");
}
