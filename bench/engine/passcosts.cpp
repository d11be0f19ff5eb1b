#include "passcosts.h"

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "bench/engine/answeringdialogs.h"
#include "capture/frame/bitmaptodib.h"
#include "capture/msvc/msvc_encoder.h"
#include "platform/screen/screengrabber.h"

namespace zelq::bench {

namespace {

constexpr int kPasses = 40;

double threadMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

int printPassCosts(ScreenGrabber& grabber) {
    const int w = grabber.width(), h = grabber.height();
    AnsweringDialogs dialogs;
    QImage kept;
    if (!grabber.grab(0, 0, w, h, kept))
        return 1;
    Frame frame = BitmapToDIB(kept, 32, dialogs);
    if (!frame)
        return 1;
    DibMirror mirror{reinterpret_cast<std::uint8_t*>(frame.pixels()), frame.rowBytes(), w, h};
    // A recording's passes, an interval at 60 a second apart, in turns: converting each strip read out of
    // the kept picture (as before), or writing it into the frame as it is read.
    std::vector<double> afterwards, through;
    std::vector<Frame> frames;
    for (int pass = 0; pass < 2 * kPasses; ++pass) {
        std::this_thread::sleep_for(std::chrono::microseconds(16667));
        const double start = threadMs();
        if (pass % 2) {
            mirror.written = false;
            grabber.grabChanges(0, 0, w, h, kept, nullptr, {}, &mirror);
            through.push_back(threadMs() - start);
        } else {
            grabber.grabChanges(0, 0, w, h, kept, nullptr,
                                [&](const QRect& strip) { PaintIntoDIB(frame, kept, strip, strip.topLeft()); });
            afterwards.push_back(threadMs() - start);
        }
        if (frames.size() < 8 && pass % 4 == 0)
            frames.push_back(frame.copy());
    }
    // The frames taken, encoded in a loop by two encoders at the recorder's defaults in turns.
    const MsvcEncoderOptions options{w, h, 6550, 5};
    MsvcEncoder own(options), withLast(options);
    std::vector<double> ownMs, lastMs;
    const auto pixels = [&](std::size_t i) {
        return reinterpret_cast<const std::uint8_t*>(frames[i % frames.size()].pixels());
    };
    own.encode(pixels(0), 32, nullptr);
    withLast.encode(pixels(0), 32, nullptr);
    // The two must code every frame alike: a difference is a fault, not a figure.
    int differ = 0;
    for (std::size_t i = 1; i <= kPasses; ++i) {
        double start = threadMs();
        const std::vector<std::uint8_t> coded = own.encode(pixels(i), 32, nullptr);
        ownMs.push_back(threadMs() - start);
        start = threadMs();
        differ += withLast.encode(pixels(i), 32, nullptr, nullptr, pixels(i - 1)) != coded;
        lastMs.push_back(threadMs() - start);
    }
    if (differ) {
        std::fprintf(stderr, "%d of %d frames coded differently\n", differ, kPasses);
        return 1;
    }
    std::printf("%.3f %.3f %.3f %.3f\n", median(afterwards), median(through), median(ownMs), median(lastMs));
    return 0;
}

}  // namespace zelq::bench
