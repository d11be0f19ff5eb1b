#pragma once
// Repairing a recording whose writer died (a crash, a killed program, a power cut): such a file has its
// frames but no index and no final header counts, so players cannot seek in it and some will not open
// it. Its whole frames are copied, as they are, into a new file beside it that is then finished, and the
// new file takes the old one's place with an atomic rename, so that at every moment one complete file
// holds the recording. Any thread; one file at a time.

#include <filesystem>

namespace zelq {

enum class RepairResult {
    NotNeeded,  // finished, empty, or not an AVI file
    Repaired,
    Busy,       // its writer is still at work (in this program or another copy of it)
    Failed,     // left as it was
};

RepairResult repairUnfinishedRecording(const std::filesystem::path& path);

}  // namespace zelq
