#pragma once
// Folder texts and the rules the program applies to them. Linux has one logical drive, the root "/",
// and "/" separates folders. A text whose second character is a colon ("D:") names a drive that never
// exists here, so such texts are refused by the drive check and never created in the working folder.
// Thread-safe (no state).

#include <QString>

namespace zelq {

constexpr QChar kFolderSeparator = QLatin1Char('/');

// The default recording folder: $HOME/ZelqWare/ScreenREC.
QString defaultRecordingFolder();

// A text that ends with the separator unchanged; any other text, the empty one included, with one
// separator appended.
QString NormaliseFolder(const QString& folder);

enum class CreateFolderResult {
    Done,     // the folder exists afterwards, or the text needed no work
    Failed,   // something could not be created (no such drive, refused by the file system)
    Refused,  // an empty text, or a relative one whose first element is not an existing folder
};

// Creates a folder together with its missing parents.
CreateFolderResult CreateFolderPath(const QString& folder);

// True when the drive text names one of the system's logical drives: only "/" here (blanks trimmed).
bool DriveExists(const QString& drive);

// The drive part of a folder text: "/" for a text starting with a single "/"; the "//server/share"
// (or "\\server\share") prefix of a network-style text; the first two characters when the second is a
// colon; the empty text otherwise (relative texts).
QString DrivePart(const QString& folder);

// Why a text cannot be the name of a file inside a folder, if it cannot: a separator or the names "."
// and ".." would reach outside the folder, and the file system takes at most 255 bytes a name.
enum class FileNameProblem { None, Empty, Separator, DotName, TooLong };
FileNameProblem fileNameProblem(const QString& name);

bool FolderExists(const QString& folder);
bool FileExists(const QString& path);

}  // namespace zelq
