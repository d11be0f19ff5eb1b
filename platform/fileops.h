#pragma once
// File operations with the guarantees the program promises its users. Thread-safe.

#include <QString>

namespace zelq {

// Renames a file without ever replacing an existing one: a plain Linux rename would silently destroy
// a file of the new name. False when the target exists or the rename fails otherwise; errno says why.
bool MoveFileNoReplace(const QString& from, const QString& to);

// Creates an empty file that did not exist: never opens or empties one that another program (or a second
// copy of this one) made first. False when the file exists or cannot be made; errno says why.
bool CreateNewFile(const QString& path);

// Moves a file to the desktop's trash, where the user can restore it; where the file system has no
// trash, deletes it. False when it is still there.
bool TrashOrDelete(const QString& path);

}  // namespace zelq
