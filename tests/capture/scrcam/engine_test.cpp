// The engine recording the test X screen for real: files read back by ffprobe, the frame window, the
// compressor catalogue, the failure messages and the fallback, and destruction during a recording.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "../vfw/vfw_testkit.h"
#include "capture/scrcam/recordthread.h"
#include "capture/scrcam/scrcam.h"
#include "common/scripted_dialogs.h"
#include "platform/clock.h"

using namespace zelq;

namespace {

// A borderless window whose outer bounds are exactly the rectangle asked for, with a picture that
// changes so that the recording has something to compress.
class Source : public QWidget {
public:
    explicit Source(QRect at) : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {
        setGeometry(at);
        setAutoFillBackground(true);
        setPalette(QPalette(QColor(40, 120, 200)));
        show();
    }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        engine = std::make_unique<TScreenCam>(&owner, dialogs, systemClock());
    }
    // Records for about `ms` and waits for the worker to finish the file.
    void record(QWidget& source, const QString& path, int ms, bool* frameShown = nullptr) {
        engine->StartRecording(&source, path);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QTest::qWait(50);
            if (frameShown && engine->FrameWindow && engine->FrameWindow->isVisible()) *frameShown = true;
        }
        engine->StopRecording();
        ASSERT_TRUE(engine->waitForWorker(30000));
    }

    QTemporaryDir dir;
    QWidget owner;
    zelq::test::ScriptedDialogs dialogs;
    std::unique_ptr<TScreenCam> engine;
};

}  // namespace

TEST_F(EngineTest, RecordsTheScreenAtTheDefaultsOnItsTimeGrid) {
    EXPECT_EQ(engine->CodecIndex, -1);
    EXPECT_EQ(engine->CodecFourCC.load(), kCodecMSVC);
    EXPECT_EQ(engine->MsPerFrame, 100);
    EXPECT_EQ(engine->PlaybackRate, 10);
    EXPECT_EQ(engine->BitsPerPixel, 32);
    EXPECT_EQ(engine->ScreenWidth, 1920);
    EXPECT_EQ(engine->ScreenHeight, 1080);

    Source source({200, 150, 320, 240});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&source));
    const QString path = dir.filePath("录像 1.avi");
    bool frameShown = false;
    record(source, path, 3000, &frameShown);
    EXPECT_TRUE(frameShown);
    EXPECT_FALSE(engine->FrameWindow->isVisible());
    EXPECT_FALSE(engine->Recording.load());
    EXPECT_TRUE(engine->Thread.isNull());
    EXPECT_TRUE(dialogs.calls().empty());

    const ::test::Probe p = ::test::probe(path);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.codecTag, "MSVC");
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 240);
    EXPECT_EQ(p.frameRate, "10/1");
    const int written = engine->Stats.FramesWritten;
    const int positions = engine->Stats.FrameIndex + 1;
    EXPECT_GE(positions, 25);  // about 3 s at 10 positions a second, on a loaded machine too
    EXPECT_LE(positions, 40);
    EXPECT_EQ(p.headerFrames, positions);
    EXPECT_EQ(static_cast<int>(p.packetPositions.size()), written);
    EXPECT_EQ(written + engine->Stats.SkippedFrames, positions);
    EXPECT_TRUE(::test::decodeErrors(path).isEmpty());
    EXPECT_EQ(engine->AreaWidth.load(), 320);
}

TEST_F(EngineTest, TheCatalogueListsTheCompressorsAndAChosenOneRecords) {
    engine->EnumerateCodecs();
    ASSERT_GE(engine->CodecCount, 4);
    EXPECT_EQ(engine->CodecList[0].fccHandler, kCodecMSVC);
    int zmbv = -1;
    for (int i = 0; i < engine->CodecCount; ++i) {
        const ICINFO& entry = engine->CodecList[static_cast<std::size_t>(i)];
        EXPECT_EQ(entry.dwSize, sizeof(ICINFO));
        EXPECT_NE(QString::fromUtf16(entry.szDescription), QString()) << i;
        if (entry.fccHandler == mmioFOURCC('Z', 'M', 'B', 'V')) zmbv = i;
    }
    ASSERT_GE(zmbv, 0);
    engine->SelectCodec(-1);
    EXPECT_EQ(engine->CodecFourCC.load(), kCodecMSVC);  // -1 keeps the handler
    EXPECT_FALSE(engine->CodecQuery(255).about);        // an empty choice arrives as 255
    engine->SelectCodec(zmbv);
    EXPECT_EQ(engine->CodecFourCC.load(), mmioFOURCC('Z', 'M', 'B', 'V'));
    EXPECT_TRUE(engine->CodecQuery(static_cast<std::uint8_t>(zmbv)).about);
    engine->CodecAbout(static_cast<std::uint8_t>(zmbv), nullptr);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    dialogs.clear();

    Source source({100, 100, 256, 128});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&source));
    const QString path = dir.filePath("zmbv.avi");
    record(source, path, 1500);
    const ::test::Probe p = ::test::probe(path);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.codecTag, "ZMBV");
    EXPECT_EQ(p.width, 256);
    EXPECT_GE(p.headerFrames, 10);
    EXPECT_TRUE(::test::decodeErrors(path).isEmpty());
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(EngineTest, AnOddRectangleIsAlignedToWhatTheCompressorTakes) {
    engine->EnumerateCodecs();
    int h264 = -1;
    for (int i = 0; i < engine->CodecCount; ++i) {
        if (engine->CodecList[static_cast<std::size_t>(i)].fccHandler == mmioFOURCC('H', '2', '6', '4')) h264 = i;
    }
    if (h264 < 0) GTEST_SKIP() << "no H.264 encoder in this libavcodec";
    engine->SelectCodec(h264);
    Source source({300, 300, 201, 101});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&source));
    const QString path = dir.filePath("odd.avi");
    record(source, path, 800);
    EXPECT_EQ(engine->AreaWidth.load(), 202);  // rounded up to even, as H.264's 4:2:0 needs
    EXPECT_EQ(engine->AreaHeight.load(), 102);
    const ::test::Probe p = ::test::probe(path);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_EQ(p.width, 202);
    EXPECT_EQ(p.height, 102);
    EXPECT_TRUE(::test::decodeErrors(path).isEmpty());
}

TEST_F(EngineTest, AFileThatCannotBeMadeIsReportedAndTheOtherCompressorOffersTheDefault) {
    Source source({100, 100, 64, 64});
    const QString missing = dir.filePath("no such folder/1.avi");
    int errors = 0;
    engine->OnRecordError = [&](TScreenCam&) { ++errors; };
    // The brackets are gone before the box waits for the user.
    bool frameUpDuringBox = true;
    dialogs.onNextMessage([&] { frameUpDuringBox = engine->FrameWindow->isVisible(); });
    record(source, missing, 300);
    EXPECT_FALSE(frameUpDuringBox);
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].text, QStringLiteral("创建视频文件时出错"));
    EXPECT_EQ(dialogs.calls()[0].caption, "Error");
    EXPECT_EQ(dialogs.calls()[0].icon, MsgIcon::Warning);
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(engine->FrameWindow->isVisible());

    // Another compressor fails the same way: the user is offered the default, says yes, and the rerun
    // with MSVC fails and says so.
    dialogs.clear();
    engine->EnumerateCodecs();
    engine->SelectCodec(1);
    dialogs.answerMessage(MsgAnswer::Yes);
    record(source, missing, 300);
    const auto texts = dialogs.messages();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], QStringLiteral("用当前压缩器记录视频文件时出错，要用默认压缩器吗? "));
    EXPECT_EQ(dialogs.calls()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(dialogs.calls()[0].caption, QStringLiteral("注意"));
    EXPECT_EQ(texts[1], QStringLiteral("创建视频文件时出错"));
    EXPECT_EQ(engine->CodecFourCC.load(), kCodecMSVC);
    EXPECT_EQ(errors, 3);
}

TEST_F(EngineTest, ASecondStartIsIgnoredAndTheEngineIsReusable) {
    Source source({100, 100, 128, 96});
    const QString first = dir.filePath("first.avi");
    engine->StartRecording(&source, first);
    QPointer<TRecordAVIThread> worker = engine->Thread;
    engine->StartRecording(&source, dir.filePath("second.avi"));
    EXPECT_EQ(engine->Thread, worker);
    QTest::qWait(400);
    engine->StopRecording();
    ASSERT_TRUE(engine->waitForWorker(30000));
    EXPECT_FALSE(QFile::exists(dir.filePath("second.avi")));
    engine->StopRecording();  // idle: nothing happens
    record(source, dir.filePath("third.avi"), 400);
    EXPECT_TRUE(::test::probe(dir.filePath("third.avi")).ok);
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(EngineTest, RecordingsAfterWaitingForTheWorkerRecordAndAStartWhileItFinishesIsIgnored) {
    Source source({100, 100, 128, 96});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&source));
    engine->MsPerFrame = 20;
    // waitForWorker deals with each worker's end itself; the end the worker had queued as well must not
    // stop the recording after it.
    for (const char* name : {"a.avi", "b.avi", "c.avi"}) {
        record(source, dir.filePath(name), 500);
        const ::test::Probe p = ::test::probe(dir.filePath(name));
        ASSERT_TRUE(p.ok) << name << p.errors.toStdString();
        EXPECT_GE(p.packetPositions.size(), 5u) << name;
    }

    // Stopped but still finishing: a start now would have the old worker record on beside a new one.
    engine->StartRecording(&source, dir.filePath("d.avi"));
    QTest::qWait(300);
    const QPointer<TRecordAVIThread> worker = engine->Thread;
    engine->StopRecording();
    engine->StartRecording(&source, dir.filePath("e.avi"));
    EXPECT_EQ(engine->Thread, worker);
    EXPECT_FALSE(engine->Recording.load());
    ASSERT_TRUE(engine->waitForWorker(30000));
    EXPECT_FALSE(QFile::exists(dir.filePath("e.avi")));
    EXPECT_TRUE(::test::probe(dir.filePath("d.avi")).ok);
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(EngineTest, DestroyingTheEngineStopsTheRecordingWithoutHanging) {
    Source source({100, 100, 160, 120});
    const QString path = dir.filePath("cut.avi");
    engine->StartRecording(&source, path);
    QTest::qWait(600);
    engine.reset();  // while the worker flashes the frame window through the UI thread
    const ::test::Probe p = ::test::probe(path);
    ASSERT_TRUE(p.ok) << p.errors.toStdString();
    EXPECT_GE(p.headerFrames, 1);

    // And while the worker waits for a box that the user has not answered yet: the program is closing.
    engine = std::make_unique<TScreenCam>(&owner, dialogs, systemClock());
    bool destroyedInsideTheBox = false;
    dialogs.onNextMessage([&] {
        engine.reset();
        destroyedInsideTheBox = true;
    });
    engine->StartRecording(&source, dir.filePath("missing/x.avi"));
    QElapsedTimer timer;
    timer.start();
    while (!destroyedInsideTheBox && timer.elapsed() < 20000) QTest::qWait(20);
    EXPECT_TRUE(destroyedInsideTheBox);
    EXPECT_EQ(engine, nullptr);
}

TEST_F(EngineTest, EveryCompressorRecordsWithAKeyFrameIntervalOfZeroOrBelow) {
    // The options store the interval as typed; no compressor may divide by it or refuse it.
    engine->EnumerateCodecs();
    Source source({100, 100, 96, 64});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&source));
    engine->MsPerFrame = 20;
    for (int i = 0; i < engine->CodecCount; ++i) {
        engine->SelectCodec(i);
        engine->KeyFrameEvery = i % 2 == 0 ? 0 : -5;
        const QString path = dir.filePath(QString("key%1.avi").arg(i));
        record(source, path, 400);
        const ::test::Probe p = ::test::probe(path);
        ASSERT_TRUE(p.ok) << i << p.errors.toStdString();
        const FOURCC handler = engine->CodecList[static_cast<std::size_t>(i)].fccHandler;
        EXPECT_EQ(p.codecTag.toUpper(),
                  QString::fromLatin1(reinterpret_cast<const char*>(&handler), 4).toUpper());
        EXPECT_GE(p.packetPositions.size(), 3u) << i;
        EXPECT_TRUE(::test::decodeErrors(path).isEmpty()) << i;
    }
    EXPECT_TRUE(dialogs.calls().empty());
}
