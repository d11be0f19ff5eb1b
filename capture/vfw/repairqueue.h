#pragma once
// Repairs recordings in the background. Repairing copies the whole file, which for a long recording is
// more than a gigabyte: done where the recordings are listed, on the window's thread, it froze the window
// for as long, and a file on a slow disk froze it longer. The list shows the names at once; each file is
// repaired in its turn on the queue's own thread, in the order given.
//
// add() from any thread; the destructor stops the repair in hand (its file stays as it was, to be
// repaired at the next listing) and waits for the thread.

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace zelq {

class RepairQueue {
public:
    RepairQueue() = default;
    ~RepairQueue();
    RepairQueue(const RepairQueue&) = delete;
    RepairQueue& operator=(const RepairQueue&) = delete;

    // Queues the files for a look; a file already waiting is not queued twice.
    void add(const std::vector<std::filesystem::path>& files);
    // Blocks until every queued file has been looked at (for callers that need the files finished, such
    // as a test or a command that exports right after the listing).
    void waitUntilIdle();

private:
    void run(const std::stop_token& stop);

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<std::filesystem::path> waiting_;
    bool busy_ = false;
    std::jthread thread_;  // last: started on the first add, stopped and joined before the rest goes
};

}  // namespace zelq
