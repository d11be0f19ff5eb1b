#pragma once
// Whether the test runs on the headless Wayland desktop of scripts/wayland-session.sh; the reason to skip
// when it does not.

#include <QString>
#include <string>

#include "platform/desktopsession.h"

namespace zelq::test {

// Empty on the test desktop; otherwise why the Wayland tests are skipped.
inline std::string waylandUnavailable() {
    const QString why = qEnvironmentVariable("ZELQ_WAYLAND_UNAVAILABLE");
    if (!why.isEmpty())
        return "Wayland tests skipped: " + why.toStdString();
    if (!isWaylandSession() || qEnvironmentVariableIsEmpty("ZELQ_WAYLAND_DIR"))
        return "Wayland tests skipped: not on a test Wayland desktop (run them with "
               "scripts/wayland-session.sh "
               "run, as ctest does)";
    return {};
}

}  // namespace zelq::test
