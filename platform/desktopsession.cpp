#include "desktopsession.h"

#include <QByteArray>

namespace zelq {

bool isWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
}

}  // namespace zelq
