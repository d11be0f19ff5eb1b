// The embedded player playing two 1920x1080 recordings into a 1280x720 panel, beside ffmpeg decoding the
// same files at their own rate into nothing (ffmpeg -re -i file -f null -), in the same run:
//   - MSVC, 10 frames/s, scrolling text coded by our own compressor (what the recorder writes);
//   - H.264, 30 frames/s, ffmpeg's moving test picture coded by libx264.
// For the player: CPU seconds of this process over the play (all threads: decoding worker, scaling,
// painting), pictures shown against pictures stored, pictures skipped, and the largest lateness of a
// picture reaching the screen (from its due time to the end of the panel's paint that shows it). Then the
// CPU of two idle seconds after the end, which must be nothing.
//
// Usage (on the private display): scripts/xsession.sh build/debug/bench/player/player_bench [seconds]
// (default 60 s per recording).
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>

#include "app/player/mediaplayer.h"
#include "childprocess.h"
#include "makefiles.h"

using namespace zelq;
using namespace zelq::bench;

namespace {

constexpr int kPanelWidth = 1280;
constexpr int kPanelHeight = 720;

// Notes, at each paint of the panel that puts up a new picture, how late that picture reached the screen.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(const PlayerDevice& device) : device_(device) {}
    double worstMs = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        const PlaybackStats& s = device_.stats();
        if (s.shown == seen_) return false;
        seen_ = s.shown;
        // The paint happens after this filter returns; the filter runs at its start. The picture's lateness
        // when it was handed over plus the wait for this paint.
        const double waited =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - s.lastShownAt).count();
        worstMs = std::max(worstMs, s.lastLatenessMs + waited);
        return false;
    }

private:
    const PlayerDevice& device_;
    int seen_ = 0;
};

struct PlayerRun {
    bool ok = false;
    double cpu = 0, wall = 0;
    int shown = 0, skipped = 0;
    double worstMs = 0;
    double idleCpu = 0;
};

PlayerRun playWithPlayer(const QString& path) {
    PlayerRun r;
    QWidget panel;
    panel.setWindowTitle(QStringLiteral("player bench"));
    panel.resize(kPanelWidth, kPanelHeight);
    panel.show();
    TMediaPlayer player(&panel);
    PaintWatch watch(player.device());
    panel.installEventFilter(&watch);
    player.FileName = path;
    try {
        player.Open();
        player.SetDisplayRect(QRect(0, 0, kPanelWidth, kPanelHeight));
    } catch (const std::exception& e) {
        std::printf("cannot open %s: %s\n", qPrintable(path), e.what());
        return r;
    }
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);  // the window mapped, the first picture decoded
    settle.exec();

    QEventLoop loop;
    QObject::connect(&player.device(), &PlayerDevice::notified, &loop, &QEventLoop::quit);
    const double cpu0 = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    player.Play();
    loop.exec();
    r.wall = wall.nsecsElapsed() / 1e9;
    r.cpu = processCpuSeconds() - cpu0;
    r.shown = player.device().stats().shown;
    r.skipped = player.device().stats().skipped;
    r.worstMs = watch.worstMs;

    const double idle0 = processCpuSeconds();
    QEventLoop idle;
    QTimer::singleShot(2000, &idle, &QEventLoop::quit);
    idle.exec();
    r.idleCpu = processCpuSeconds() - idle0;
    r.ok = true;
    return r;
}

void compare(const char* name, const QString& path, double fps, const QString& scratch) {
    const long long stored = storedPictures(path, scratch);
    const PlayerRun ours = playWithPlayer(path);
    const ChildRun peer = runChild(QStringLiteral("ffmpeg"), {"-v", "error", "-nostdin", "-re", "-i", path, "-f", "null", "-"},
                                   scratch);
    if (!ours.ok || peer.exitCode != 0) {
        std::printf("%-6s failed (player %s, ffmpeg exit %d)\n", name, ours.ok ? "ok" : "failed", peer.exitCode);
        return;
    }
    const double interval = 1000.0 / fps;
    std::printf("%-6s %-22s %7.2f %7.2f %6.1f %%  %6d/%-6lld %7d %9.1f  (interval %.1f ms)  idle after: %.3f s\n", name,
                "player (1280x720 panel)", ours.cpu, ours.wall, 100 * ours.cpu / ours.wall, ours.shown, stored,
                ours.skipped, ours.worstMs, interval, ours.idleCpu);
    std::printf("%-6s %-22s %7.2f %7.2f %6.1f %%\n", name, "ffmpeg -re -f null", peer.cpuSeconds, peer.wallSeconds,
                100 * peer.cpuSeconds / peer.wallSeconds);
    const double ratio = (ours.cpu / ours.wall) / (peer.cpuSeconds / peer.wallSeconds);
    std::printf("%-6s CPU share player/ffmpeg %.2f (target <= 1.5: %s); largest lateness %.1f ms (target <= %.1f: %s)\n\n",
                name, ratio, ratio <= 1.5 ? "met" : "NOT met", ours.worstMs, interval,
                ours.worstMs <= interval ? "met" : "NOT met");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir dir;
    const QString msvc = dir.filePath("msvc.avi");
    const QString h264 = dir.filePath("h264.avi");
    std::fprintf(stderr, "making the recordings (%d s each)...\n", seconds);
    QString failure = makeMsvcRecording(msvc, seconds);
    if (failure.isEmpty()) failure = makeH264Recording(h264, seconds, dir.path());
    if (!failure.isEmpty()) {
        std::printf("%s\n", qPrintable(failure));
        return 1;
    }
    std::printf("Playing %d s recordings of 1920x1080 into a %dx%d panel; CPU seconds of the whole process\n",
                seconds, kPanelWidth, kPanelHeight);
    std::printf("shown/stored: pictures put on screen / pictures in the file; skipped: left out as late;\n"
                "late ms: the largest time from a picture's due time to the paint that shows it\n");
    std::printf("%-6s %-22s %7s %7s %8s  %13s %7s %9s\n", "file", "player", "CPU s", "wall s", "CPU", "shown/stored",
                "skipped", "late ms");
    compare("MSVC", msvc, 10, dir.path());
    compare("H264", h264, 30, dir.path());
    return 0;
}
