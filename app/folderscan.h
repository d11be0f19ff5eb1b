#pragma once
// Reads the recordings folder away from the window's thread. A folder on a network or FUSE file system
// can take seconds to list, or never answer, and the list is read after every recording, rename and
// delete: read in place, it froze the window for as long. A listing that comes within a moment is taken
// at once, exactly as if it had been read in place, so a local folder's list is never seen half-made;
// a slower one is taken when it comes, unless a newer listing has been asked for meanwhile.
//
// The reading threads are detached: one that waits on a file system that never answers cannot be joined,
// and must not hold up the window's closing. What they come back with goes to the window's thread only
// while the scanner is alive.

#include <QObject>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>

namespace zelq {

struct FolderListing {
    bool usable = false;  // the folder is there (or could be made)
    QStringList files;    // its regular .avi files (also through a link), full paths, in directory order
};

// Reads one folder; runs on any thread.
FolderListing listRecordingFolder(const QString& folder);

class FolderScanner {
public:
    using Apply = std::function<void(const FolderListing&)>;
    // `context` is the window's object whose thread runs the late listings.
    explicit FolderScanner(QObject* context) : context_(context) {}
    ~FolderScanner();
    FolderScanner(const FolderScanner&) = delete;
    FolderScanner& operator=(const FolderScanner&) = delete;

    // Reads `folder` and hands the listing to `apply` on the context's thread: before returning when it
    // is read within `wait` (true then), otherwise later from the event loop (false).
    bool scan(const QString& folder, std::chrono::milliseconds wait, Apply apply);

private:
    struct Pending;
    QObject* context_;
    std::shared_ptr<Pending> pending_;  // the newest listing asked for
};

}  // namespace zelq
