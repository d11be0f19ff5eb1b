#pragma once
// What one recording pass costs the two threads of a recording, each way of doing it measured in turns on
// the same screen, so that a loaded machine slows both alike: the grab converting what it reads out of
// the kept picture afterwards or writing it into the frame as it reads it, and the MSVC encoder comparing
// with a copy of its own or with the last frame the writer still holds. Thread CPU time, not wall time,
// medians of 40 passes each.
//
// Thread rules: the thread that owns `grabber`.

namespace zelq {
class ScreenGrabber;
}

namespace zelq::bench {

// Prints: grab converting afterwards ms, grab writing through ms, encoder with its own copy ms, encoder
// with the last frame ms. Answers the exit status.
int printPassCosts(ScreenGrabber& grabber);

}  // namespace zelq::bench
