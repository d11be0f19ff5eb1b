#pragma once
// Repairing a recording whose writer died (a crash, a killed program, a power cut): such a file has its
// chunks but no index and no final header counts, so players cannot seek in it and some will not open
// it. Every stream's whole chunks are copied, as they are and in their order, into a new file beside it
// that is then finished; the new file takes the old one's name, and the old one goes to the trash, so
// that at every moment a complete file holds the recording and the original can still be restored.
//
// Only recordings this program wrote carry its writer mark (writermark.h), and only those are repaired:
// another program's AVI is listed, played and split as it is, never rewritten, whatever its header
// says. Any thread; one file at a time. Only regular files are looked at: a FIFO, a device or a folder
// named .avi is never opened, and a symbolic link is never replaced.

#include <filesystem>
#include <stop_token>

namespace zelq {

enum class RepairResult {
    NotNeeded,  // finished, empty, not an AVI file, or not written by this program
    Repaired,
    Busy,    // its writer is still at work (in this program or another copy of it)
    Failed,  // left as it was
};

// A stop asked for meanwhile ends the copy; the file stays as it was (Failed).
RepairResult repairUnfinishedRecording(const std::filesystem::path& path, std::stop_token stop = {});

}  // namespace zelq
