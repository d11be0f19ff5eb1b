// Recording to pictures and pictures to recording at 1920x1080, beside ffmpeg in the same run.
//
//   split: the main window's split of a 600-frame Microsoft Video 1 recording of scrolling text (the
//          player bench's) into 24-bit BMP files, against the same 24-bit pictures from
//          ffmpeg -i rec.avi -pix_fmt bgr24 ff/Frame%02d.BMP; wall time, CPU time and peak resident memory,
//          each side in a child process of its own so that its peak is its own. ffmpeg left to its own
//          choice (16-bit pictures as the recording holds them, two thirds of the bytes) is shown beside,
//          for reference only.
//   build: 600 of those pictures written as an 8-bit uncompressed AVI, against
//          ffmpeg -framerate 10 -i Frame%02d.BMP -c:v rawvideo -pix_fmt pal8 out.avi.
//
// Usage: pictures_bench [--frames N (600, rounded up to whole seconds of 10 frames)] [--runs N (3)]
//                       [--scratch folder]
// Figures are medians of the runs. Exit status 1 when a target is missed: split time at most ffmpeg's
// for the same 24-bit pictures, split peak memory at most 200 MB.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "answeringdialogs.h"
#include "app/screencam.h"
#include "app/services.h"
#include "childprocess.h"
#include "convert/avicreator.h"
#include "makefiles.h"

using namespace zelq;
using namespace zelq::bench;

namespace {

// Child: the recording, its text drawn with QPainter, which wants an application of its own.
int makeChild(int argc, char** argv, const QString& recording, int frames) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString failure = makeMsvcRecording(recording, frames / 10);
    if (!failure.isEmpty())
        std::fprintf(stderr, "cannot write the recording: %s\n", qPrintable(failure));
    return failure.isEmpty() ? 0 : 1;
}

// Child: the main window's split, as the button runs it after the dialog.
int splitChild(int argc, char** argv, const QString& recording, const QString& scratch) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    AnsweringDialogs dialogs;
    AppServices services;
    services.dialogs = &dialogs;
    services.settingsPath = scratch + QStringLiteral("/defualt.ini");
    services.shellOpen = [](const QString&) {};
    TFrmScreenCam window(services);
    window.SplitRecordingToPictures(recording);
    std::printf("%d\n", static_cast<int>(window.BitmapListBox->count()));
    return 0;
}

QString pictureName(int ordinal) {
    return QStringLiteral("Frame%1.BMP").arg(ordinal, 2, 10, QLatin1Char('0'));
}

// Child: the pictures of `folder` written as an 8-bit AVI, as the window's save button writes its list.
int buildChild(const QString& folder, const QString& out, int count) {
    const int written = BuildAviFromPictures(
        out, count, [&](int i) { return QImage(folder + QLatin1Char('/') + pictureName(i + 1)); }, 10);
    std::printf("%d\n", written);
    return written == count ? 0 : 1;
}

struct Figures {
    std::vector<double> wall, cpu, peakMb;
    void add(const ChildRun& run) {
        wall.push_back(run.wallSeconds);
        cpu.push_back(run.cpuSeconds);
        peakMb.push_back(static_cast<double>(run.peakKilobytes) / 1024.0);
    }
};

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool ranWell(const ChildRun& run, const char* what) {
    if (run.started && run.exitCode == 0)
        return true;
    std::fprintf(stderr, "%s failed (%d): %s\n", what, run.exitCode, run.errors.right(400).constData());
    return false;
}

int countFiles(const QString& folder) {
    return static_cast<int>(QDir(folder).entryList(QDir::Files).size());
}

void printRow(const char* name, const Figures& f) {
    std::printf("  %-22s wall %7.2f s   cpu %7.2f s   peak %7.1f MB\n", name, median(f.wall), median(f.cpu),
                median(f.peakMb));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--split") == 0)
        return splitChild(argc, argv, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc >= 4 && std::strcmp(argv[1], "--make") == 0)
        return makeChild(argc, argv, QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    if (argc >= 5 && std::strcmp(argv[1], "--build") == 0)
        return buildChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                          std::atoi(argv[4]));

    int frames = 600;
    int runs = 3;
    QString scratchParent = QDir::tempPath();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--scratch") == 0)
            scratchParent = QString::fromLocal8Bit(argv[i + 1]);
    }
    QTemporaryDir scratchDir(scratchParent + QStringLiteral("/pictures_bench-XXXXXX"));
    const QString scratch = scratchDir.path();
    const QString self = QString::fromLocal8Bit(argv[0]);
    const QString recording = scratch + QStringLiteral("/rec.avi");
    frames = (frames + 9) / 10 * 10;
    std::printf("pictures bench: %d frames of 1920x1080, %d run(s), medians\n", frames, runs);
    // Made in a child too: a child's peak counts the memory it shared with this process before it
    // started its program, so this process stays small.
    if (!ranWell(runChild(self, {QStringLiteral("--make"), recording, QString::number(frames)}, scratch),
                 "recording"))
        return 2;

    Figures ourSplit, ffSplit, ffSplit16, ourBuild, ffBuild;
    const QString ours = scratch + QStringLiteral("/img");
    const QString theirs = scratch + QStringLiteral("/ff");
    for (int r = 0; r < runs; ++r) {
        QDir(ours).removeRecursively();
        QDir(theirs).removeRecursively();
        QDir().mkpath(theirs);
        // Each side starts with nothing left for the disk to write: gigabytes of the other side's pictures
        // still being written back would slow whichever ran second.
        ::sync();
        const ChildRun split = runChild(self, {QStringLiteral("--split"), recording, scratch}, scratch);
        if (!ranWell(split, "split") || countFiles(ours) != frames) {
            std::fprintf(stderr, "split wrote %d pictures of %d\n", countFiles(ours), frames);
            return 2;
        }
        ourSplit.add(split);
        // The same pictures first, then ffmpeg's own choice of depth, each into an empty folder.
        for (const bool sameDepth : {true, false}) {
            QStringList arguments = {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                     recording};
            if (sameDepth)
                arguments << QStringLiteral("-pix_fmt") << QStringLiteral("bgr24");
            arguments << theirs + QStringLiteral("/Frame%02d.BMP");
            ::sync();
            const ChildRun ff = runChild(QStringLiteral("ffmpeg"), arguments, scratch);
            if (!ranWell(ff, "ffmpeg split") || countFiles(theirs) != frames)
                return 2;
            (sameDepth ? ffSplit : ffSplit16).add(ff);
            QDir(theirs).removeRecursively();
            QDir().mkpath(theirs);
        }

        const QString ourAvi = scratch + QStringLiteral("/ours.avi");
        const QString ffAvi = scratch + QStringLiteral("/ffmpeg.avi");
        QFile::remove(ourAvi);
        QFile::remove(ffAvi);
        const ChildRun build =
            runChild(self, {QStringLiteral("--build"), ours, ourAvi, QString::number(frames)}, scratch);
        if (!ranWell(build, "build"))
            return 2;
        ourBuild.add(build);
        const ChildRun ffb =
            runChild(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-framerate"),
                      QStringLiteral("10"), QStringLiteral("-i"), ours + QStringLiteral("/Frame%02d.BMP"),
                      QStringLiteral("-c:v"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"),
                      QStringLiteral("pal8"), ffAvi},
                     scratch);
        if (!ranWell(ffb, "ffmpeg build"))
            return 2;
        ffBuild.add(ffb);
    }

    std::printf("split (recording to %d BMP files)\n", frames);
    printRow("ours (24-bit)", ourSplit);
    printRow("ffmpeg -pix_fmt bgr24", ffSplit);
    printRow("ffmpeg 16-bit (ref.)", ffSplit16);
    std::printf("build (%d BMP files to an 8-bit AVI)\n", frames);
    printRow("ours", ourBuild);
    printRow("ffmpeg", ffBuild);
    const double timeRatio = median(ourSplit.wall) / median(ffSplit.wall);
    const double buildRatio = median(ourBuild.wall) / median(ffBuild.wall);
    const bool timeOk = timeRatio <= 1.0;
    const bool memoryOk = median(ourSplit.peakMb) <= 200.0;
    std::printf(
        "split time ours/ffmpeg bgr24 %.2f (target <= 1.00: %s), cpu %.2f; split peak %.1f MB "
        "(target <= 200: %s)\n",
        timeRatio, timeOk ? "met" : "MISSED", median(ourSplit.cpu) / median(ffSplit.cpu),
        median(ourSplit.peakMb), memoryOk ? "met" : "MISSED");
    std::printf("build time ours/ffmpeg %.2f\n", buildRatio);
    return timeOk && memoryOk ? 0 : 1;
}
