#pragma once
// Where a recording's pictures come from. On an X11 desktop that is the X server (ScreenGrabber). On a
// Wayland desktop an X client sees only the windows of other X clients, so there the pictures come from
// the desktop's screen-cast portal as a PipeWire stream of the monitor (PortalScreenSource). The choice is
// made once, when the program first asks, and nothing above the grabber knows which one it has.
//
// Rectangles are in the X server's coordinates in both cases: under Wayland the program's windows are
// Xwayland windows, and the portal source maps the rectangle onto the monitor's picture itself.
//
// Thread rules: a source is used by one thread at a time; forCurrentThread() gives each thread its own.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/desktopsession.h"

namespace zelq {

// The pixel rows of a 32-bit DIB of `kept`'s size (bottom-up, blue, green, red, 0 per pixel), to take
// what a grab copies into `kept` in the same sweep: reading a picture of tens of megabytes back out of
// `kept` to convert it costs as much again.
struct DibMirror {
    std::uint8_t* pixels = nullptr;  // the first byte of the bottom row
    std::size_t stride = 0;          // bytes from one row to the next
    int width = 0;
    int height = 0;
    bool written = false;  // set by a source that writes it
};

class ScreenSource {
public:
    virtual ~ScreenSource() = default;

    // The source of the calling thread, of the kind chosen for this program run (see isWaylandSession),
    // made on first use and kept until the thread ends.
    static ScreenSource& forCurrentThread();

    virtual bool isConnected() const = 0;
    // Bits of one pixel of the pictures: the colour depth frames are taken at.
    virtual int bitsPerPixel() const = 0;
    // The screen's size in the coordinates rectangles are given in.
    virtual int width() const = 0;
    virtual int height() const = 0;

    // A recording begins: the source gets ready to follow the screen. The portal asks the desktop for the
    // screen here, which may show the user a question; this waits for the answer while keepWaiting() is
    // true (it is asked a few times a second), so it must not run on the UI thread. False with failure()
    // saying why when no pictures can be had.
    virtual bool beginRecording(const std::function<bool()>& keepWaiting) = 0;
    // The recording has ended: whatever beginRecording took is given back.
    virtual void endRecording() = 0;

    // Copies the rectangle into `image` as Format_RGB32, width x height; parts off the screen are black.
    // The image's buffer is reused when it already has that size and format and is not shared.
    virtual bool grab(int left, int top, int width, int height, QImage& image) = 0;
    // Keeps `kept` equal to what grab() would give, copying only what changed since the last call where
    // the source can tell. `changed` (if given) receives the parts of `kept` that were copied, in its own
    // coordinates; `landed` (if given) hears of each part as soon as it has been copied. A source that can
    // also writes each part into `mirror` (if given) as it copies it, and then sets mirror->written.
    using RowsLanded = std::function<void(const QRect& strip)>;
    virtual bool grabChanges(int left, int top, int width, int height, QImage& kept,
                             std::vector<QRect>* changed = nullptr, const RowsLanded& landed = {},
                             DibMirror* mirror = nullptr) = 0;

    // Whether the pictures already show the pointer (the desktop drew it): then no arrow is drawn in.
    virtual bool pointerInPicture() const { return false; }
    // The pointer's position in the rectangles' coordinates, or none when it cannot be had.
    virtual std::optional<QPoint> pointerPosition() = 0;
    // The hot spot of the cursor now shown, or none.
    virtual std::optional<QPoint> cursorHotSpot() = 0;

    // Why the last beginRecording or grab failed, in words for the user; empty when the source has nothing
    // to add to a plain capture failure. A source that says something here has lost the screen for good.
    virtual QString failure() const { return {}; }
};

}  // namespace zelq
