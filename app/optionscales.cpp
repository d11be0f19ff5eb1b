#include "app/optionscales.h"

#include <cmath>
#include <limits>

namespace zelq {

namespace {

// log10 of one minute in milliseconds: the capture interval's bar spans 10^0 .. 10^L.
const long double kMinuteDecades = std::log10(60000.0L);

}  // namespace

int roundHalfEven(long double x) {
    if (std::isnan(x)) return 0;
    constexpr long double lo = std::numeric_limits<int>::min();
    constexpr long double hi = std::numeric_limits<int>::max();
    if (x <= lo) return std::numeric_limits<int>::min();
    if (x >= hi) return std::numeric_limits<int>::max();
    // By hand rather than nearbyint, whose result depends on the floating-point rounding mode.
    long double r = std::floor(x);
    const long double fraction = x - r;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(r, 2.0L) != 0)) r += 1;
    return static_cast<int>(r);
}

int msPerFrameFromPosition(int position, int max) {
    return roundHalfEven(std::pow(10.0L, kMinuteDecades * (position - 1) / (max - 1)));
}

int positionFromMsPerFrame(int msPerFrame, int max) {
    // An interval of 0 or less has no logarithm; the result then lies below the bar, which keeps its
    // minimum.
    return roundHalfEven(std::log10(static_cast<long double>(msPerFrame)) * (max - 1) / kMinuteDecades + 1);
}

int frameRateFromPosition(int position, int max) {
    return roundHalfEven(static_cast<long double>(position * 49LL - 49) / (max - 1) + 1);
}

int positionFromFrameRate(int fps, int max) {
    return roundHalfEven(static_cast<long double>(fps - 1LL) * (max - 1) / 49);
}

int qualityFromPosition(int position, int max) {
    return roundHalfEven(static_cast<long double>(position) * 10000 / max);
}

int positionFromQuality(int quality, int max) {
    return roundHalfEven(static_cast<long double>(quality) * max / 10000);
}

}  // namespace zelq
