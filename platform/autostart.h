#pragma once
// Starting the program with the desktop session: the machine-wide XDG autostart entry, which every
// user's session reads at log-on. Thread-safe (no state); the callers decide what a failure means.

#include <QString>

namespace zelq {

// <first folder of $XDG_CONFIG_DIRS, or /etc/xdg>/autostart/ZELQ屏幕录像助手.desktop
QString autostartEntryPath();

// The Exec= value that runs `program` with no arguments: quoted when the path holds a character the
// session would otherwise split or expand, with the escapes desktop entries require.
QString desktopExecValue(const QString& program);

// Writes the entry (and its folder when missing) so that the session starts `program`; false when the
// file could not be written, for example without the right to write there.
bool writeAutostartEntry(const QString& program);

// Deletes the entry; true when there is none afterwards.
bool removeAutostartEntry();

}  // namespace zelq
