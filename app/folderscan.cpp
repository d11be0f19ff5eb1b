#include "app/folderscan.h"

#include <QFile>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "convert/filelist.h"
#include "platform/paths.h"

namespace zelq {

FolderListing listRecordingFolder(const QString& folder) {
    FolderListing listing;
    if (!FolderExists(folder) && CreateFolderPath(folder) == CreateFolderResult::Refused)
        return listing;
    listing.usable = true;
    QStringList named;
    ListFolderFiles(folder, QStringLiteral("avi"), named);
    // A FIFO, a socket or a device named .avi is no recording, and opening one to play it could wait for
    // ever: only regular files (also through a link) are listed.
    for (const QString& path : named) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(QFile::encodeName(path).toStdString(), ec))
            listing.files << path;
    }
    return listing;
}

// One listing being read: shared by the reading thread and the scanner, which may go first.
struct FolderScanner::Pending {
    std::mutex mutex;
    std::condition_variable read;
    bool done = false;
    FolderListing listing;
    // Set when the caller stopped waiting: the reading thread then posts the listing to `context`, as
    // long as it is not null (the scanner gone, or a newer listing asked for).
    QObject* context = nullptr;
    Apply apply;
};

FolderScanner::~FolderScanner() {
    if (pending_) {
        const std::lock_guard lock(pending_->mutex);
        pending_->context = nullptr;
    }
}

bool FolderScanner::scan(const QString& folder, std::chrono::milliseconds wait, Apply apply) {
    if (pending_) {  // superseded: whatever it reads is out of date
        const std::lock_guard lock(pending_->mutex);
        pending_->context = nullptr;
    }
    auto pending = std::make_shared<Pending>();
    pending_ = pending;
    std::thread([pending, folder] {
        FolderListing listing = listRecordingFolder(folder);
        const std::lock_guard lock(pending->mutex);
        pending->listing = std::move(listing);
        pending->done = true;
        pending->read.notify_all();
        // Posted under the lock, so the scanner cannot go in between; should the context go before the
        // call is delivered, Qt drops the call with it.
        if (pending->context)
            QMetaObject::invokeMethod(
                pending->context,
                [pending] {
                    Apply late;
                    FolderListing listing;
                    {
                        const std::lock_guard relock(pending->mutex);
                        if (!pending->context)
                            return;
                        pending->context = nullptr;
                        late = std::move(pending->apply);
                        listing = pending->listing;
                    }
                    late(listing);
                },
                Qt::QueuedConnection);
    }).detach();

    std::unique_lock lock(pending->mutex);
    if (pending->read.wait_for(lock, wait, [&] { return pending->done; })) {
        const FolderListing listing = pending->listing;
        lock.unlock();
        apply(listing);
        return true;
    }
    pending->context = context_;
    pending->apply = std::move(apply);
    return false;
}

}  // namespace zelq
