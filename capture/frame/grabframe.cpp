#include "grabframe.h"

#include <QImage>

#include "capture/frame/bitmaptodib.h"
#include "capture/frame/cursordraw.h"
#include "platform/dialogs.h"
#include "platform/screen/screengrabber.h"

namespace zelq {

namespace {

Frame captureFailed(Dialogs& dialogs) {
    dialogs.messageBox(QStringLiteral("Error capturing a frame!"), QStringLiteral("Error"), MsgIcon::Warning,
                       MsgButtons::Ok);
    return {};
}

// The arrow goes over a copy of the few pixels under it, converted into the frame: the image itself may be
// the recording's kept picture of the screen, and an arrow left in it would stay behind in later frames.
void drawPointer(ScreenGrabber& grabber, const GrabSettings& settings, const QImage& image, Frame& frame,
                 int left, int top) {
    const std::optional<QPoint> pointer = grabber.pointerPosition();
    if (!pointer)
        return;
    // The arrow is placed by its own hot spot, so its tip is at the pointer whatever shape the cursor on
    // screen has (a text cursor's hot spot sits in its middle and would push the arrow off the point).
    const CursorImage& arrow = settings.ArrowCursor ? *settings.ArrowCursor : standardArrowCursor();
    const QPoint topLeft = *pointer - QPoint(left, top) - arrow.hotSpot;
    const QRect under = QRect(topLeft, arrow.image.size()) & image.rect();
    if (under.isEmpty())
        return;
    QImage patch = image.copy(under);
    drawCursor(patch, arrow, topLeft - under.topLeft());
    PaintIntoDIB(frame, patch, under.topLeft());
}

}  // namespace

Frame GrabFrame(ScreenGrabber& grabber, const GrabSettings& settings, FrameWindowHooks* worker,
                Dialogs& dialogs, int left, int top, int width, int height, QImage* kept) {
    FrameWindowHooks* window = settings.ShowFrame ? worker : nullptr;
    if (window) {
        if (settings.FollowSource)
            window->moveFrame(left, top, width, height);
        window->flash(true);
    }
    QImage own;
    QImage& image = kept ? *kept : own;
    const bool grabbed = kept ? grabber.grabChanges(left, top, width, height, image)
                              : grabber.grab(left, top, width, height, image);
    if (!grabbed)
        return captureFailed(dialogs);
    Frame frame = BitmapToDIB(image, settings.BitsPerPixel, dialogs);
    if (!frame)
        return captureFailed(dialogs);
    if (settings.DrawCursor)
        drawPointer(grabber, settings, image, frame, left, top);
    if (window)
        window->flash(false);
    return frame;
}

}  // namespace zelq
