#pragma once
// Makes a shareable file (MP4, WebM or GIF) of one recording. The file is written under a hidden
// temporary name beside its target and takes its name only when whole; it never replaces a file, and a
// cancelled or failed export leaves nothing behind.
//
// exportRecording runs on the caller's thread from start to end (ExportJob gives it one of its own);
// `progress` is called on that thread, `cancel` may be set from any thread.

#include <QString>
#include <atomic>
#include <functional>

#include "media/exportformat.h"

namespace zelq {

struct ExportRequest {
    QString recording;
    ExportFormat format = ExportFormat::Mp4;
    // Where to write; empty: beside the recording (exportnames.h). An existing file is never replaced.
    QString target;
};

struct ExportOutcome {
    enum class Kind { Done, Cancelled, Failed };
    Kind kind = Kind::Failed;
    QString path;     // the file made (Done only)
    QString message;  // what the user is told: empty for a plain success
    // The share of the recording's time the file holds: below 1 for a damaged recording.
    double exported = 0;
};

// `progress` hears the share of the recording's time done so far, from 0 to 1.
ExportOutcome exportRecording(const ExportRequest& request, const std::atomic<bool>& cancel,
                              const std::function<void(double)>& progress);

}  // namespace zelq
