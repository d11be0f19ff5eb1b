#pragma once
// TFlashingWnd: the marker round the rectangle being recorded. A borderless, stay-on-top window shaped as
// four corner brackets lying just outside the rectangle, so no pixel of it is ever in a recorded frame.
// While a recording runs it is painted pale yellow just before each capture and green just after it.
//
// Thread rules: the window belongs to the UI thread, but SetArea, PaintFrame, showFrame and hideFrame may be
// called from any thread. From another thread the call is carried to the UI thread and the caller waits
// until it has run (the recording worker hands the window work over this way); on the UI thread it runs in
// place. That cannot deadlock as long as the UI thread does not block waiting for the calling thread
// without pumping events, which the engine guarantees while a recording runs. Everything else is UI thread
// only.

#include <QColor>
#include <QRegion>
#include <QWidget>
#include <optional>

namespace zelq {

// The two colours of the frame (0x00BBGGRR): pale yellow while a capture is taken, green between captures.
constexpr quint32 kCapturingColour = 0x00B4FFFF;        // RGB(255, 255, 180)
constexpr quint32 kBetweenCapturesColour = 0x0050FF00;  // RGB(0, 255, 80)

class TFlashingWnd : public QWidget {
    Q_OBJECT
public:
    // Hidden, at (430, 104) 483 x 458 until the first SetArea; a child top-level of `owner`.
    explicit TFlashingWnd(QWidget* owner = nullptr);

    // Frames the rectangle (left, top, width, height) in screen pixels: the window covers it with 8 pixels
    // to spare on each side and is shaped to the brackets of frameShape.
    void SetArea(int left, int top, int width, int height);
    // Paints the brackets in a colour given as 0x00BBGGRR; the window is repainted before this returns.
    void PaintFrame(quint32 colour);
    void showFrame();
    void hideFrame();

    // The framed rectangle in screen coordinates, right and bottom inclusive; all 0 until the first SetArea.
    // Written on the UI thread only.
    int AreaLeft = 0;
    int AreaTop = 0;
    int AreaRight = 0;
    int AreaBottom = 0;

    // The window's shape for a rectangle of width x height, in window coordinates (the window being
    // 8 pixels larger on every side): four L-shaped brackets in the window's corners, 8 pixels thick on the
    // left and top and 7 on the right and bottom, round a hole over the rectangle plus one column and one
    // row. Where a side is 35 pixels or shorter its brackets meet and that side is one whole bar.
    static QRegion frameShape(int width, int height);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <typename Fn>
    void onWindowThread(Fn&& fn);

    std::optional<QColor> colour_;  // none until the first PaintFrame: nothing is painted
};

}  // namespace zelq
