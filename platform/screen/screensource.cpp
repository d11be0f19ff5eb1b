#include "screensource.h"

#include <QByteArray>

#include "platform/screen/portalsource.h"
#include "platform/screen/screengrabber.h"

namespace zelq {

bool isWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
}

ScreenSource& ScreenSource::forCurrentThread() {
    // Decided once: a program run records from one kind of desktop.
    static const bool wayland = isWaylandSession();
    if (!wayland)
        return ScreenGrabber::forCurrentThread();
    thread_local PortalScreenSource portal;
    return portal;
}

}  // namespace zelq
