// Recording with sound from a private PipeWire server: a tone pattern played into its virtual output
// while the recorded window flashes in step, read back by ffprobe and ffmpeg; a recording without sound
// keeps its single stream; a missing server and a time-lapse are told and never stop the picture.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <iostream>

#include "../vfw/vfw_testkit.h"
#include "capture/scrcam/scrcam.h"
#include "common/flashsquare.h"
#include "common/scripted_dialogs.h"
#include "common/soundprobe.h"
#include "common/soundserver.h"
#include "common/tonespeaker.h"
#include "platform/clock.h"
#include "platform/sound/soundformat.h"
#include "platform/sound/soundoutput.h"

using namespace zelq;

namespace {

// The pattern: a 1 kHz tone of 150 ms every 0.8 s from 1 s on, six times. bench/sound runs the same test
// for ten minutes and more by setting ZELQ_SOUND_SYNC_TONES.
const soundsync::TonePattern kPattern{1.0, 0.8, 0.15,
                                      std::max(6, qEnvironmentVariableIntValue("ZELQ_SOUND_SYNC_TONES"))};

class SoundRecordingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new zelq::test::PrivateSoundServer; }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        engine = std::make_unique<TScreenCam>(&owner, dialogs, systemClock());
        engine->ShowFrame = false;  // the brackets would only be in the way of the flashes
    }
    void recordFor(QWidget& source, const QString& path, int ms) {
        engine->StartRecording(&source, path);
        QTest::qWait(ms);
        engine->StopRecording();
        ASSERT_TRUE(engine->waitForWorker(60000));
    }

    static zelq::test::PrivateSoundServer* server;
    QTemporaryDir dir;
    QWidget owner;
    zelq::test::ScriptedDialogs dialogs;
    std::unique_ptr<TScreenCam> engine;
};

zelq::test::PrivateSoundServer* SoundRecordingTest::server = nullptr;

// A steady tone of `seconds`, stereo 48 kHz, at `amplitude` of full scale, made by ffmpeg.
bool writeTone(const QString& path, int hertz, double amplitude, int seconds) {
    QProcess p;
    p.start("ffmpeg",
            {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
             QString("aevalsrc=%1*sin(2*PI*%2*t):s=48000:d=%3").arg(amplitude).arg(hertz).arg(seconds), "-ac",
             "2", path});
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

// Plays a sound file into the private server with pw-cat: to the default output, or into the virtual
// microphone, whose input the session manager never links a player to, so the link is made by hand.
// started() once the server runs the player's stream: a player only just launched may not be heard
// for a while on a busy machine.
class PipeWirePlayer {
public:
    PipeWirePlayer(const QString& file, const QString& microphone) {
        // The private server's PipeWire socket sits beside its PulseAudio one.
        const QString runtime =
            QString::fromLocal8Bit(qgetenv("PULSE_SERVER")).remove("unix:").remove("/pulse/native");
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("PIPEWIRE_REMOTE", runtime + "/pipewire-0");
        name_ = QString("zelq_feed_%1_%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(microphone.isEmpty() ? 0 : 1);
        QStringList args{"--playback", "-P", "node.name=" + name_};
        if (!microphone.isEmpty())
            args << "--target"
                 << "0";
        cat_.setProcessEnvironment(env_);
        cat_.start("pw-cat", args << file);
        if (!cat_.waitForStarted(10000))
            return;
        QDeadlineTimer deadline(20000);
        const bool linked =
            microphone.isEmpty() || (link(microphone, "FL", deadline) && link(microphone, "FR", deadline));
        while (linked && !started_ && !deadline.hasExpired()) {
            started_ = state() == "running";
            if (!started_)
                QThread::msleep(100);
        }
        if (linked && !started_)
            error_ = "the server never ran the player's stream (" + state() + ")";
    }
    ~PipeWirePlayer() {
        cat_.kill();
        cat_.waitForFinished(5000);
    }
    bool started() const { return started_; }
    // Why it did not start: what pw-link and pw-cat said.
    std::string error() {
        return (error_ + QString::fromLocal8Bit(cat_.readAllStandardError())).toStdString();
    }

private:
    // The player's ports come a moment after it starts; a channel is linked once they are there.
    bool link(const QString& microphone, const char* channel, const QDeadlineTimer& deadline) {
        while (!deadline.hasExpired()) {
            QProcess link;
            link.setProcessEnvironment(env_);
            link.start("pw-link", {QString("%1:output_%2").arg(name_, channel),
                                   QString("%1:input_%2").arg(microphone, channel)});
            if (link.waitForFinished(10000) && link.exitCode() == 0)
                return true;
            error_ = QString::fromLocal8Bit(link.readAllStandardError());
            QThread::msleep(100);
        }
        return false;
    }
    // The state of the player's node as the server tells it ("running" once it plays), empty while the
    // server does not know it yet.
    QString state() const {
        QProcess dump;
        dump.setProcessEnvironment(env_);
        dump.start("pw-dump", QStringList{});
        if (!dump.waitForFinished(10000))
            return {};
        for (const QJsonValue& v : QJsonDocument::fromJson(dump.readAllStandardOutput()).array()) {
            const QJsonObject info = v.toObject()["info"].toObject();
            if (info["props"].toObject()["node.name"].toString() == name_)
                return info["state"].toString();
        }
        return {};
    }

    QProcessEnvironment env_;
    QString name_;
    QProcess cat_;
    bool started_ = false;
    QString error_;
};

// What the server delivers from one of its sources, recorded beside the program by PulseAudio's own
// recorder into a WAV file: a witness of sound the server itself lost, which no reader could have had.
class ServerWitness {
public:
    ServerWitness(const QString& device, const QString& file) : file_(file) {
        // Delivered every 10 ms, not in the default's two-second pieces, so that all of it is in the file
        // when it ends.
        parec_.start("parecord", {"--device=" + device, "--latency-msec=10", "--rate=48000", "--channels=2",
                                  "--format=s16le", "--file-format=wav", file});
        started_ = parec_.waitForStarted(10000);
    }
    ~ServerWitness() { stop(); }
    // Ends the recording and gives its file; empty when the recorder never ran.
    QString stop() {
        if (parec_.state() != QProcess::NotRunning) {
            // An interrupt is its way to end: the file's header is written whole.
            ::kill(static_cast<pid_t>(parec_.processId()), SIGINT);
            if (!parec_.waitForFinished(5000))
                parec_.kill();
            parec_.waitForFinished(5000);
        }
        return started_ ? file_ : QString();
    }

private:
    QString file_;
    QProcess parec_;
    bool started_ = false;
};

// The monitor of the server's default output, which the program records as the computer's sound (the
// server's @DEFAULT_MONITOR@ may name another source).
QString defaultMonitor() {
    QProcess pactl;
    pactl.start("pactl", {"get-default-sink"});
    pactl.waitForFinished(10000);
    return QString::fromLocal8Bit(pactl.readAllStandardOutput()).trimmed() + ".monitor";
}

// Where a steady tone of `hertz` at `level` is missing from `from` to `to` s of a file, once it is
// there: in most of its 50 ms spans (the median), or in every span of some half second; or it came more
// than a second after `from`. The program connects to the server's sources as the recording starts, not
// before it, so on a busy machine a source's first moments may not be in the file; what it delivers after
// that must all be. Empty: present throughout. The probe mixes the channels down to 0.71 of the level
// played, so a third of it is a sure sign of the tone.
std::vector<std::string> toneGaps(const QString& path, double hertz, double level, double from, double to) {
    const std::string tone = std::to_string(hertz) + " Hz: ";
    const std::vector<double> spans = soundprobe::toneSpans(path, hertz, from, to);
    if (spans.size() + 1 < static_cast<std::size_t>((to - from) / 0.05))
        return {tone + "only " + std::to_string(spans.size()) + " spans"};
    const auto heard = [&](double amplitude) { return amplitude > level / 3; };
    const auto onset = std::find_if(spans.begin(), spans.end(), heard);
    if (onset - spans.begin() > 20)
        return {tone + "first heard " + std::to_string(static_cast<double>(onset - spans.begin()) * 0.05) +
                " s after " + std::to_string(from) + " s"};
    std::vector<std::string> gaps;
    std::vector<double> since(onset, spans.end());
    std::nth_element(since.begin(), since.begin() + static_cast<std::ptrdiff_t>(since.size() / 2),
                     since.end());
    if (!heard(since[since.size() / 2]))
        gaps.push_back(tone + "median " + std::to_string(since[since.size() / 2]));
    for (auto half = onset; spans.end() - half >= 10; half += 10) {
        if (std::none_of(half, half + 10, heard))
            gaps.push_back(tone + "none from " +
                           std::to_string(from + static_cast<double>(half - spans.begin()) * 0.05) + " s");
    }
    return gaps;
}

}  // namespace

TEST_F(SoundRecordingTest, ToneAndFlashLineUpInTheFile) {
    ZELQ_REQUIRE_SOUND_SERVER(*server);
    soundsync::FlashSquare window({300, 200, 160, 120});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    soundsync::ToneSpeaker speaker(kPattern);
    ASSERT_TRUE(speaker.waitReady(20000));

    // 50 positions a second, so that a flash is placed within 20 ms by the picture alone.
    engine->MsPerFrame = 20;
    engine->PlaybackRate = 50;
    engine->Sound = sound::SoundChoice::Computer;
    const QString path = dir.filePath("tones.avi");
    engine->StartRecording(&window, path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->Stats.FramesWritten > 0; }, 30000));

    speaker.start();
    // The screen follows what the speaker has played, by the server's own clock. On a busy machine this
    // loop may flash late; how late, by the same clock, is noted and allowed for.
    QElapsedTimer guard;
    guard.start();
    while (!speaker.finished()) {
        ASSERT_LT(guard.elapsed(), 60000 + 2000 * kPattern.end()) << "the speaker's clock does not run";
        if (const std::optional<bool> bright = speaker.turn()) {
            window.set(*bright);
            if (*bright)
                speaker.markShown();
        }
        QThread::usleep(500);
    }
    engine->StopRecording();
    ASSERT_TRUE(engine->waitForWorker(60000));
    EXPECT_TRUE(engine->SoundNotice().isEmpty()) << engine->SoundNotice().toStdString();

    const std::vector<soundprobe::StreamFacts> streams = soundprobe::probeStreams(path);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].type, "video");
    EXPECT_EQ(streams[1].type, "audio");
    EXPECT_EQ(streams[1].codec, "pcm_s16le");
    EXPECT_EQ(streams[1].sampleRate, 48000);
    EXPECT_EQ(streams[1].channels, 2);
    EXPECT_LE(std::abs(streams[1].duration - streams[0].duration), 1.0 / 50 + 1e-6)
        << streams[1].duration << " s of sound, " << streams[0].duration << " s of picture";
    EXPECT_TRUE(::test::decodeErrors(path).isEmpty());

    // Each flash happened between the last dark frame and the first bright one; the tone, plus the
    // flash's own lateness, must fall within 40 ms of that span.
    const std::vector<double> tones = soundprobe::toneOnsets(path);
    const std::vector<soundprobe::Span> flashes = soundprobe::flashSpans(path);
    EXPECT_EQ(tones.size(), static_cast<std::size_t>(kPattern.count));
    // Each tone still measured when a flash is missing: the pictures of a long run on a busy machine may
    // lose one to empty positions, and the rest say whether the sound kept in step.
    EXPECT_EQ(flashes.size(), static_cast<std::size_t>(kPattern.count))
        << engine->Stats.SkippedFrames << " positions of "
        << engine->Stats.FramesWritten + engine->Stats.SkippedFrames << " left empty";
    ASSERT_EQ(speaker.shown(), kPattern.count);
    // A speaker that ran dry plays what follows late, and the file would be blamed for it.
    EXPECT_EQ(speaker.underflows(), 0);
    // Each tone is measured against the flash nearest where it should be: a tone or a flash lost
    // somewhere in a long run is named, and every other one still measured.
    const soundprobe::Matches matches =
        soundprobe::matchTones(tones, flashes, speaker.shownLate(), kPattern.every);
    double worst = 0;
    int missing = 0;
    for (const soundprobe::Match& m : matches.tones) {
        if (!m.found) {
            std::cout << "tone " << m.index << " at " << m.tone << " s: no flash in the pictures\n";
            ++missing;
            continue;
        }
        if (m.index < 3 || m.index + 3 >= kPattern.count)  // the start and the end of a long run
            std::cout << "tone " << m.index << " at " << m.tone << " s, flashed " << m.late.from * 1000
                      << " to " << m.late.to * 1000 << " ms after it, seen between " << m.seen.from << " and "
                      << m.seen.to << " s: " << m.apart * 1000 << " ms outside\n";
        worst = std::max(worst, m.apart);
    }
    for (const double at : matches.flashesWithoutTone) {
        std::cout << "flash at " << at << " s: no tone in the sound\n";
        ++missing;
    }
    EXPECT_EQ(missing, 0);
    std::cout << "worst: " << worst * 1000 << " ms outside; the speaker ran dry " << speaker.underflows()
              << " times\n";
    RecordProperty("worst_ms", static_cast<int>(std::lround(worst * 1000)));
    EXPECT_LE(worst, 0.040);
}

TEST_F(SoundRecordingTest, WithoutSoundOneStreamAndFaultsNeverStopThePicture) {
    soundsync::FlashSquare window({300, 200, 160, 120});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // The default: exactly what a recording has always been.
    EXPECT_EQ(engine->Sound, sound::SoundChoice::None);
    const QString plain = dir.filePath("plain.avi");
    recordFor(window, plain, 1000);
    EXPECT_TRUE(::test::probe(plain).ok);  // one stream, read by ffprobe
    EXPECT_EQ(soundprobe::probeStreams(plain).size(), 1u);
    EXPECT_TRUE(engine->SoundNotice().isEmpty());

    // No server at all: the picture records, the sound is silence as long as the picture, and it is told.
    const QByteArray server = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", QByteArray("unix:") + dir.filePath("no-server").toUtf8());
    engine->Sound = sound::SoundChoice::Both;
    const QString silent = dir.filePath("silent.avi");
    recordFor(window, silent, 1500);
    if (server.isEmpty())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", server);
    EXPECT_EQ(engine->SoundNotice(), sound::noServerText());
    const std::vector<soundprobe::StreamFacts> streams = soundprobe::probeStreams(silent);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_GE(streams[0].duration, 1.0);
    EXPECT_LE(std::abs(streams[1].duration - streams[0].duration), 0.1 + 1e-6);
    EXPECT_TRUE(soundprobe::toneOnsets(silent).empty());
    EXPECT_TRUE(::test::decodeErrors(silent).isEmpty());

    // A time-lapse plays faster than it was recorded: no sound could follow it, so none is recorded.
    engine->MsPerFrame = 200;
    const QString lapse = dir.filePath("lapse.avi");
    recordFor(window, lapse, 1000);
    EXPECT_EQ(soundprobe::probeStreams(lapse).size(), 1u);
    EXPECT_TRUE(engine->SoundNotice().contains("200 ms")) << engine->SoundNotice().toStdString();
}

TEST_F(SoundRecordingTest, TheMicrophoneIsMixedBesideTheComputersSound) {
    ZELQ_REQUIRE_SOUND_SERVER(*server);
    soundsync::FlashSquare window({300, 200, 160, 120});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Steady tones, longer than the recording: 1.5 kHz into the microphone, 1 kHz out of the speakers,
    // both high enough that sound played 2 % off its pitch no longer reads as its tone over 50 ms.
    const QString micTone = dir.filePath("mic.wav");
    const QString speakerTone = dir.filePath("speakers.wav");
    ASSERT_TRUE(writeTone(micTone, 1500, 0.25, 30));
    ASSERT_TRUE(writeTone(speakerTone, 1000, 0.15, 30));
    PipeWirePlayer microphone(micTone, "zelq_microphone");
    PipeWirePlayer speakers(speakerTone, {});
    ASSERT_TRUE(microphone.started()) << microphone.error();
    ASSERT_TRUE(speakers.started()) << speakers.error();

    // Both sources are in the mix, at their own pitch, over the whole recording: in most of its 50 ms
    // spans, and in some span of every half second. Half a second of sound lost, or played a few per
    // cent off its pitch (a timeline stretching the sound to follow a misplaced stamp), leaves a half
    // second without its tone. On a busy machine the private server's own graph drops sound now and then,
    // in every reader: a recording during which the server's own recorder, beside the program, lost
    // sound too says nothing of the program and is made again (at most three times).
    engine->Sound = sound::SoundChoice::Both;
    for (int attempt = 1;; ++attempt) {
        const QString path = dir.filePath(QString("both%1.avi").arg(attempt));
        ServerWitness heardMicrophone("@DEFAULT_SOURCE@", dir.filePath(QString("mic%1.wav").arg(attempt)));
        ServerWitness heardSpeakers(defaultMonitor(), dir.filePath(QString("out%1.wav").arg(attempt)));
        QTest::qWait(300);  // the witnesses run before the recording starts
        recordFor(window, path, 4000);
        QTest::qWait(300);
        const QString witnessed[] = {heardMicrophone.stop(), heardSpeakers.stop()};
        EXPECT_TRUE(engine->SoundNotice().isEmpty()) << engine->SoundNotice().toStdString();
        // The microphone's tone and the speakers', each with what the server's own recorder heard of it.
        const std::pair<double, double> tones[] = {{1500, 0.25}, {1000, 0.15}};
        std::vector<std::string> gaps;
        for (const auto& [hertz, level] : tones)
            for (const std::string& gap : toneGaps(path, hertz, level, 0.5, 3.5)) gaps.push_back(gap);
        if (gaps.empty())
            break;
        // The witnesses cover the recording and a little more on each side.
        std::vector<std::string> lost;
        for (int i = 0; i < 2; ++i) {
            ASSERT_FALSE(witnessed[i].isEmpty()) << "parecord did not run";
            const std::vector<soundprobe::StreamFacts> facts = soundprobe::probeStreams(witnessed[i]);
            ASSERT_EQ(facts.size(), 1u);
            for (const std::string& gap :
                 toneGaps(witnessed[i], tones[i].first, tones[i].second, 0.2, facts[0].duration - 0.2))
                lost.push_back(gap);
        }
        ASSERT_FALSE(lost.empty()) << "the server delivered both tones whole, the file lost: " << gaps.front()
                                   << " (" << gaps.size() << " gaps)";
        std::cout << "attempt " << attempt << ": the server itself lost sound (" << lost.front() << ")\n";
        ASSERT_LT(attempt, 3) << "the server lost sound in every attempt: " << gaps.front();
    }
}
