#pragma once
// The stream headers ('strh') of an AVI file, found by walking its header list. libavformat writes and
// reads these headers but keeps one field to itself: the frame rectangle (rcFrame), which it always
// writes as the coded size and never reports. A stream coded at a larger size than its picture (the
// Microsoft Video 1 stream of a picture whose sides are not multiples of 4) keeps the picture's size
// there, so the writer patches the field after libavformat has written the header and the reader reads
// it back from the file.
//
// The INFO list that follows the header list names the writing program (ISFT); it is read back the
// same way.
//
// Pure functions on the caller's stream: any thread may call them, one stream per thread.

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace zelq {

// Where rcFrame lies inside a stream header: left, top, right and bottom, 16 bits each, little-endian.
constexpr std::int64_t kRcFrameOffset = 48;
constexpr std::uint32_t kRcFrameEnd = kRcFrameOffset + 8;

struct StreamHeaderChunk {
    std::int64_t offset = 0;  // file offset of the header's data (after the chunk's id and size)
    std::uint32_t size = 0;   // bytes of data
};

// The stream headers in the order the streams are listed, padding streams ('pads') left out as
// libavformat leaves them out, so that entry i belongs to libavformat's stream i. Empty when the data is
// not an AVI file or its header list cannot be walked.
std::vector<StreamHeaderChunk> findStreamHeaders(std::istream& in);

struct FrameRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The frame rectangle of each stream, in libavformat's order; none for a header too short to hold one.
std::vector<std::optional<FrameRect>> readFrameRects(std::istream& in);

// The text of entry `id` (four characters, such as "ISFT") of the file's INFO list before its frames,
// without its terminating zero; none when there is no such entry.
std::optional<std::string> readInfoEntry(std::istream& in, const char* id);

}  // namespace zelq
