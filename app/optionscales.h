#pragma once
// The options dialog's track bars and the engine's numbers: the capture interval on a logarithmic
// scale from 1 ms to one minute a frame, the frame rate from 1 to 50 fps, the quality from 0 to 10000.
// `max` is the bar's maximum as it stands. Results are rounded to the nearest integer, halves to the
// even neighbour; they saturate at the int range, so no input can make them undefined. Thread-safe.

namespace zelq {

int roundHalfEven(long double x);

int msPerFrameFromPosition(int position, int max);
int positionFromMsPerFrame(int msPerFrame, int max);

int frameRateFromPosition(int position, int max);
int positionFromFrameRate(int fps, int max);

int qualityFromPosition(int position, int max);
int positionFromQuality(int quality, int max);

}  // namespace zelq
