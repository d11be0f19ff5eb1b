#pragma once
// Opening a recording for reading. A recording is an AVI file on this computer, nothing else: left to
// itself libavformat guesses the format from the bytes and follows what the file names, so a playlist
// saved as .avi would make the player read other files or addresses. The file is opened with the AVI
// reader only, through the file protocol only, and nothing the file says can open another.
//
// A damaged or hostile header can claim any picture size, and a decoder or a picture file would be made
// that large: every reader refuses a picture larger than 8K, far beyond any screen we record. Any thread.

#include <cstdint>
#include <filesystem>

#include "platform/raii.h"

namespace zelq {

constexpr std::int64_t kMaxPictureArea = 7680LL * 4320;
constexpr int kMaxPictureSide = 16384;

constexpr bool pictureSizeAcceptable(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPictureArea;
}

// avformat_open_input's result for the file at `path`; on success `out` holds the opened context.
int openLocalAvi(const std::filesystem::path& path, AvInputContextPtr& out);

}  // namespace zelq
