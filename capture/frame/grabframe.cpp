#include "grabframe.h"

#include <QImage>
#include <algorithm>
#include <vector>

#include "capture/frame/bitmaptodib.h"
#include "capture/frame/cursordraw.h"
#include "capture/frame/keptscreen.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/screen/screensource.h"

namespace zelq {

namespace {

// A source that has lost the screen for good (the desktop stopped casting it) says why in its own words.
Frame captureFailed(const ScreenSource& source, Dialogs& dialogs) {
    const QString why = source.failure();
    if (why.isEmpty())
        dialogs.messageBox(QStringLiteral("Error capturing a frame!"), QStringLiteral("Error"),
                           MsgIcon::Warning, MsgButtons::Ok);
    else
        dialogs.messageBox(why, QStringLiteral("出错"), MsgIcon::Warning, MsgButtons::Ok);
    return {};
}

// The arrow goes over a copy of the few pixels under it, converted into the frame: the image itself may be
// the recording's kept picture of the screen, and an arrow left in it would stay behind in later frames.
// Answers where it went (image coordinates), empty for nowhere.
QRect drawPointer(ScreenSource& grabber, const GrabSettings& settings, const QImage& image, Frame& frame,
                  int left, int top) {
    const std::optional<QPoint> pointer = grabber.pointerPosition();
    if (!pointer)
        return {};
    // The arrow is placed by its own hot spot, so its tip is at the pointer whatever shape the cursor on
    // screen has (a text cursor's hot spot sits in its middle and would push the arrow off the point).
    const CursorImage& arrow = settings.ArrowCursor ? *settings.ArrowCursor : standardArrowCursor();
    const QPoint topLeft = *pointer - QPoint(left, top) - arrow.hotSpot;
    const QRect under = QRect(topLeft, arrow.image.size()) & image.rect();
    if (under.isEmpty())
        return {};
    QImage patch = image.copy(under);
    drawCursor(patch, arrow, topLeft - under.topLeft());
    PaintIntoDIB(frame, patch, patch.rect(), under.topLeft());
    return under;
}

// Flags the frame's rows (bottom-up) that the parts given (top-down image rectangles) cover.
void flagRows(std::vector<bool>& rows, const QRect& part) {
    const int height = static_cast<int>(rows.size());
    for (int y = std::max(part.top(), 0); y <= std::min(part.bottom(), height - 1); ++y)
        rows[static_cast<std::size_t>(height - 1 - y)] = true;
}

}  // namespace

Frame GrabFrame(ScreenSource& grabber, const GrabSettings& settings, FrameWindowHooks* worker,
                Dialogs& dialogs, int left, int top, int width, int height, KeptScreen* kept) {
    FrameWindowHooks* window = settings.ShowFrame ? worker : nullptr;
    if (window) {
        if (settings.FollowSource)
            window->moveFrame(left, top, width, height);
        window->flash(true);
    }
    QImage own;
    QImage& image = kept ? kept->image : own;
    std::vector<QRect> changed;
    bool grabbed = false;
    Clock* const clock = settings.SeenClock;
    std::optional<std::uint32_t> seenAt;
    if (kept) {
        kept->beginPass(settings.BitsPerPixel);
        // The server answers a large read in bands, in order, copying the next while this thread converts
        // the last: the first answer is when its copy of the screen began, and the copy is over long
        // before the conversion. On a busy machine that first answer may come hundreds of ms after asking.
        grabbed = grabber.grabChanges(
            left, top, width, height, image, &changed,
            [kept, clock, &seenAt](const QRect& strip) {
                if (clock && !seenAt)
                    seenAt = clock->timeGetTime();
                kept->rowsRead(strip);
            },
            kept->mirror());
    } else {
        grabbed = grabber.grab(left, top, width, height, image);
    }
    if (!grabbed)
        return captureFailed(grabber, dialogs);
    // Nothing read anew (or a whole read): the screen is of the answer's end, before the conversion.
    if (clock && !seenAt)
        seenAt = clock->timeGetTime();
    Frame frame = kept ? kept->endPass(changed, dialogs) : BitmapToDIB(image, settings.BitsPerPixel, dialogs);
    if (!frame)
        return captureFailed(grabber, dialogs);
    frame.seenAt = seenAt;
    // A desktop that draws the pointer into its pictures has already put it where it is.
    const QRect pointer = settings.DrawCursor && !grabber.pointerInPicture()
                              ? drawPointer(grabber, settings, image, frame, left, top)
                              : QRect();
    if (kept) {
        // What differs from the last frame: what was read anew, and the arrow where it is and where it was.
        frame.changedRows.assign(static_cast<std::size_t>(image.height()), false);
        for (const QRect& part : changed) flagRows(frame.changedRows, part);
        flagRows(frame.changedRows, pointer);
        flagRows(frame.changedRows, kept->pointer());
        kept->arrowDrawn(pointer);
    }
    if (window)
        window->flash(false);
    return frame;
}

}  // namespace zelq
