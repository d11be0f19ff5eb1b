#pragma once
// Which kind of desktop session the program runs in. On a Wayland desktop the program's windows are
// Xwayland windows (it asks Qt for its X11 platform, so that they can place themselves), its pictures come
// from the screen-cast portal, and an X key grab never sees keys pressed in other programs' windows.
// Any thread.

namespace zelq {

// WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland.
bool isWaylandSession();

}  // namespace zelq
