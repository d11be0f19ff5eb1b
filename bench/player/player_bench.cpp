// The embedded player playing three recordings into a 1280x720 panel, beside mpv playing the same files
// into a window of the panel's size (software scaling, bilinear) and ffmpeg decoding them at their own rate
// into nothing (ffmpeg -re -i file -f null -), in the same run:
//   - MSVC, 10 frames/s, 1920x1080 scrolling text coded by our own compressor (what the recorder writes);
//   - H.264, 30 frames/s, ffmpeg's moving test picture at 1920x1080 coded by libx264;
//   - MSVC at 3840x2160, the same text at twice the density.
// For the player: CPU seconds of this process over the play (all threads: decoding worker, scaling,
// painting), pictures shown against pictures stored, pictures skipped, and the largest lateness of a
// picture reaching the screen (from its due time to the end of the panel's paint that shows it). Then the
// CPU of two idle seconds after the end, which must be nothing. For the player and mpv, which both draw
// through the X server, the server's CPU over each play is counted beside their own.
//
// Usage (on the private display): scripts/xsession.sh build/debug/bench/player/player_bench [seconds
// [file...]] (default 60 s per recording, every file; files by name: MSVC H264 MSVC4K).
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/player/mediaplayer.h"
#include "childprocess.h"
#include "machineload.h"
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
    double cpu = 0, wall = 0, server = 0;
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
    const double server0 = xServerCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    player.Play();
    loop.exec();
    r.wall = wall.nsecsElapsed() / 1e9;
    r.cpu = processCpuSeconds() - cpu0;
    r.server = xServerCpuSeconds() - server0;
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

// Reports mpv's own counts of pictures its video output dropped or showed late, on standard error when
// it quits (the properties are gone by then, so they are followed while it plays).
constexpr char kMpvCounts[] = R"(local counts = {}
for _, name in ipairs({"frame-drop-count", "vo-delayed-frame-count"}) do
    counts[name] = 0
    mp.observe_property(name, "number", function(_, value) if value then counts[name] = value end end)
end
mp.register_event("shutdown", function()
    io.stderr:write(string.format("dropped %d delayed %d\n", counts["frame-drop-count"],
                                  counts["vo-delayed-frame-count"]))
end)
)";

// A peer's run with the X server's CPU over it.
struct PeerRun {
    ChildRun child;
    double server = 0;
};

PeerRun runPeer(const QString& program, const QStringList& args, const QString& scratch) {
    PeerRun r;
    const double server0 = xServerCpuSeconds();
    r.child = runChild(program, args, scratch);
    r.server = xServerCpuSeconds() - server0;
    return r;
}

double share(double cpu, double wall) {
    return wall > 0 ? 100 * cpu / wall : 0;
}

void printRow(const char* name, const char* who, double cpu, double server, double wall) {
    std::printf("%-6s %-24s %7.2f %7.2f %7.2f %6.1f %% %6.1f %%", name, who, cpu, server, wall,
                share(cpu, wall), share(cpu + server, wall));
}

void compare(const char* name, const QString& path, double fps, const QString& scratch, const QString& mpvScript) {
    const long long stored = storedPictures(path, scratch);
    const PlayerRun ours = playWithPlayer(path);
    // Software scaling, bilinear whichever of its scalers mpv takes (zimg when it can, else libswscale),
    // and no dithering: what the player does. Its window is the panel's size.
    const PeerRun mpv = runPeer(QStringLiteral("mpv"),
                                {"--no-config", "--no-audio", "--vo=x11", "--sws-scaler=bilinear",
                                 "--zimg-scaler=bilinear", "--zimg-dither=no", "--osc=no", "--no-terminal",
                                 "--script=" + mpvScript,
                                 QStringLiteral("--geometry=%1x%2").arg(kPanelWidth).arg(kPanelHeight), path},
                                scratch);
    const PeerRun ffmpeg = runPeer(
        QStringLiteral("ffmpeg"), {"-v", "error", "-nostdin", "-re", "-i", path, "-f", "null", "-"}, scratch);
    if (!ours.ok || mpv.child.exitCode != 0 || ffmpeg.child.exitCode != 0) {
        std::printf("%-6s failed (player %s, mpv exit %d, ffmpeg exit %d)\n", name, ours.ok ? "ok" : "failed",
                    mpv.child.exitCode, ffmpeg.child.exitCode);
        return;
    }
    const double interval = 1000.0 / fps;
    printRow(name, "player (1280x720 panel)", ours.cpu, ours.server, ours.wall);
    std::printf("  %6d/%-6lld %7d %9.1f  (interval %.1f ms)  idle after: %.3f s\n", ours.shown, stored,
                ours.skipped, ours.worstMs, interval, ours.idleCpu);
    printRow(name, "mpv --vo=x11 (1280x720)", mpv.child.cpuSeconds, mpv.server, mpv.child.wallSeconds);
    int dropped = -1, delayed = -1;
    std::sscanf(mpv.child.errors.constData(), "dropped %d delayed %d", &dropped, &delayed);
    std::printf("  mpv's own counts: %d dropped, %d shown late\n", dropped, delayed);
    printRow(name, "ffmpeg -re -f null", ffmpeg.child.cpuSeconds, ffmpeg.server, ffmpeg.child.wallSeconds);
    std::printf("\n");
    const double withServer = share(ours.cpu + ours.server, ours.wall) /
                              share(mpv.child.cpuSeconds + mpv.server, mpv.child.wallSeconds);
    const double alone = share(ours.cpu, ours.wall) / share(mpv.child.cpuSeconds, mpv.child.wallSeconds);
    const double decodeOnly =
        share(ours.cpu, ours.wall) / share(ffmpeg.child.cpuSeconds, ffmpeg.child.wallSeconds);
    std::printf(
        "%-6s CPU share player/mpv %.2f with the X server, %.2f without (target <= 1: %s); "
        "player/ffmpeg %.2f; largest lateness %.1f ms (target <= %.1f: %s)\n",
        name, withServer, alone, withServer <= 1 ? "met" : "NOT met", decodeOnly, ours.worstMs, interval,
        ours.worstMs <= interval ? "met" : "NOT met");
    std::printf("%-6s load average after: %s\n\n", name, qPrintable(loadAverage()));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir dir;
    // The files to play: all, or those named after the seconds (MSVC, H264, MSVC4K).
    struct File {
        const char* name;
        double fps;
        std::function<QString(const QString&)> make;
    };
    const std::vector<File> files{
        {"MSVC", 10, [&](const QString& path) { return makeMsvcRecording(path, seconds); }},
        {"H264", 30, [&](const QString& path) { return makeH264Recording(path, seconds, dir.path()); }},
        {"MSVC4K", 10, [&](const QString& path) { return makeMsvcRecording(path, seconds, 2); }}};
    QStringList wanted;
    for (int i = 2; i < argc; ++i) wanted << QString::fromLocal8Bit(argv[i]);
    std::fprintf(stderr, "making the recordings (%d s each)...\n", seconds);
    std::vector<const File*> chosen;
    for (const File& f : files) {
        if (!wanted.isEmpty() && !wanted.contains(QLatin1String(f.name)))
            continue;
        const QString failure = f.make(dir.filePath(QStringLiteral("%1.avi").arg(f.name)));
        if (!failure.isEmpty()) {
            std::printf("%s\n", qPrintable(failure));
            return 1;
        }
        chosen.push_back(&f);
    }
    if (xServerCpuSeconds() < 0)
        std::printf("(no Xvfb of this session found: the X server's CPU reads as 0)\n");
    std::printf("Playing %d s recordings into a %dx%d panel; load average at the start: %s\n", seconds,
                kPanelWidth, kPanelHeight, qPrintable(loadAverage()));
    std::printf(
        "CPU s: the process (ours: all its threads; peers: wait4); X s: the X server over the same play;\n"
        "shares of one core without and with the X server; shown/stored: pictures put on screen / pictures\n"
        "in the file; skipped: left out as late; late ms: the largest time from a picture's due time to\n"
        "the paint that shows it\n");
    std::printf("%-6s %-24s %7s %7s %7s %8s %8s  %13s %7s %9s\n", "file", "who", "CPU s", "X s", "wall s",
                "CPU", "CPU+X", "shown/stored", "skipped", "late ms");
    const QString mpvScript = dir.filePath(QStringLiteral("counts.lua"));
    QFile script(mpvScript);
    if (!script.open(QIODevice::WriteOnly) || script.write(kMpvCounts) < 0)
        return 1;
    script.close();
    for (const File* f : chosen)
        compare(f->name, dir.filePath(QStringLiteral("%1.avi").arg(f->name)), f->fps, dir.path(), mpvScript);
    return 0;
}
