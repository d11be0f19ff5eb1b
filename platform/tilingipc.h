#pragma once
// Asking a tiling window manager to place a window. Tiling desktops (sway on Wayland, i3 on X11) put every
// new window into a tile and ignore where an X window asks to be, so the program's windows cannot place
// themselves there. Both answer commands on a socket in i3's IPC protocol (sway names it in $SWAYSOCK, i3
// in $I3SOCK): a window taken out of the tiles (floating) goes where such a command puts it.
//
// A command waits for the window manager's answer, at most a couple of seconds. Any thread.

#include <QRect>
#include <QString>
#include <cstdint>

namespace zelq {

// The window manager's command socket, or empty when the desktop offers none.
QString tilingIpcSocket();

// Runs one command list ("[id=…] floating enable, …") on the socket. Empty when every command
// succeeded; otherwise why not, in the window manager's words where it gave any.
QString runTilingCommand(const QString& socket, const QString& command);

// The command that floats the X window `windowId` without a border of the window manager's and gives it
// these bounds (the window's own area, in the desktop's coordinates). The size is set before the
// position: a floating window is resized about its centre.
QString floatWindowCommand(std::uint32_t windowId, const QRect& bounds);

}  // namespace zelq
