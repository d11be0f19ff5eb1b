#include "grabfigures.h"

#include <QElapsedTimer>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "bench/engine/patternprocess.h"
#include "capture/frame/bitmaptodib.h"
#include "capture/scrcam/scrcam.h"
#include "platform/screen/screengrabber.h"

namespace zelq::bench {

namespace {

constexpr int kRuns = 50;

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

double medianMs(const std::function<void()>& body) {
    body();
    std::vector<double> times(kRuns);
    QElapsedTimer timer;
    for (double& ms : times) {
        timer.restart();
        body();
        ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
    return median(std::move(times));
}

namespace {

void line(const char* what, double ms, double memcpyMs) {
    std::printf("  %-44s %7.2f ms  %5.1f x memcpy\n", what, ms, ms / memcpyMs);
}

}  // namespace

void printGrabFigures(TScreenCam& cam, PatternProcess& pattern, int width, int height) {
    ScreenGrabber& grabber = ScreenGrabber::forCurrentThread();
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    std::vector<char> from(bytes, 1), to(bytes, 0);
    const double copy = medianMs([&] {
        std::memcpy(to.data(), from.data(), bytes);
        asm volatile("" : : "r"(to.data()) : "memory");  // the copy must happen
    });

    const long long paintedBefore = pattern.framesPainted();
    QElapsedTimer span;
    span.start();
    QImage image;
    const double reused = medianMs([&] { grabber.grab(0, 0, width, height, image); });
    // GrabFrame's steps: it grabs into a new image each time, asks the server twice for the arrow's
    // place, and converts into a newly allocated DIB.
    const double fresh = medianMs([&] {
        QImage each;
        grabber.grab(0, 0, width, height, each);
    });
    const double pointer = medianMs([&] {
        grabber.pointerPosition();
        grabber.cursorHotSpot();
    });
    const double convert = medianMs([&] { BitmapToDIB(image, cam.BitsPerPixel, cam.dialogs()); });
    const double whole = medianMs([&] { cam.GrabFrame(0, 0, width, height); });
    // The recording worker grabs on a thread of its own, with its own connection to the server and its own
    // malloc arena. The main thread's arena gives the two 8 MB blocks back to the system at every free
    // and faults them in anew at the next grab, which makes the same call several times dearer there.
    double onWorker = 0;
    std::thread worker([&] { onWorker = medianMs([&] { cam.GrabFrame(0, 0, width, height); }); });
    worker.join();
    const double patternFps = static_cast<double>(pattern.framesPainted() - paintedBefore) /
                              (static_cast<double>(span.nsecsElapsed()) / 1e9);

    std::printf(
        "One %dx%d frame at %d bits per pixel (shared memory: %s), medians of %d; the pattern painted "
        "%.1f frames/s meanwhile\n",
        width, height, cam.BitsPerPixel, grabber.usesSharedMemory() ? "yes" : "no", kRuns, patternFps);
    std::printf("  %-44s %7.2f ms\n", "memcpy of 8 MB", copy);
    line("ScreenGrabber::grab, image reused", reused, copy);
    line("ScreenGrabber::grab, a new image each time", fresh, copy);
    std::printf("  %-44s %7.2f ms\n", "pointer position and cursor hot spot", pointer);
    line("BitmapToDIB, a new DIB each time", convert, copy);
    line("TScreenCam::GrabFrame on a thread of its own", onWorker, copy);
    line("TScreenCam::GrabFrame on the main thread", whole, copy);
    std::printf("\n");
}

}  // namespace zelq::bench
