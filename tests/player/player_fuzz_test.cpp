// The player's open-and-play over damaged and lying copies of recordings, ours and one that ffmpeg wrote
// with sound: every one is refused or decodes to its end, never crashing or running on; and the device
// plays some of them to the end or is closed while it plays.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "media/mediasource.h"
#include "player/playerdevice.h"
#include "vfw_testkit.h"

using namespace zelq;
using test::bytesOf;

TEST(PlayerFuzz, DamagedRecordingsAreRefusedOrPlayToAnEnd) {
    QTemporaryDir dir;
    test::Recording msvc;
    msvc.rate = 1000;  // a play lasts milliseconds
    msvc.positions = {0, 1, 4, 5, 9};
    test::Recording ffv1 = msvc;
    ffv1.handler = mmioFOURCC('F', 'F', 'V', '1');
    std::vector<QByteArray> seeds;
    for (const test::Recording* rec : {&msvc, &ffv1}) {
        ASSERT_EQ(test::writeRecording(dir.filePath("seed.avi"), *rec), AVIERR_OK);
        seeds.push_back(bytesOf(dir.filePath("seed.avi")));
    }
    ASSERT_TRUE(test::pipeWrittenAviWithSound(dir.filePath("piped.avi"), 1));
    seeds.push_back(bytesOf(dir.filePath("piped.avi")));

    const QString input = dir.filePath("input.avi");
    PlayerDevice device;
    int inputs = 0, opened = 0;
    for (const QByteArray& seed : seeds) {
        for (const QByteArray& damaged : test::damagedCopies(seed, 24)) {
            SCOPED_TRACE(inputs);
            QFile f(input);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(damaged) == damaged.size());
            f.close();
            std::unique_ptr<MediaSource> source;
            if (MediaSource::open(input.toStdString(), source) == MediaOpen::Ok) {
                ++opened;
                // Every frame a file of at most 20 frames holds, and then the end: never a stream without one.
                int frames = 0;
                std::int64_t position = 0;
                while (frames <= 1000 && source->decodeNext(position)) ++frames;
                EXPECT_LE(frames, 1000);
            }
            // Some through the device: played to the end, or closed while it plays.
            if (inputs++ % 16 == 0 && device.open(input.toStdString()) == MMSYSERR_NOERROR) {
                QSignalSpy ended(&device, &PlayerDevice::notified);
                EXPECT_EQ(device.play(true), MMSYSERR_NOERROR);
                if (ended.isEmpty())
                    ended.wait(2000);
                EXPECT_EQ(device.close(), MMSYSERR_NOERROR);
            }
        }
    }
    EXPECT_EQ(inputs, 312);
    EXPECT_GT(opened, 100);  // the damage leaves many files playable: the decoding is exercised
}
