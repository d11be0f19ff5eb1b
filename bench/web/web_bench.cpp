// The program with its browsers beside the same build with the browsers left out (ZELQ_NO_BROWSER=1),
// in one run: time from start to the main window on screen, CPU and memory while idle with the banner
// loaded, and a default full-screen recording during which the banner reloads.
//
//   web_bench [runs=5] [recordSeconds=60] [idleSeconds=20]
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "programrun.h"

using zelq::bench::ProgramRun;

namespace {

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void sleepUntil(const ProgramRun& run, double seconds) {
    while (run.elapsed() < seconds) QThread::msleep(20);
}

struct Idle {
    std::vector<double> startSeconds, cpuPercent, pssMB, processes;
};

// The banner's first page loads a second after the window shows and is checked a second later.
constexpr double kIdleFrom = 8.0;

void measureIdle(bool withBrowser, int idleSeconds, Idle& out) {
    ProgramRun run(withBrowser);
    const auto shown = run.startAndWaitForMainWindow();
    if (!shown) {
        std::printf("  %s: the main window did not show\n", withBrowser ? "browser" : "no browser");
        return;
    }
    sleepUntil(run, kIdleFrom);
    const auto before = run.usage();
    QThread::sleep(idleSeconds);
    const auto after = run.usage();
    out.startSeconds.push_back(*shown);
    out.cpuPercent.push_back(100.0 * (after.cpuSeconds - before.cpuSeconds) / idleSeconds);
    out.pssMB.push_back(after.pssMB);
    out.processes.push_back(after.processes);
    if (!run.close()) std::printf("  %s: the program did not end cleanly\n", withBrowser ? "browser" : "no browser");
}

void recordWhileBannerReloads(bool withBrowser, int recordSeconds) {
    ProgramRun run(withBrowser);
    if (!run.startAndWaitForMainWindow()) return;
    // The banner's 90-second timer runs from the window's creation: put its tick mid-recording.
    sleepUntil(run, std::max(kIdleFrom, 90.0 - recordSeconds / 2.0));
    const auto before = run.usage();
    const double from = run.elapsed();
    if (!run.clickMainButton("BtnSartRec")) return;
    QThread::sleep(recordSeconds);
    const auto after = run.usage();
    if (!QFileInfo::exists(run.recordingFolder() + "1.avi")) {
        QProcess::execute("import", {"-window", "root", QDir::temp().filePath("web-bench-no-recording.png")});
    }
    const double wall = run.elapsed() - from;
    run.pressEscape();
    for (int i = 0; i < 100 && !run.mainWindowVisible(); ++i) QThread::msleep(100);
    QThread::sleep(2);
    const auto count = zelq::bench::probeAvi(run.recordingFolder() + "1.avi");
    const bool closed = run.close();
    std::printf("%-11s %8.1f %8.1f %10d %9d %7d %8s  reload at %.0f s, recording %.0f-%.0f s%s\n",
                withBrowser ? "browser" : "no browser", 100.0 * (after.cpuSeconds - before.cpuSeconds) / wall,
                wall, count ? count->positions : -1, count ? count->packets : -1,
                count ? count->positions - count->packets : -1,
                QFileInfo::exists(run.recordingFolder() + "1.avi") ? "yes" : "no", 90.0, from, from + wall,
                closed ? "" : ", did not end cleanly");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int recordSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 60;
    const int idleSeconds = argc > 3 ? std::max(1, atoi(argv[3])) : 20;

    std::printf("Start and idle: %d runs each, alternating; idle measured from %.0f s for %d s, whole process tree\n",
                runs, kIdleFrom, idleSeconds);
    Idle with, without;
    for (int i = 0; i < runs; ++i) {
        measureIdle(true, idleSeconds, with);
        measureIdle(false, idleSeconds, without);
    }
    std::printf("%-11s %14s %14s %12s %10s\n", "", "window shown s", "idle CPU %", "PSS MB", "processes");
    for (const auto& [label, idle] : {std::pair{"browser", &with}, std::pair{"no browser", &without}}) {
        std::printf("%-11s %14.3f %14.2f %12.1f %10.0f\n", label, median(idle->startSeconds), median(idle->cpuPercent),
                    median(idle->pssMB), median(idle->processes));
    }
    std::printf("%-11s %14.2f %14s %12.2f\n", "ratio", median(with.startSeconds) / median(without.startSeconds), "-",
                median(with.pssMB) / median(without.pssMB));
    std::printf("(medians; the start runs from the process start to the main window mapped on screen)\n\n");

    std::printf("Default full-screen recording of %d s while the banner reloads\n", recordSeconds);
    std::printf("%-11s %8s %8s %10s %9s %7s %8s\n", "", "CPU %", "wall s", "positions", "packets", "empty", "file");
    recordWhileBannerReloads(true, recordSeconds);
    recordWhileBannerReloads(false, recordSeconds);
    return 0;
}
