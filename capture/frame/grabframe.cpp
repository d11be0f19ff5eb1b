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

void drawPointer(ScreenGrabber& grabber, const GrabSettings& settings, QImage& image, int left, int top) {
    const std::optional<QPoint> pointer = grabber.pointerPosition();
    if (!pointer)
        return;
    // The arrow is placed by its own hot spot, so its tip is at the pointer whatever shape the cursor on
    // screen has (a text cursor's hot spot sits in its middle and would push the arrow off the point).
    const CursorImage& arrow = settings.ArrowCursor ? *settings.ArrowCursor : standardArrowCursor();
    drawCursor(image, arrow, *pointer - QPoint(left, top) - arrow.hotSpot);
}

}  // namespace

Frame GrabFrame(ScreenGrabber& grabber, const GrabSettings& settings, FrameWindowHooks* worker,
                Dialogs& dialogs, int left, int top, int width, int height) {
    FrameWindowHooks* window = settings.ShowFrame ? worker : nullptr;
    if (window) {
        if (settings.FollowSource)
            window->moveFrame(left, top, width, height);
        window->flash(true);
    }
    QImage image;
    if (!grabber.grab(left, top, width, height, image))
        return captureFailed(dialogs);
    if (settings.DrawCursor)
        drawPointer(grabber, settings, image, left, top);

    Frame frame = BitmapToDIB(image, settings.BitsPerPixel, dialogs);
    if (!frame)
        return captureFailed(dialogs);
    if (window)
        window->flash(false);
    return frame;
}

}  // namespace zelq
