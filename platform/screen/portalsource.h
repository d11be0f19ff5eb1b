#pragma once
// The screen on a Wayland desktop: the monitor's picture from the screen-cast portal (PortalSession) as a
// PipeWire stream (PipeWireStream), cropped to the rectangle asked for.
//
// Rectangles come in the X server's coordinates: the program's windows are Xwayland windows, and Xwayland
// lays its screen over the desktop's own coordinates. The portal says where the monitor lies in those and
// how large it is there; the picture may be larger (a monitor scaled by 2 gives a picture twice as wide),
// so the rectangle is moved by the monitor's position and stretched by the picture's scale. A scaled
// picture is brought back to the rectangle's size, so that frames keep the size the recording was started
// with.
//
// Before a recording has begun there is no stream, and a grab gives a black picture of the size asked
// for: the compressor probe at start-up only needs a frame's format, and asking the desktop for the screen
// then would put its question before the user has asked to record anything.
//
// The pointer: where the portal draws it into the picture, no arrow is drawn over it; otherwise its
// position comes from Xwayland, as on X11.
//
// Thread rules: as ScreenSource (one per thread); beginRecording waits for the desktop, so it runs on the
// recording worker.

#include <memory>

#include "platform/screen/screensource.h"

namespace zelq {

class PipeWireStream;
class PortalSession;

class PortalScreenSource final : public ScreenSource {
public:
    PortalScreenSource();
    ~PortalScreenSource() override;

    bool isConnected() const override;
    int bitsPerPixel() const override { return 32; }
    int width() const override;
    int height() const override;
    bool beginRecording(const std::function<bool()>& keepWaiting) override;
    void endRecording() override;
    bool grab(int left, int top, int width, int height, QImage& image) override;
    bool grabChanges(int left, int top, int width, int height, QImage& kept,
                     std::vector<QRect>* changed = nullptr, const RowsLanded& landed = {},
                     DibMirror* mirror = nullptr) override;
    bool pointerInPicture() const override;
    std::optional<QPoint> pointerPosition() override;
    std::optional<QPoint> cursorHotSpot() override;
    QString failure() const override { return failure_; }

    // Pictures the stream has delivered in this recording (for tests and figures); 0 without one.
    long long framesReceived() const;

private:
    bool copy(const QRect& wanted, QImage& image, bool onlyChanged, std::vector<QRect>* changed,
              const RowsLanded* landed);
    std::unique_ptr<PortalSession> session_;
    std::unique_ptr<PipeWireStream> stream_;
    QRect tracked_;  // the rectangle whose picture the last grabChanges left; empty: none
    QString failure_;
};

}  // namespace zelq
