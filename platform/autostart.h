#pragma once
// Starting the program with the desktop session: the machine-wide XDG autostart entry, which every
// user's session reads at log-on. Thread-safe (no state); the callers decide what a failure means.

#include <QByteArray>
#include <QString>
#include <optional>

namespace zelq {

// <first folder of $XDG_CONFIG_DIRS, or /etc/xdg>/autostart/ZELQ屏幕录像助手.desktop
QString autostartEntryPath();

// The Exec= value that runs `program` with no arguments: quoted when the path holds a character the
// session would otherwise split or expand, with the escapes desktop entries require.
QString desktopExecValue(const QString& program);

// The running program's path as the file system has it (the bytes of /proc/self/exe).
QByteArray runningProgramPath();

// The path `bytes` as a desktop entry can hold it; nothing when the bytes are not UTF-8. Entry values
// are UTF-8 text with no escape for other bytes, so such a path would go in with replacement
// characters and the session would never find the program.
std::optional<QString> desktopProgramPath(const QByteArray& bytes);

// Writes the entry (and its folder when missing) so that the session starts `program`; false when the
// file could not be written, for example without the right to write there.
bool writeAutostartEntry(const QString& program);

// Deletes the entry; true when there is none afterwards.
bool removeAutostartEntry();

}  // namespace zelq
