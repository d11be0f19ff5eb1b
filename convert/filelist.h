#pragma once
// Listing a folder's files and putting recordings in number order. Plain functions without state;
// thread-safe.

#include <QString>
#include <QStringList>

namespace zelq {

// Appends folder + name for every file (never a folder) directly in the folder whose name contains the
// filter, upper-cased in ASCII, anywhere in its upper-cased name; an empty or blank filter, or ".*",
// lists every file. The filter is a plain fragment: "avi" lists David.txt as well as 3.AVI. Entries come
// in the order the file system returns them; the list is never cleared. A folder that cannot be read
// adds nothing and reports nothing.
void ListFolderFiles(const QString& folder, const QString& filter, QStringList& list);

// -1, 0 or 1 comparing the numbers at the start of two names (leading blanks and one sign skipped,
// 0 when no digit starts a name): 9.avi comes before 10.avi and x.avi before both.
int CompareRecordingNames(const QStringList& list, int i, int j);

// Orders names by CompareRecordingNames. Names with equal numbers keep their relative order.
void SortRecordingNames(QStringList& names);

}  // namespace zelq
