// Our Microsoft Video 1 encoder against libavcodec's, on the three fixed 1920x1080 sequences: speed (frames
// per second of the encoding thread's CPU time, the median of several runs), bytes per frame and PSNR of
// the decoded pictures against the 24-bit source. Both encoders get the recorder's defaults: key frame
// every 5 frames; quality 6550 for ours (libavcodec's has no quality setting).
//
// Usage: msvc_bench [--runs N] [--frames N]
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "capture/msvc/lav_msvideo1.h"
#include "capture/msvc/msvc_encoder.h"
#include "sequences.h"

namespace {

using namespace zelq;

constexpr int kQuality = 6550;
constexpr int kKeyFrameEvery = 5;

double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// The 32-bit DIB as the RGB555 picture libavcodec's encoder takes (top-down), with the same rounding to
// 5 bits as our encoder uses, so both start from the same picture.
std::vector<std::uint16_t> toRgb555(const std::vector<std::uint8_t>& dib, int w, int h) {
    std::vector<std::uint16_t> out(static_cast<std::size_t>(w) * h);
    const auto to5 = [](unsigned c) { return (c * 249 + 1024) >> 11; };
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = dib.data() + static_cast<std::size_t>(h - 1 - y) * w * 4;
        for (int x = 0; x < w; ++x)
            out[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint16_t>(
                to5(row[4 * x + 2]) << 10 | to5(row[4 * x + 1]) << 5 | to5(row[4 * x]));
    }
    return out;
}

// Squared error of a decoded RGB555 picture (top-down) against the 32-bit DIB, in 8-bit units, with the
// 5-bit components widened as a player widens them.
double squaredError(const std::vector<std::uint16_t>& shown, const std::vector<std::uint8_t>& dib, int w,
                    int h) {
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = dib.data() + static_cast<std::size_t>(h - 1 - y) * w * 4;
        const std::uint16_t* picture = shown.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int v5 = (picture[x] >> (5 * c)) & 31;
                const int d = ((v5 << 3) | (v5 >> 2)) - row[4 * x + c];
                sum += d * d;
            }
        }
    }
    return sum;
}

struct Result {
    std::vector<double> fps;  // one per run
    double bytes = 0;         // total over the first run
    double squares = 0;       // total squared error over the first run
    int keyFrames = 0;

    double medianFps() const {
        std::vector<double> sorted = fps;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
    double psnr(int frames) const {
        const double mse = squares / (3.0 * bench::kSequenceWidth * bench::kSequenceHeight * frames);
        return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
    }
};

struct Pair {
    Result ours;
    Result lav;
};

Pair measure(bench::Sequence& sequence, int runs, int frames) {
    const int w = bench::kSequenceWidth, h = bench::kSequenceHeight;
    Pair pair;
    std::vector<std::uint8_t> dib(static_cast<std::size_t>(w) * h * 4);
    for (int run = 0; run < runs; ++run) {
        MsvcEncoder ours(MsvcEncoderOptions{w, h, kQuality, kKeyFrameEvery});
        msvc::LavMsvideo1Encoder lav(w, h, kKeyFrameEvery);
        msvc::LavMsvideo1Decoder oursDecoded(w, h), lavDecoded(w, h);
        double oursTime = 0, lavTime = 0;
        for (int i = 0; i < frames; ++i) {
            sequence.frame(i, dib);
            const std::vector<std::uint16_t> picture = toRgb555(dib, w, h);
            bool oursKey = false, lavKey = false;
            double start = threadSeconds();
            const std::vector<std::uint8_t> oursData = ours.encode(dib.data(), 32, &oursKey);
            oursTime += threadSeconds() - start;
            start = threadSeconds();
            const std::vector<std::uint8_t> lavData = lav.encode(picture, &lavKey);
            lavTime += threadSeconds() - start;
            if (run == 0) {
                pair.ours.bytes += static_cast<double>(oursData.size());
                pair.lav.bytes += static_cast<double>(lavData.size());
                pair.ours.squares += squaredError(oursDecoded.decode(oursData), dib, w, h);
                pair.lav.squares += squaredError(lavDecoded.decode(lavData), dib, w, h);
                pair.ours.keyFrames += oursKey;
                pair.lav.keyFrames += lavKey;
            }
        }
        pair.ours.fps.push_back(frames / oursTime);
        pair.lav.fps.push_back(frames / lavTime);
        std::fprintf(stderr, "  %s, run %d: ours %.1f fps, libavcodec %.1f fps\n", sequence.name().c_str(),
                     run + 1, pair.ours.fps.back(), pair.lav.fps.back());
    }
    return pair;
}

void printRow(const char* sequence, const char* encoder, const Result& r, int frames) {
    std::printf("%-16s %-12s %10.1f %14.0f %9.2f %6d\n", sequence, encoder, r.medianFps(), r.bytes / frames,
                r.psnr(frames), r.keyFrames);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3, frames = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--runs"))
            runs = std::max(1, std::atoi(argv[i + 1]));
        if (!std::strcmp(argv[i], "--frames"))
            frames = std::max(1, std::atoi(argv[i + 1]));
    }
    // Text is drawn off screen; the bench needs no display and gives the same pictures on any.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::vector<std::unique_ptr<bench::Sequence>> sequences;
    sequences.push_back(bench::stillDesktop());
    sequences.push_back(bench::scrollingText());
    sequences.push_back(bench::fullMotion());
    // the speed each sequence must reach, as a multiple of libavcodec's
    const double speedTargets[] = {20, 20, 5};

    std::printf(
        "Microsoft Video 1, %dx%d, %d frames, key frame every %d, our quality %d, median of %d runs\n\n",
        bench::kSequenceWidth, bench::kSequenceHeight, frames, kKeyFrameEvery, kQuality, runs);
    std::printf("%-16s %-12s %10s %14s %9s %6s\n", "sequence", "encoder", "frames/s", "bytes/frame",
                "PSNR dB", "keys");
    bool allMet = true;
    double desktopMsPerFrame = 0;
    for (std::size_t s = 0; s < sequences.size(); ++s) {
        const Pair pair = measure(*sequences[s], runs, frames);
        const std::string name = sequences[s]->name();
        printRow(name.c_str(), "ours", pair.ours, frames);
        printRow("", "libavcodec", pair.lav, frames);
        const double speed = pair.ours.medianFps() / pair.lav.medianFps();
        const double size = pair.ours.bytes / pair.lav.bytes;
        const double psnrGap = pair.ours.psnr(frames) - pair.lav.psnr(frames);
        const bool met = speed >= speedTargets[s] && size <= 1.2 && psnrGap >= -0.5;
        allMet = allMet && met;
        std::printf("%-16s %-12s %9.1fx %13.2fx %+9.2f   %s (targets: >= %.0fx, <= 1.20x, >= -0.50 dB)\n\n",
                    "", "ours/libav", speed, size, psnrGap, met ? "met" : "MISSED", speedTargets[s]);
        if (s == 0)
            desktopMsPerFrame = 1000.0 / pair.ours.medianFps();
    }
    std::printf(
        "A still 1080p desktop recorded at 10 frames/s takes %.1f ms of encoding a second: %.2f%% of a "
        "core.\n",
        10 * desktopMsPerFrame, desktopMsPerFrame);
    std::printf("All targets %s.\n", allMet ? "met" : "NOT met");
    return allMet ? 0 : 1;
}
