#pragma once
// What a recording tells its compressor about each frame written: the rows that may differ from the frame
// written before it. Called by the recording worker only.

#include <vector>

#include "capture/frame/frame.h"

namespace zelq {

// Gathers the changed rows of the frames grabbed since the last one written, so that the frame written
// next says what differs from the one the compressor saw last.
class ChangedSinceWritten {
public:
    // A grabbed frame: its rows are added, and it is given all the rows gathered so far.
    void add(Frame& frame) {
        if (!frame)
            return;
        if (frame.changedRows.empty() || unknown_) {
            // A frame that cannot tell: every row may have changed, until a frame is written.
            unknown_ = true;
            frame.changedRows.clear();
            return;
        }
        if (rows_.size() != frame.changedRows.size())
            rows_.assign(frame.changedRows.size(), false);
        for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i] = rows_[i] || frame.changedRows[i];
        frame.changedRows = rows_;
    }
    // The frame last added is being written: nothing has changed since.
    void written() {
        rows_.assign(rows_.size(), false);
        unknown_ = false;
    }

private:
    std::vector<bool> rows_;
    bool unknown_ = false;
};

}  // namespace zelq
