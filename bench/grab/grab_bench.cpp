// What one frame of the whole screen costs: grabbing it (shared memory and plain requests), converting it
// to 16 and 24 bits, and the whole GrabFrame, beside an 8 MB memcpy and beside ffmpeg's own x11grab, all
// measured in the same run on the same display. Medians of repeated runs; run under scripts/xsession.sh.
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "capture/frame/bitmaptodib.h"
#include "capture/frame/grabframe.h"
#include "platform/dialogs.h"
#include "platform/screen/screengrabber.h"

namespace {

using namespace zelq;

// Message boxes of a failed grab go to the terminal: the bench has no windows.
class ConsoleDialogs final : public Dialogs {
protected:
    MsgAnswer doMessageBox(const QString& text, const QString& caption, MsgIcon, MsgButtons,
                           QWidget*) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return MsgAnswer::Ok;
    }
    QString doOpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString doSaveFile(QWidget*, const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString doChooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
};

constexpr int kRuns = 40;

// Median milliseconds of `runs` calls, after two unmeasured ones.
double medianMs(const std::function<void()>& body, int runs = kRuns) {
    body();
    body();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        body();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[static_cast<std::size_t>(runs / 2)];
}

// Wall time per frame of an ffmpeg x11grab run of 100 frames, or a negative value when it fails.
double ffmpegMsPerFrame(const QStringList& extra) {
    QStringList args{"-nostdin", "-loglevel", "error", "-f", "x11grab"};
    args << extra << "-video_size"
         << "1920x1080"
         << "-i" << qEnvironmentVariable("DISPLAY") << "-frames:v"
         << "100"
         << "-f"
         << "null"
         << "-";
    QProcess ffmpeg;
    QElapsedTimer timer;
    timer.start();
    ffmpeg.start("ffmpeg", args);
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6 / 100;
}

void row(const char* what, double ms, double memcpyMs, double ffmpegMs) {
    std::printf("%-44s %8.2f ms   %6.1f x memcpy   %6.2f x ffmpeg\n", what, ms, ms / memcpyMs, ms / ffmpegMs);
}

}  // namespace

int main() {
    ConsoleDialogs dialogs;
    ScreenGrabber shared(ScreenGrabber::Transport::SharedMemoryIfPossible);
    ScreenGrabber plain(ScreenGrabber::Transport::Plain);
    if (!shared.isConnected() || shared.width() < 1920 || shared.height() < 1080) {
        std::fprintf(stderr, "needs a display of at least 1920x1080 (run under scripts/xsession.sh)\n");
        return 1;
    }
    const int w = 1920, h = 1080;
    QImage image;
    const double grabShm = medianMs([&] { shared.grab(0, 0, w, h, image); });
    if (!shared.usesSharedMemory())
        std::fprintf(stderr, "note: the server refused shared memory\n");
    const double grabPlain = medianMs([&] { plain.grab(0, 0, w, h, image); });
    const double to16 = medianMs([&] { BitmapToDIB(image, 16, dialogs); });
    const double to24 = medianMs([&] { BitmapToDIB(image, 24, dialogs); });
    const double to32 = medianMs([&] { BitmapToDIB(image, 32, dialogs); });
    const GrabSettings settings{32, true, false, false, nullptr};
    const double grabFrame32 = medianMs([&] { GrabFrame(shared, settings, nullptr, dialogs, 0, 0, w, h); });
    const GrabSettings settings16{16, true, false, false, nullptr};
    const double grabFrame16 = medianMs([&] { GrabFrame(shared, settings16, nullptr, dialogs, 0, 0, w, h); });

    const std::size_t bytes = std::size_t{w} * h * 4;
    std::vector<char> from(bytes, 1), to(bytes, 0);
    const double copy = medianMs([&] {
        std::memcpy(to.data(), from.data(), bytes);
        asm volatile("" : : "r"(to.data()) : "memory");
    });

    const double ffmpegAsAsked = ffmpegMsPerFrame({});
    std::vector<double> fast;
    for (int i = 0; i < 3; ++i) fast.push_back(ffmpegMsPerFrame({"-framerate", "1000"}));
    std::sort(fast.begin(), fast.end());
    const double ffmpegFast = fast[1];
    if (ffmpegAsAsked <= 0 || ffmpegFast <= 0)
        return 1;

    std::printf(
        "1920x1080 at 32 bits per pixel, medians of %d runs; ratios to the memcpy and to ffmpeg "
        "-framerate 1000\n\n",
        kRuns);
    std::printf("%-44s %8.2f ms\n", "memcpy 8 MB", copy);
    std::printf("%-44s %8.2f ms per frame (paced by x11grab's default 29.97 frames/s)\n",
                "ffmpeg x11grab, 100 frames, as given", ffmpegAsAsked);
    std::printf("%-44s %8.2f ms per frame\n\n", "ffmpeg x11grab -framerate 1000, 100 frames", ffmpegFast);
    row("grab, shared memory", grabShm, copy, ffmpegFast);
    row("grab, plain GetImage", grabPlain, copy, ffmpegFast);
    row("BitmapToDIB to 16 bits", to16, copy, ffmpegFast);
    row("BitmapToDIB to 24 bits", to24, copy, ffmpegFast);
    row("BitmapToDIB to 32 bits", to32, copy, ffmpegFast);
    row("GrabFrame, 32 bits (grab, arrow, convert)", grabFrame32, copy, ffmpegFast);
    row("GrabFrame, 16 bits", grabFrame16, copy, ffmpegFast);
    return 0;
}
