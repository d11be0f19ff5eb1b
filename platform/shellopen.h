#pragma once
// Handing a file, a folder or an address to the desktop, which opens it with the user's program for it
// (the default player, the file manager, the browser). UI thread only.

#include <QString>

namespace zelq {

// What may be handed to the desktop: an absolute path, or an address with a scheme of its own
// ("https:", "file:"). Anything else, a relative path above all, could reach xdg-open as an option
// ("-rec/1.avi") or name a file of the working folder.
bool IsDesktopTarget(const QString& target);

// Opens a path (as a file:// address) or an address. False, with nothing handed over, for a target
// IsDesktopTarget refuses; otherwise the outcome is not reported: the desktop shows its own message when
// it has no program for the item.
bool ShellOpen(const QString& target);

}  // namespace zelq
