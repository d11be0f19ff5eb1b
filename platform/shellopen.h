#pragma once
// Handing a file, a folder or an address to the desktop, which opens it with the user's program for it
// (the default player, the file manager, the browser). UI thread only.

#include <QString>

namespace zelq {

// A path (absolute) or an address (with a scheme). The outcome is not reported: the desktop shows its
// own message when it has no program for the item.
void ShellOpen(const QString& target);

}  // namespace zelq
