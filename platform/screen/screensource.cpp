#include "screensource.h"

#include "platform/screen/portalsource.h"
#include "platform/screen/screengrabber.h"

namespace zelq {

ScreenSource& ScreenSource::forCurrentThread() {
    // Decided once (see isWaylandSession): a program run records from one kind of desktop.
    static const bool wayland = isWaylandSession();
    if (!wayland)
        return ScreenGrabber::forCurrentThread();
    thread_local PortalScreenSource portal;
    return portal;
}

}  // namespace zelq
