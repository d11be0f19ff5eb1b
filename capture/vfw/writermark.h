#pragma once
// This program's mark in the AVI files it writes: the INFO list's software entry (ISFT) names the
// program. The writer puts it into the file's header, which reaches the disk before the first frame, so
// a recording cut short by a crash carries it too. Only a file with the mark is ever repaired: another
// program's AVI, finished or not, is never rewritten. Any thread.

#include <filesystem>

extern "C" {
#include <libavformat/avformat.h>
}

namespace zelq {

// Between avformat_init_output, which sets the software entry to libavformat's own name, and
// avformat_write_header, which writes it.
void putWriterMark(AVFormatContext& ctx);

// True when the file's header carries the mark.
bool carriesWriterMark(const std::filesystem::path& path);

}  // namespace zelq
