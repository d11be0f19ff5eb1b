#pragma once
// The first part of the bench: what one whole-screen frame costs, as medians beside a memcpy of the same
// 8 MB, with GrabFrame's steps measured one by one so that a gap between them and the whole shows.
//
// Thread rules: UI thread (the engine's and the pattern's thread).

#include <functional>

namespace zelq {
class TScreenCam;
}

namespace zelq::bench {

class PatternProcess;

// The median milliseconds of 50 calls of body; a first call, not counted, pays for first touches.
double medianMs(const std::function<void()>& body);

// Prints the figures for a frame of width x height taken at (0, 0).
void printGrabFigures(TScreenCam& cam, PatternProcess& pattern, int width, int height);

}  // namespace zelq::bench
