// A pause over the session bus, end to end: the real program records an area with the computer's sound
// from a private sound server while a tone pattern plays and the area flashes in step with it; the bus
// pauses the recording for two seconds between tones and resumes it. The file leaves the pause out, and
// after it every tone still meets its flash. ffprobe and ffmpeg read the file.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QDBusInterface>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include "common/soundprobe.h"
#include "common/soundserver.h"
#include "control/busservice.h"
#include "controltest.h"
#include "platform/sound/soundformat.h"
#include "platform/sound/soundoutput.h"

using namespace zelq;

namespace {

constexpr QRect kArea{300, 200, 160, 120};
constexpr double kToneLength = 0.15;
constexpr double kToneEvery = 0.8;
constexpr int kTonesEachSide = 3;

// A window of our own on the session's X server, black or white at once: each change is made and
// acknowledged by the server before set() returns, so the moment it returns the screen shows it.
class FlashWindow {
public:
    FlashWindow(const QString& display, QRect at)
        : c_(xcb_connect(display.toLocal8Bit().constData(), nullptr)) {
        if (xcb_connection_has_error(c_.get()))
            return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_.get())).data;
        black_ = screen->black_pixel;
        white_ = screen->white_pixel;
        window_ = xcb_generate_id(c_.get());
        // Over everything, whatever the window manager thinks: it never takes part in the stacking.
        const std::uint32_t values[] = {black_, 1};
        xcb_create_window(c_.get(), XCB_COPY_FROM_PARENT, window_, screen->root,
                          static_cast<std::int16_t>(at.x()), static_cast<std::int16_t>(at.y()),
                          static_cast<std::uint16_t>(at.width()), static_cast<std::uint16_t>(at.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c_.get(), window_);
        ok_ = sync();
    }
    bool ok() const { return ok_; }
    bool set(bool bright) {
        const std::uint32_t pixel = bright ? white_ : black_;
        xcb_change_window_attributes(c_.get(), window_, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(c_.get(), 0, window_, 0, 0, 0, 0);
        return sync();
    }

private:
    // A round trip: everything asked before it has been done.
    bool sync() {
        std::free(xcb_get_input_focus_reply(c_.get(), xcb_get_input_focus(c_.get()), nullptr));
        return !xcb_connection_has_error(c_.get());
    }
    struct Disconnect {
        void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
    };
    std::unique_ptr<xcb_connection_t, Disconnect> c_;
    xcb_window_t window_ = 0;
    std::uint32_t black_ = 0, white_ = 0;
    bool ok_ = false;
};

// Tones played into the private server at chosen moments of the stream, the window flashing as each is
// heard by the server's own clock. Tones are chosen ahead of what is queued, never over it. The test
// thread steps it often; every wait of the test steps it, so the speaker never runs dry (a dry speaker
// would put the stream's clock ahead of its frames).
class ToneAndFlash {
public:
    explicit ToneAndFlash(FlashWindow& window) : window_(window) {}
    bool ready() {
        return QTest::qWaitFor([&] { return speaker_.ready() || speaker_.failed(); }, 20000) && speaker_.ready();
    }
    void start() {
        while (speaker_.queued() < sound::kRate) feed();
        speaker_.setRunning(true);
    }
    // Seconds of the stream queued so far: a tone may start from here on.
    double queuedUntil() const { return static_cast<double>(fed_) / sound::kRate; }
    // A tone at `at` seconds of the stream, or as soon after as the queue allows; where it went.
    double addTone(double at) {
        tones_.push_back(std::max(at, queuedUntil()));
        return tones_.back();
    }
    double heard() const { return speaker_.heard().value_or(0); }
    // How late each flash came after its tone by the same clock, in order.
    const std::vector<double>& flashLate() const { return flashLate_; }

    void step() {
        if (speaker_.queued() < sound::kRate)
            feed();
        const double now = heard();
        const std::size_t next = flashLate_.size();
        if (bright_ ? now >= tones_[next - 1] + kToneLength : next < tones_.size() && now >= tones_[next]) {
            bright_ = !bright_;
            window_.set(bright_);
            if (bright_)
                flashLate_.push_back(heard() - tones_[next]);
        }
        QCoreApplication::processEvents();
        QThread::usleep(500);
    }
    void stepFor(int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) step();
    }
    void stepUntilHeard(double seconds) {
        QElapsedTimer guard;
        guard.start();
        while (heard() < seconds && guard.elapsed() < 60000) step();
    }
    // A bus call, answered while the stimulus goes on.
    QDBusMessage during(const QDBusPendingCall& call) {
        while (!call.isFinished()) step();
        return call.reply();
    }

private:
    void feed() {
        std::vector<std::int16_t> chunk;
        for (std::int64_t i = 0; i < 4800; ++i) {
            const double t = static_cast<double>(fed_ + i) / sound::kRate;
            const bool on = std::any_of(tones_.begin(), tones_.end(),
                                        [t](double at) { return t >= at && t < at + kToneLength; });
            const auto s = static_cast<std::int16_t>(on ? 12000 * std::sin(2 * M_PI * 1000 * t) : 0);
            chunk.push_back(s);
            chunk.push_back(s);
        }
        fed_ += speaker_.queue(chunk.data(), 4800);
    }

    FlashWindow& window_;
    sound::SoundOutput speaker_;
    std::vector<double> tones_;
    std::vector<double> flashLate_;
    std::int64_t fed_ = 0;
    bool bright_ = false;
};

bool fine(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace

using ControlSoundTest = zelq::test::ControlTest;

TEST_F(ControlSoundTest, APauseOverTheBusIsLeftOutOfTheFileAndSoundAndPictureStayInStepAfterIt) {
    // Before the program starts: it finds the server through the environment.
    zelq::test::PrivateSoundServer server;
    ZELQ_REQUIRE_SOUND_SERVER(server);
    ASSERT_TRUE(session.startProgram());
    const std::unique_ptr<QDBusInterface> bused = busProgram();
    ASSERT_TRUE(bused);
    QDBusInterface& program = *bused;
    FlashWindow window(session.display(), kArea);
    ASSERT_TRUE(window.ok());
    ToneAndFlash stimulus(window);
    ASSERT_TRUE(stimulus.ready());

    // 50 positions a second, so that the picture alone places a flash within 20 ms.
    const QString path = file("tones.avi");
    const QVariantMap options{{"sound", "computer"}, {"interval", 20}, {"rate", 50}, {"output", path}};
    const QDBusMessage started =
        program.call("RecordArea", kArea.x(), kArea.y(), kArea.width(), kArea.height(), options);
    ASSERT_TRUE(fine(started)) << started.errorMessage().toStdString();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QDBusReply<QVariantMap> status = program.call("Status");
            return status.isValid() && status.value().value("frames").toInt() > 0;
        },
        30000));

    double before = 0;  // the last tone before the pause
    for (int i = 0; i < kTonesEachSide; ++i) before = stimulus.addTone(1.0 + i * kToneEvery);
    stimulus.start();
    // A pause well after the last tone, and tones again only once the recording goes on.
    stimulus.stepUntilHeard(before + kToneLength + 0.3);
    ASSERT_TRUE(fine(stimulus.during(program.asyncCall("Pause"))));
    QElapsedTimer paused;
    paused.start();
    stimulus.stepFor(2000);
    ASSERT_TRUE(fine(stimulus.during(program.asyncCall("Resume"))));
    const double pausedSeconds = paused.elapsed() / 1000.0;
    const double after = stimulus.addTone(stimulus.queuedUntil() + 0.3);  // the first tone after it
    double last = after;
    for (int i = 1; i < kTonesEachSide; ++i) last = stimulus.addTone(after + i * kToneEvery);
    stimulus.stepUntilHeard(last + kToneLength + 0.5);
    ASSERT_TRUE(fine(stimulus.during(program.asyncCall("Stop"))));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QDBusReply<QVariantMap> status = program.call("Status");
            return status.isValid() && status.value().value("state").toString() == "idle";
        },
        60000));

    const auto probe = e2e::Session::probe(path);
    ASSERT_TRUE(probe);
    EXPECT_TRUE(probe->decodesCleanly);
    const std::vector<soundprobe::StreamFacts> streams = soundprobe::probeStreams(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[1].codec, "pcm_s16le");
    EXPECT_LE(std::abs(streams[1].duration - streams[0].duration), 1.0 / 50 + 1e-6);
    EXPECT_NEAR(probe->positions / 50.0, streams[0].duration, 1.0 / 50 + 1e-6);

    const std::vector<double> tones = soundprobe::toneOnsets(path);
    const std::vector<soundprobe::Span> flashes = soundprobe::flashSpans(path);
    ASSERT_EQ(tones.size(), 2u * kTonesEachSide);
    ASSERT_EQ(flashes.size(), 2u * kTonesEachSide);
    ASSERT_EQ(stimulus.flashLate().size(), 2u * kTonesEachSide);
    // The file's time between the tones either side of the pause is the stream's time less the pause
    // held (the bus calls' own time is the slack).
    const double streamApart = after - before;
    const double fileApart = tones[kTonesEachSide] - tones[kTonesEachSide - 1];
    EXPECT_NEAR(streamApart - fileApart, pausedSeconds, 0.1);
    // Each flash happened between the last dark frame and the first bright one; the tone, plus the
    // flash's own lateness, falls within 40 ms of that span, before the pause and after it.
    double worst = 0;
    for (std::size_t i = 0; i < tones.size(); ++i) {
        const double flash = tones[i] + stimulus.flashLate()[i];
        const double apart = std::max({0.0, flashes[i].from - flash, flash - flashes[i].to});
        EXPECT_LE(apart, 0.040) << "tone " << i << " at " << tones[i] << " s, flashed "
                                << stimulus.flashLate()[i] * 1000 << " ms after it, seen between "
                                << flashes[i].from << " and " << flashes[i].to << " s";
        worst = std::max(worst, apart);
    }
    std::cout << "pause held " << pausedSeconds << " s, left out of the file " << streamApart - fileApart
              << " s; worst tone outside its flash " << worst * 1000 << " ms\n";
}
