// The player with sound, through a private PipeWire server: the sound leads the pictures and is heard in
// step with them, also after a pause; a sound stream no decoder reads leaves the picture playing alone.
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>

#include "player/playerdevice.h"
#include "player/videosink.h"
#include "common/soundprobe.h"
#include "common/soundserver.h"
#include "platform/sound/soundcapture.h"
#include "platform/sound/soundformat.h"
#include "vfw_testkit.h"

using namespace zelq;
using SteadyClock = std::chrono::steady_clock;

namespace {

// Four seconds at 10 positions a second: the picture is white and a tone sounds at 1.0-1.2 s and at
// 3.0-3.2 s, dark and silent otherwise.
bool marked(double seconds) {
    return (seconds >= 1.0 && seconds < 1.2) || (seconds >= 3.0 && seconds < 3.2);
}

::test::SoundRecording markedRecording() {
    ::test::SoundRecording rec;
    rec.positions = 40;
    rec.picture = [](int, int, int frame) {
        return marked(frame / 10.0 + 1e-9) ? ::test::Rgb{255, 255, 255} : ::test::Rgb{0, 0, 0};
    };
    rec.sound = [](std::int64_t frame) {
        const double t = static_cast<double>(frame) / 48000;
        return static_cast<std::int16_t>(marked(t) ? 12000 * std::sin(2 * M_PI * 800 * t) : 0);
    };
    return rec;
}

// Notes when a picture that is white in its middle goes up after a dark one.
class FlashDisplay : public VideoSink {
public:
    explicit FlashDisplay(const PlayerDevice& device) : device_(device) {}
    void pictureChanged() override {
        const Picture* p = device_.shownPicture();
        if (!p)
            return;
        ++changes;
        const bool white = p->pixels.get()[(p->height / 2) * p->stride + (p->width / 2) * 4] > 128;
        if (white && !white_)
            flashes.push_back(SteadyClock::now());
        white_ = white;
    }
    std::vector<SteadyClock::time_point> flashes;
    int changes = 0;

private:
    const PlayerDevice& device_;
    bool white_ = false;
};

// The device is closed before its display goes, as the program closes its player before its panel:
// closing tells the display, which must still be there.
struct ShownDevice {
    PlayerDevice device;
    FlashDisplay display{device};
    ~ShownDevice() { device.close(); }
    // Opens the file into the display.
    bool open(const QString& path) {
        return device.open(path.toStdString()) == MMSYSERR_NOERROR && device.window(&display) == MMSYSERR_NOERROR;
    }
};

class PlayerSoundTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new zelq::test::PrivateSoundServer; }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    static zelq::test::PrivateSoundServer* server;
    QTemporaryDir dir;
};

zelq::test::PrivateSoundServer* PlayerSoundTest::server = nullptr;

}  // namespace

TEST_F(PlayerSoundTest, TheSoundLeadsThePicturesAndIsHeardInStepAlsoAfterAPause) {
    ZELQ_REQUIRE_SOUND_SERVER(*server);
    const QString path = dir.filePath("marked.avi");
    ASSERT_EQ(::test::writeSoundRecording(path, markedRecording()), AVIERR_OK);
    ASSERT_EQ(soundprobe::probeStreams(path).size(), 2u);

    // What the speakers play, heard through their monitor on this process's steady clock.
    sound::SoundCapture monitor(sound::SoundChoice::Computer, {});
    ShownDevice shown;
    PlayerDevice& device = shown.device;
    FlashDisplay& display = shown.display;
    ASSERT_TRUE(shown.open(path));
    ASSERT_TRUE(device.hasSound());
    QTest::qWait(500);  // the monitor connects meanwhile
    const SteadyClock::time_point origin = SteadyClock::now();
    monitor.setOrigin(origin);
    QSignalSpy notified(&device, &PlayerDevice::notified);
    ASSERT_EQ(device.play(true), MMSYSERR_NOERROR);

    // A pause between the two marks holds picture and sound alike.
    std::uint32_t position = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return device.status(MciStatusItem::Position, position) == 0 && position >= 20; }, 20000));
    ASSERT_EQ(device.pause(), MMSYSERR_NOERROR);
    QTest::qWait(700);
    ASSERT_EQ(device.resume(true), MMSYSERR_NOERROR);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !notified.isEmpty() && notified.last()[0].toUInt() == MCI_NOTIFY_SUCCESSFUL; }, 30000));
    QTest::qWait(500);  // the last sound on its way through the monitor

    const std::int64_t frames = monitor.settled(monitor.framesAt(SteadyClock::now()));
    std::vector<std::int16_t> heard(static_cast<std::size_t>(frames * sound::kChannels));
    monitor.take(0, frames, heard.data());
    std::vector<double> tones;  // seconds after the origin
    std::int64_t quiet = 0;
    for (std::int64_t i = 0; i < frames; ++i) {
        if (std::abs(heard[static_cast<std::size_t>(2 * i)]) < 3000) {
            ++quiet;
            continue;
        }
        if (quiet > 4800)
            tones.push_back(static_cast<double>(i) / sound::kRate);
        quiet = 0;
    }
    ASSERT_EQ(tones.size(), 2u);
    ASSERT_EQ(display.flashes.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const double flash = std::chrono::duration<double>(display.flashes[i] - origin).count();
        std::cout << "mark " << i << ": tone heard at " << tones[i] << " s, picture up at " << flash
                  << " s\n";
        EXPECT_NEAR(tones[i], flash, 0.040);
    }
    EXPECT_GE(tones[1] - tones[0], 2.0 + 0.5);  // the pause held the sound too
}

TEST_F(PlayerSoundTest, ASoundStreamNoDecoderReadsLeavesThePicturePlaying) {
    const QString path = dir.filePath("odd sound.avi");
    ASSERT_EQ(::test::writeSoundRecording(path, markedRecording()), AVIERR_OK);
    // The sound's format tag becomes one no decoder knows.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype format = bytes.indexOf("strf", bytes.indexOf("auds"));
    ASSERT_GT(format, 0);
    bytes[format + 8] = 0x77;
    bytes[format + 9] = 0x77;
    file.seek(0);
    file.write(bytes);
    file.close();
    const std::vector<soundprobe::StreamFacts> streams = soundprobe::probeStreams(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_NE(streams[1].codec, "pcm_s16le");

    ShownDevice shown;
    PlayerDevice& device = shown.device;
    FlashDisplay& display = shown.display;
    ASSERT_TRUE(shown.open(path));
    EXPECT_FALSE(device.hasSound());
    QSignalSpy notified(&device, &PlayerDevice::notified);
    ASSERT_EQ(device.play(true), MMSYSERR_NOERROR);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notified.isEmpty(); }, 30000));
    EXPECT_EQ(notified.last()[0].toUInt(), MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(display.flashes.size(), 2u);
}
