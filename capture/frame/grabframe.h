#pragma once
// GrabFrame: one frame of the screen, as the recording loop and the compressor probe take it. It copies a
// rectangle of the screen, draws the arrow in where the pointer is, and converts the result into a frame
// (frame.h) at the recording's colour depth. While a recording runs it also flashes the frame window
// around the capture (pale yellow during it, green after it) and, when the source window is followed,
// moves the frame window first.
//
// The engine owns the settings and the frame window; it passes its settings as GrabSettings and, while
// its worker exists, the worker as FrameWindowHooks. Its own GrabFrame member forwards here.
//
// Thread rules: runs on the thread that owns `grabber` (see ScreenSource). On the recording worker the
// hooks hand the window work to the UI thread: the colours are posted, a move is waited for (only when the
// source has moved); that cannot deadlock because the UI thread never waits for the worker while a
// recording runs. Message boxes are carried to
// the UI thread by Dialogs and block the caller until answered.

#include <QImage>

#include "capture/frame/frame.h"
#include "platform/screen/arrowcursor.h"

namespace zelq {

class Clock;
class Dialogs;
class KeptScreen;
class ScreenSource;

struct GrabSettings {
    int BitsPerPixel = 32;      // depth of the frame: 8, 16, 24 or 32
    bool DrawCursor = true;     // draw the pointer (as ArrowCursor) into the frame
    bool ShowFrame = true;      // flash the frame window around each capture while recording
    bool FollowSource = false;  // move the frame window to the rectangle before each capture
    // The picture drawn for the pointer; nullptr: the standard arrow.
    const CursorImage* ArrowCursor = nullptr;
    // When given, the frame is stamped (Frame::seenAt) with the moment the screen's first answer came back.
    Clock* SeenClock = nullptr;
};

// The frame window as the recording worker reaches it. moveFrame returns once the UI thread has moved the
// window; flash only posts the colour.
class FrameWindowHooks {
public:
    virtual ~FrameWindowHooks() = default;
    virtual void moveFrame(int left, int top, int width, int height) = 0;
    virtual void flash(bool capturing) = 0;
};

// Grabs (left, top, width, height) in screen pixels. `worker` is the recording worker, or nullptr when
// none runs (the compressor probe): then the frame window is left alone. Returns none after showing
// "Error capturing a frame!" when no frame can be made (empty rectangle, no memory, no screen), or the
// source's own words when it has lost the screen (ScreenSource::failure).
//
// `kept`, when given, is what a recording keeps from pass to pass (see KeptScreen): only what the server
// has drawn since the last pass is read back and converted. The pointer is never drawn into it.
Frame GrabFrame(ScreenSource& grabber, const GrabSettings& settings, FrameWindowHooks* worker,
                Dialogs& dialogs, int left, int top, int width, int height, KeptScreen* kept = nullptr);

}  // namespace zelq
