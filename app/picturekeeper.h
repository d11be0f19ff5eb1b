#pragma once
// What keeps each picture of the picture list as it was when it was added: a private name for the file's
// contents at that moment, in a folder of the panel's own that goes when the panel does. Another split
// into the same img folder, or the user deleting a picture there, then changes nothing the list shows or
// writes. The pictures stay on disk, not in memory, so a list of thousands of 1080p pictures costs no
// more memory than its names. UI thread only.

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace zelq {

class PictureKeeper {
public:
    PictureKeeper();
    ~PictureKeeper();
    PictureKeeper(const PictureKeeper&) = delete;
    PictureKeeper& operator=(const PictureKeeper&) = delete;

    // A private name for what `file` holds now: a hard link where the folder shares the file system with
    // the private one (no bytes are copied, and a file replaced by rename keeps its old contents under
    // this name), a copy otherwise. Empty when neither can be made.
    // The name is the caller's to remove when it no longer needs it; what is left goes with the keeper.
    QString keep(const QString& file);

private:
    std::unique_ptr<QTemporaryDir> dir_;  // made on first use
    quint64 next_ = 0;
};

}  // namespace zelq
