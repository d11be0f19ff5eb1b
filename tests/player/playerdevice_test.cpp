// The player device on recordings written by our own writer (read back by ffprobe as well): its modes
// through a whole play, the time each picture goes up, and files it must refuse or end quietly.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "player/playerdevice.h"
#include "player/videosink.h"
#include "vfw_testkit.h"

using namespace zelq;

namespace {

// Flat colours a 16-bit picture holds exactly (5 bits each), one per frame.
const test::Rgb kColours[] = {{248, 0, 0}, {0, 248, 0}, {0, 0, 248}, {248, 248, 0}, {0, 248, 248}};

// Wider than 5 bits per colour after decoding: 248 comes back as 255.
bool near(test::Rgb a, test::Rgb b) {
    return std::abs(a.r - b.r) <= 10 && std::abs(a.g - b.g) <= 10 && std::abs(a.b - b.b) <= 10;
}

// A display that notes each picture as it goes up: its position, when, and its colour in the middle.
struct Shown {
    std::int64_t position;
    qint64 ms;
    test::Rgb colour;
};
class NotingDisplay : public VideoSink {
public:
    explicit NotingDisplay(const PlayerDevice& device) : device_(device) { clock_.start(); }
    void pictureChanged() override {
        const Picture* p = device_.shownPicture();
        if (!p || (!shown.empty() && p == last_ && shown.back().position == p->position)) return;
        last_ = p;
        const std::uint8_t* px = p->pixels.get() + (p->height / 2) * p->stride + (p->width / 2) * 4;
        shown.push_back({p->position, clock_.elapsed(), {px[2], px[1], px[0]}});
    }
    std::vector<Shown> shown;

private:
    const PlayerDevice& device_;
    const Picture* last_ = nullptr;
    QElapsedTimer clock_;
};

std::uint32_t statusOf(const PlayerDevice& d, MciStatusItem item) {
    std::uint32_t v = 0;
    EXPECT_EQ(d.status(item, v), MMSYSERR_NOERROR);
    return v;
}

class PlayerDeviceTest : public ::testing::Test {
protected:
    // 70 x 50 is coded as 72 x 52; positions 2, 3, 6, 7 and 8 are empty.
    QString writeGappedRecording() {
        const QString path = dir.filePath("gaps.avi");
        test::Recording rec;
        rec.width = 70;
        rec.height = 50;
        rec.positions = {0, 1, 4, 5, 9};
        rec.picture = [](int, int, int frame) { return kColours[frame]; };
        EXPECT_EQ(test::writeRecording(path, rec), AVIERR_OK);
        const test::Probe probe = test::probe(path);
        EXPECT_EQ(probe.codecTag, "MSVC");
        EXPECT_EQ(probe.headerFrames, 10);
        EXPECT_EQ(probe.decodedFrames, 5);
        return path;
    }
    // Plays to the end (or fails the test after a while) and says how the play ended.
    std::uint32_t playToEnd(PlayerDevice& device) {
        QSignalSpy ended(&device, &PlayerDevice::notified);
        EXPECT_EQ(device.play(true), MMSYSERR_NOERROR);
        if (ended.isEmpty()) {
            EXPECT_TRUE(ended.wait(10000));
        }
        return ended.isEmpty() ? 0 : ended.takeFirst().at(0).toUInt();
    }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(PlayerDeviceTest, PlaysARecordingThroughItsModesHoldingPicturesOverEmptyPositions) {
    const QString path = writeGappedRecording();
    PlayerDevice device;
    NotingDisplay display(device);
    std::uint32_t mode = 0;
    EXPECT_EQ(device.status(MciStatusItem::Mode, mode), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(device.play(false), MCIERR_INVALID_DEVICE_ID);

    ASSERT_EQ(device.open(path.toStdString()), MMSYSERR_NOERROR);
    ASSERT_EQ(device.window(&display), MMSYSERR_NOERROR);
    EXPECT_EQ(device.naturalSize(), QSize(70, 50));  // the coding padding is not part of the picture
    EXPECT_EQ(statusOf(device, MciStatusItem::Mode), MCI_MODE_STOP);
    EXPECT_EQ(statusOf(device, MciStatusItem::Length), 10u);

    ASSERT_EQ(playToEnd(device), MCI_NOTIFY_SUCCESSFUL);
    ASSERT_EQ(display.shown.size(), 5u);
    const std::int64_t positions[] = {0, 1, 4, 5, 9};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(display.shown[i].position, positions[i]);
        EXPECT_TRUE(near(display.shown[i].colour, kColours[i])) << i;
        // Never early: each picture waits for its position, empty ones before it included.
        EXPECT_GE(display.shown[i].ms - display.shown[0].ms, positions[i] * 100 - 5) << i;
    }
    // At the end: stopped, position at the length, the last picture still up.
    EXPECT_EQ(statusOf(device, MciStatusItem::Mode), MCI_MODE_STOP);
    EXPECT_EQ(statusOf(device, MciStatusItem::Position), 10u);
    ASSERT_NE(device.shownPicture(), nullptr);
    EXPECT_EQ(device.shownPicture()->position, 9);
    // A play from the end ends at once; going back is the caller's step.
    EXPECT_EQ(playToEnd(device), MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(display.shown.size(), 5u);

    ASSERT_EQ(device.seekToStart(), MMSYSERR_NOERROR);
    EXPECT_EQ(device.resume(false), MCIERR_NONAPPLICABLE_FUNCTION);
    display.shown.clear();
    ASSERT_EQ(device.play(false), MMSYSERR_NOERROR);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !display.shown.empty() && display.shown.back().position >= 1; }, 5000));
    EXPECT_EQ(display.shown.front().position, 0);
    ASSERT_EQ(device.pause(), MMSYSERR_NOERROR);
    EXPECT_EQ(statusOf(device, MciStatusItem::Mode), MCI_MODE_PAUSE);
    const std::uint32_t paused = statusOf(device, MciStatusItem::Position);
    QTest::qWait(400);  // past positions 4 and 5 had it been playing
    EXPECT_EQ(statusOf(device, MciStatusItem::Position), paused);
    ASSERT_EQ(device.resume(false), MMSYSERR_NOERROR);
    EXPECT_EQ(statusOf(device, MciStatusItem::Mode), MCI_MODE_PLAY);
    ASSERT_EQ(device.stop(), MMSYSERR_NOERROR);
    const std::uint32_t stopped = statusOf(device, MciStatusItem::Position);
    const std::size_t before = display.shown.size();
    QTest::qWait(300);
    EXPECT_EQ(display.shown.size(), before);
    // Play after stop goes on from there, not from the start.
    ASSERT_EQ(playToEnd(device), MCI_NOTIFY_SUCCESSFUL);
    for (std::size_t i = before; i < display.shown.size(); ++i) EXPECT_GT(display.shown[i].position, stopped);

    ASSERT_EQ(device.close(), MMSYSERR_NOERROR);
    EXPECT_EQ(device.status(MciStatusItem::Mode, mode), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(device.shownPicture(), nullptr);
}

TEST_F(PlayerDeviceTest, BadFilesAreRefusedOrEndQuietlyAndTheDeviceStaysUsable) {
    const QString good = writeGappedRecording();
    QByteArray bytes;
    {
        QFile f(good);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        bytes = f.readAll();
    }
    auto write = [this](const QString& name, const QByteArray& data) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        return dir.filePath(name);
    };
    // A picture size claimed far beyond any screen, in the stream format's width and height.
    QByteArray huge = bytes;
    const int strf = huge.indexOf("strf");
    ASSERT_GT(strf, 0);
    const std::int32_t side = 60000;
    huge.replace(strf + 12, 4, reinterpret_cast<const char*>(&side), 4);
    huge.replace(strf + 16, 4, reinterpret_cast<const char*>(&side), 4);

    PlayerDevice device;
    EXPECT_EQ(device.open(dir.filePath("missing.avi").toStdString()), MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(device.open(write("empty.avi", {}).toStdString()), MCIERR_INVALID_FILE);
    EXPECT_EQ(device.open(write("text.avi", "not a video at all").toStdString()), MCIERR_INVALID_FILE);
    EXPECT_EQ(device.open(write("huge.avi", huge).toStdString()), MCIERR_INVALID_FILE);
    // A playlist saved as .avi that names a recording: only the file itself is read, and only as AVI.
    const QByteArray playlist =
        "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:1.0,\n" + good.toUtf8() + "\n#EXT-X-ENDLIST\n";
    EXPECT_EQ(device.open(write("list.avi", playlist).toStdString()), MCIERR_INVALID_FILE);
    EXPECT_FALSE(device.isOpen());

    // Cut short: the play ends after the last frame still there, whatever the header claims, and the
    // end is where a play goes back to the start.
    const int movi = bytes.indexOf("movi");
    ASSERT_GT(movi, 0);
    const QString cut = write("cut.avi", bytes.left(movi + (bytes.size() - movi) / 2));
    ASSERT_EQ(device.open(cut.toStdString()), MMSYSERR_NOERROR);
    EXPECT_EQ(playToEnd(device), MCI_NOTIFY_SUCCESSFUL);
    const Picture* last = device.shownPicture();
    ASSERT_NE(last, nullptr);
    EXPECT_LT(last->position, 9);
    EXPECT_EQ(statusOf(device, MciStatusItem::Position), last->position + 1);
    EXPECT_EQ(statusOf(device, MciStatusItem::Length), last->position + 1);

    // Deleted while it plays: the play ends as usual.
    const QString doomed = write("doomed.avi", bytes);
    ASSERT_EQ(device.open(doomed.toStdString()), MMSYSERR_NOERROR);
    QSignalSpy ended(&device, &PlayerDevice::notified);
    ASSERT_EQ(device.play(true), MMSYSERR_NOERROR);
    ASSERT_TRUE(QFile::remove(doomed));
    ASSERT_TRUE(ended.wait(10000));
    EXPECT_EQ(ended.takeFirst().at(0).toUInt(), MCI_NOTIFY_SUCCESSFUL);

    ASSERT_EQ(device.open(good.toStdString()), MMSYSERR_NOERROR);
    EXPECT_EQ(statusOf(device, MciStatusItem::Length), 10u);
}
