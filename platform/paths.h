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

// Where a program in programFolder keeps its settings file. A portable copy keeps it beside itself: when
// the folder already holds the file, or when the folder is writable and is not the bin folder of an
// installed copy (one whose prefix carries installedMarker, a path relative to programFolder). An
// installed copy never writes beside itself even when it could (root can write /usr/bin, a user their
// own ~/.local/bin): that folder belongs to the package manager. Any other copy keeps the file per user,
// as Windows redirects such writes: $XDG_CONFIG_HOME/userFolder/fileName, with ~/.config standing in when
// the variable is unset or not an absolute path. Only decides; creates nothing.
struct SettingsLocation {
    QString fileName;
    QString userFolder;
    QString installedMarker;
};
QString settingsFilePath(const QString& programFolder, const SettingsLocation& where);

}  // namespace zelq
