#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>

#include "common/soundprobe.h"
#include "media/exporter.h"
#include "vfw_testkit.h"

using namespace zelq;

namespace {

// Four seconds at 10 positions a second, odd sides: a gradient, white with a tone at 1.0-1.2 s and at
// 3.0-3.2 s.
bool marked(double seconds) {
    return (seconds >= 1.0 && seconds < 1.2) || (seconds >= 3.0 && seconds < 3.2);
}

::test::SoundRecording markedRecording(int width = 65, int height = 47, int positions = 40) {
    ::test::SoundRecording rec;
    rec.width = width;
    rec.height = height;
    rec.positions = positions;
    rec.picture = [](int x, int y, int frame) {
        if (marked(frame / 10.0 + 1e-9))
            return ::test::Rgb{255, 255, 255};
        return ::test::Rgb{static_cast<std::uint8_t>(x * 3), static_cast<std::uint8_t>(y * 5), 128};
    };
    rec.sound = [](std::int64_t frame) {
        const double t = static_cast<double>(frame) / 48000;
        return static_cast<std::int16_t>(marked(t) ? 12000 * std::sin(2 * M_PI * 800 * t) : 0);
    };
    return rec;
}

// ffprobe's key=value lines for the streams and the container.
QMap<QString, QStringList> probeFacts(const QString& path) {
    QProcess p;
    p.start("ffprobe",
            {"-v", "error", "-show_entries", "stream=codec_name,width,height,color_primaries:format=duration",
             "-of", "default=nw=1", path});
    p.waitForFinished(30000);
    QMap<QString, QStringList> facts;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        facts[line.section('=', 0, 0)] << line.section('=', 1);
    return facts;
}

// The first and the last picture as ffmpeg decodes them, cut to width x height.
std::pair<QByteArray, QByteArray> endPictures(const QString& path, int width, int height) {
    QProcess p;
    p.start("ffmpeg", {"-nostdin", "-v", "error", "-i", path, "-vf",
                       QString("format=rgb24,crop=%1:%2:0:0").arg(width).arg(height), "-f", "rawvideo",
                       "-pix_fmt", "rgb24", "-"});
    p.waitForFinished(60000);
    const QByteArray all = p.readAllStandardOutput();
    const qsizetype frame = qsizetype(width) * height * 3;
    if (all.size() < frame)
        return {};
    return {all.left(frame), all.right(frame)};
}

double meanDifference(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size() || a.isEmpty())
        return 1e9;
    double sum = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        sum += std::abs(static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]));
    return sum / a.size();
}

ExportOutcome run(const ExportRequest& request, std::function<void(double)> progress = {}) {
    static const std::atomic<bool> never{false};
    return exportRecording(request, never, progress);
}

}  // namespace

TEST(ExportTest, EachFormatKeepsTheSidesTheTimeThePicturesAndTheSoundInStep) {
    QTemporaryDir dir;
    const QString avi = dir.filePath("1.avi");
    ASSERT_EQ(::test::writeSoundRecording(avi, markedRecording()), zelq::AVIERR_OK);
    const double aviSeconds = probeFacts(avi)["duration"].value(0).toDouble();
    const auto [aviFirst, aviLast] = endPictures(avi, 65, 47);
    ASSERT_FALSE(aviFirst.isEmpty());

    struct Case {
        ExportFormat format;
        QStringList codecs;
        int width, height;
        double pictureError;  // mean difference per channel the codec may leave
    };
    for (const Case& c : {Case{ExportFormat::Mp4, {"h264", "aac"}, 66, 48, 6},
                          Case{ExportFormat::WebM, {"vp9", "opus"}, 66, 48, 8},
                          Case{ExportFormat::Gif, {"gif"}, 65, 47, 4}}) {
        SCOPED_TRACE(exportFormatName(c.format).toStdString());
        std::vector<double> seen;
        const ExportOutcome out = run({avi, c.format, {}}, [&](double f) { seen.push_back(f); });
        ASSERT_EQ(out.kind, ExportOutcome::Kind::Done) << out.message.toStdString();
        EXPECT_EQ(out.path, dir.filePath("1." + exportSuffix(c.format)));
        EXPECT_TRUE(out.message.isEmpty());
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_NEAR(seen.back(), 1.0, 0.05);

        const auto facts = probeFacts(out.path);
        EXPECT_EQ(facts["codec_name"], c.codecs);
        EXPECT_EQ(facts["width"].value(0).toInt(), c.width);
        EXPECT_EQ(facts["height"].value(0).toInt(), c.height);
        EXPECT_NEAR(facts["duration"].value(0).toDouble(), aviSeconds, 0.1);
        if (c.format != ExportFormat::Gif) {
            EXPECT_EQ(facts["color_primaries"].value(0), "bt709");
        }

        const auto [first, last] = endPictures(out.path, 65, 47);
        EXPECT_LT(meanDifference(first, aviFirst), c.pictureError);
        EXPECT_LT(meanDifference(last, aviLast), c.pictureError);

        const std::vector<soundprobe::Span> flashes = soundprobe::flashSpans(out.path);
        ASSERT_EQ(flashes.size(), 2u);
        EXPECT_NEAR(flashes[0].to, 1.0, 0.1);
        EXPECT_NEAR(flashes[1].to, 3.0, 0.1);
        if (c.format == ExportFormat::Gif)
            continue;
        const std::vector<double> tones = soundprobe::toneOnsets(out.path);
        ASSERT_EQ(tones.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) EXPECT_NEAR(tones[i], flashes[i].to, 0.1) << "mark " << i;
    }
}

TEST(ExportTest, NothingOfTheUsersIsReplacedAndNothingIsLeftByACancelOrAFault) {
    QTemporaryDir dir;
    const QString avi = dir.filePath("1.avi");
    ASSERT_EQ(::test::writeSoundRecording(avi, markedRecording()), zelq::AVIERR_OK);
    const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

    // An existing 1.mp4 is kept; the export is numbered as a new recording would be.
    {
        QFile kept(dir.filePath("1.mp4"));
        ASSERT_TRUE(kept.open(QIODevice::WriteOnly) && kept.write("keep") == 4);
    }
    ExportOutcome out = run({avi, ExportFormat::Mp4, {}});
    ASSERT_EQ(out.kind, ExportOutcome::Kind::Done) << out.message.toStdString();
    EXPECT_EQ(out.path, dir.filePath("2.mp4"));
    EXPECT_EQ(::test::bytesOf(dir.filePath("1.mp4")), QByteArray("keep"));
    EXPECT_EQ(probeFacts(out.path)["codec_name"], QStringList({"h264", "aac"}));
    out = run({avi, ExportFormat::Mp4, dir.filePath("1.mp4")});
    EXPECT_EQ(out.kind, ExportOutcome::Kind::Failed);
    EXPECT_EQ(::test::bytesOf(dir.filePath("1.mp4")), QByteArray("keep"));
    QFile::remove(dir.filePath("1.mp4"));
    QFile::remove(dir.filePath("2.mp4"));

    // Cancelled half way: no file, no temporary file.
    std::atomic<bool> cancel{false};
    out = exportRecording({avi, ExportFormat::WebM, {}}, cancel, [&](double f) {
        if (f > 0.3)
            cancel = true;
    });
    EXPECT_EQ(out.kind, ExportOutcome::Kind::Cancelled);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);

    // A damaged recording: what decodes is exported, and the user is told how much.
    QByteArray half = ::test::bytesOf(avi);
    half.truncate(half.size() / 2);
    const QString cut = dir.filePath("cut.avi");
    {
        QFile f(cut);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(half) == half.size());
    }
    out = run({cut, ExportFormat::Mp4, {}});
    ASSERT_EQ(out.kind, ExportOutcome::Kind::Done) << out.message.toStdString();
    EXPECT_TRUE(out.message.contains("损坏")) << out.message.toStdString();
    EXPECT_GT(out.exported, 0.2);
    EXPECT_LT(out.exported, 0.9);
    EXPECT_NEAR(probeFacts(out.path)["duration"].value(0).toDouble(), 4 * out.exported, 0.15);

    // Not a recording at all.
    const QString text = dir.filePath("notes.avi");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("not a video") > 0);
    }
    out = run({text, ExportFormat::Gif, {}});
    EXPECT_EQ(out.kind, ExportOutcome::Kind::Failed);
    EXPECT_FALSE(QFile::exists(dir.filePath("notes.gif")));

    // A full disk stops the export and leaves nothing on it; a folder that cannot be written says so.
    ::test::SmallDisk disk("size=96k");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.error();
    const QString noisy = dir.filePath("noisy.avi");
    ::test::SoundRecording big = markedRecording(320, 240, 30);
    big.picture = [](int x, int y, int frame) {
        const auto v = static_cast<std::uint8_t>((x * 7919 + y * 104729 + frame * 1299709) % 251);
        return ::test::Rgb{v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(v * 3)};
    };
    ASSERT_EQ(::test::writeSoundRecording(noisy, big), zelq::AVIERR_OK);
    out = run({noisy, ExportFormat::Mp4, disk.path("noisy.mp4")});
    EXPECT_EQ(out.kind, ExportOutcome::Kind::Failed);
    EXPECT_TRUE(out.message.contains("磁盘空间不足")) << out.message.toStdString();
    EXPECT_TRUE(QDir(disk.path("")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    ASSERT_TRUE(disk.makeReadOnly());
    out = run({avi, ExportFormat::Gif, disk.path("1.gif")});
    EXPECT_EQ(out.kind, ExportOutcome::Kind::Failed);
    EXPECT_TRUE(out.message.contains("无法在文件夹")) << out.message.toStdString();
}

TEST(ExportTest, A4KRecordingBecomesA960WideGifAndARecordingOfOneFrameExportsToEveryFormat) {
    QTemporaryDir dir;
    ::test::SoundRecording big = markedRecording(3840, 2160, 3);
    const QString large = dir.filePath("4k.avi");
    ASSERT_EQ(::test::writeSoundRecording(large, big), zelq::AVIERR_OK);
    ExportOutcome out = run({large, ExportFormat::Gif, {}});
    ASSERT_EQ(out.kind, ExportOutcome::Kind::Done) << out.message.toStdString();
    auto facts = probeFacts(out.path);
    EXPECT_EQ(facts["codec_name"], QStringList({"gif"}));
    EXPECT_EQ(facts["width"].value(0).toInt(), 960);
    EXPECT_EQ(facts["height"].value(0).toInt(), 540);
    EXPECT_NEAR(facts["duration"].value(0).toDouble(), 0.3, 0.07);

    // One frame lasts its one position, with its sound, in every format.
    const QString one = dir.filePath("one.avi");
    ASSERT_EQ(::test::writeSoundRecording(one, markedRecording(65, 47, 1)), zelq::AVIERR_OK);
    const QByteArray aviPicture = endPictures(one, 65, 47).first;
    ASSERT_FALSE(aviPicture.isEmpty());
    for (const ExportFormat format : {ExportFormat::Mp4, ExportFormat::WebM, ExportFormat::Gif}) {
        SCOPED_TRACE(exportFormatName(format).toStdString());
        out = run({one, format, {}});
        ASSERT_EQ(out.kind, ExportOutcome::Kind::Done) << out.message.toStdString();
        EXPECT_TRUE(out.message.isEmpty()) << out.message.toStdString();
        facts = probeFacts(out.path);
        EXPECT_EQ(facts["codec_name"].size(), format == ExportFormat::Gif ? 1 : 2);
        EXPECT_NEAR(facts["duration"].value(0).toDouble(), 0.1, 0.05);
        EXPECT_LT(meanDifference(endPictures(out.path, 65, 47).first, aviPicture), 8);
    }
}
