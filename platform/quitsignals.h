#pragma once
// A desktop session ends a program with SIGTERM (or SIGHUP when its terminal goes); Ctrl+C sends SIGINT.
// Those must end the program the way its close box does, so that a running recording is finished and
// the settings are saved. UI thread only; call once.

#include <functional>

namespace zelq {

// Runs onQuit on the UI thread, from the event loop, when SIGTERM, SIGINT or SIGHUP arrives.
void handleTerminationSignals(std::function<void()> onQuit);

}  // namespace zelq
