#pragma once
// Copies rectangles of the X screen into images, and answers where the pointer is and where the hot spot
// of the current cursor lies. Each grabber has its own connection to the X server, so the recording worker
// can grab while the UI thread runs Qt's own connection.
//
// Thread rules: a grabber is used by one thread at a time (it keeps a reusable buffer and is not locked).
// Give every thread its own: forCurrentThread() does that, keeping one per thread until the thread ends.
//
// Speed: the image travels through a shared-memory segment (MIT-SHM) that is kept and reused from grab to
// grab, grown only when a larger rectangle is asked for; building a segment and having the server attach
// it costs more than the copy itself. Where the server refuses shared memory (a display on another
// machine, or no MIT-SHM) every grab is a plain GetImage request instead, which copies the pixels through
// the socket. A recording grabs with grabChanges, which reads back only what the server has drawn since
// the last pass.

#include <memory>

#include "platform/screen/screensource.h"

namespace zelq {

class ScreenGrabber final : public ScreenSource {
public:
    enum class Transport {
        SharedMemoryIfPossible,  // MIT-SHM when the server offers and accepts it, else plain
        Plain,                   // always plain GetImage requests
    };

    // Connects to the display named (nullptr: $DISPLAY). A grabber that could not connect stays usable:
    // isConnected() is false, the screen is 0 x 0 and every grab fails.
    explicit ScreenGrabber(Transport transport = Transport::SharedMemoryIfPossible,
                           const char* displayName = nullptr);
    ~ScreenGrabber() override;
    ScreenGrabber(const ScreenGrabber&) = delete;
    ScreenGrabber& operator=(const ScreenGrabber&) = delete;

    // The grabber of the calling thread, made on first use and kept until the thread ends.
    static ScreenGrabber& forCurrentThread();

    bool isConnected() const override;
    // Bits of one pixel in the server's images: 32 on a depth-24 screen, 16 on a depth-15 or 16 screen.
    // This is the colour depth frames are taken at.
    int bitsPerPixel() const override;
    int depth() const;  // significant bits of a pixel (24 on a usual screen)
    int width() const override;
    int height() const override;
    bool usesSharedMemory() const;

    // Copies the rectangle into `image` as Format_RGB32, width x height. Parts of the rectangle that lie
    // off the screen are black. The image's buffer is reused when it already has that size and format and
    // is not shared. Fails (false) only for an empty rectangle, an image too large to allocate, a lost
    // connection or a screen format this grabber cannot read.
    bool grab(int left, int top, int width, int height, QImage& image) override;

    // The X server's screen needs no preparing: every grab reads it as it is (and says when it cannot).
    bool beginRecording(const std::function<bool()>&) override { return true; }
    void endRecording() override {}

    // Keeps `kept` equal to what grab() would give for the rectangle, reading back only the parts the
    // server reports drawn since the last call (DAMAGE). The whole rectangle is read when `kept` is not
    // this rectangle's picture from the last call (another rectangle, size or a fresh image), when the
    // server cannot report damage, and when the screen has changed size (the part now off it is black).
    // Fails as grab() does; the next call then reads everything again. `changed` (if given) receives the
    // parts of `kept` that were read, in its own coordinates: its whole rectangle after a whole read.
    // `landed` (if given) hears of each strip of rows of `kept` as soon as it has been read (in kept's
    // coordinates), while its bytes are still in the processor's cache: a caller that converts what was
    // read does it there far cheaper than in a second sweep over a picture of tens of megabytes. On the
    // usual screen (32-bit pixels, 0xXXRRGGBB) each row also goes into `mirror` as it is read, when its
    // size is the rectangle's: cheaper again, since nothing is read back.
    bool grabChanges(int left, int top, int width, int height, QImage& kept,
                     std::vector<QRect>* changed = nullptr, const RowsLanded& landed = {},
                     DibMirror* mirror = nullptr) override;
    // Whether grabChanges can read only what changed (the server has DAMAGE and XFixes regions).
    bool followsDamage();

    // The pointer's position in screen coordinates, or none when the server does not answer.
    std::optional<QPoint> pointerPosition() override;
    // The hot spot of the cursor now shown (XFixes), or none without the XFixes extension.
    std::optional<QPoint> cursorHotSpot() override;

private:
    struct Impl;
    bool fetch(const QRect& onScreen, QImage& image, QPoint at);
    bool grabWhole(const QRect& wanted, QImage& kept, std::vector<QRect>* changed);
    // Reads the root window's size again; true when it changed.
    bool refreshScreenSize();
    bool fetchShared(const QRect& onScreen, QImage& image, QPoint at);
    bool fetchPlain(const QRect& onScreen, QImage& image, QPoint at);
    bool ensureSegment(std::size_t bytes);
    std::unique_ptr<Impl> d_;
};

}  // namespace zelq
