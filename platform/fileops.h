#pragma once
// File operations with the guarantees the program promises its users. Thread-safe.

#include <QString>
#include <chrono>
#include <optional>
#include <utility>

namespace zelq {

// Renames a file without ever replacing an existing one: a plain Linux rename would silently destroy
// a file of the new name. False when the target exists or the rename fails otherwise; errno says why.
bool MoveFileNoReplace(const QString& from, const QString& to);

// Creates an empty file that did not exist: never opens or empties one that another program (or a second
// copy of this one) made first. False when the file exists or cannot be made; errno says why.
bool CreateNewFile(const QString& path);

// Moves a file to the desktop's trash, where the user can restore it. False when it is still there,
// also when its file system has no trash.
bool MoveToTrash(const QString& path);
// Whether MoveToTrash can take files from `folder`: only files on the home trash's file system go there.
bool TrashReaches(const QString& folder);

// Moves a file to the trash as MoveToTrash does; where the file system has no trash, deletes it. For
// what the user asked to delete. False when it is still there.
bool TrashOrDelete(const QString& path);

// Replacing a file never leaves neither the old one nor the new one: the new one is written under a
// temporary name beside it, and only when it is whole does it take the name, the old one going to the
// trash first. A crash between those two steps leaves the old file whole in the trash and the new one
// whole under its temporary name.
//
// A new, empty file beside `path` with a hidden name of its own, made exclusively (never a file that
// exists); its path, or an empty text when none can be made.
QString CreateTemporaryBeside(const QString& path);
// Puts the finished file `temporary` at `path`; an earlier file there goes to the trash first. False,
// with nothing replaced and the temporary file left to the caller, when the earlier file cannot go to
// the trash or the rename fails; errno says why.
bool PutInPlace(const QString& temporary, const QString& path);

// An advisory lock on a file, held while the object lives. A recording being written holds one, so that
// nothing repairs or replaces the file under it, in this program or in a second copy of it.
class FileLock {
public:
    // The lock, or none when another holder has it or the file cannot be opened. Only a regular file is
    // locked: a symbolic link is not followed, and a FIFO or a device is never waited on.
    static std::optional<FileLock> tryLock(const QString& path);
    // The same, trying again for up to `patience` while another holder has it: for a writer whose new
    // file a repairer may be looking at for a moment.
    static std::optional<FileLock> tryLockFor(const QString& path, std::chrono::milliseconds patience);
    // The locked file, open for reading.
    int fd() const { return fd_; }
    // Whether `path` still names the locked file (it may have been renamed or deleted meanwhile).
    bool isAt(const QString& path) const;
    FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileLock& operator=(FileLock&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    FileLock(const FileLock&) = delete;
    ~FileLock();

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace zelq
