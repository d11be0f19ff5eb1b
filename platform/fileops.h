#pragma once
// File operations with the guarantees the program promises its users. Thread-safe.

#include <QString>

namespace zelq {

// Renames a file without ever replacing an existing one: a plain Linux rename would silently destroy
// a file of the new name. False when the target exists or the rename fails otherwise; errno says why.
bool MoveFileNoReplace(const QString& from, const QString& to);

}  // namespace zelq
