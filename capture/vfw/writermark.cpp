#include "capture/vfw/writermark.h"

#include <fstream>
#include <string>

#include "capture/vfw/avistreamheaders.h"

namespace zelq {

namespace {

// The program's name leads the entry; libavformat's name and version follow, for whoever reads the
// file later and wants to know what wrote its chunks.
constexpr char kMark[] = "ZELQ屏幕录像助手";

}  // namespace

void putWriterMark(AVFormatContext& ctx) {
    const std::string entry = std::string(kMark) + " (" + LIBAVFORMAT_IDENT + ")";
    // The AVI muxer writes the "encoder" value as the ISFT entry of its INFO list.
    av_dict_set(&ctx.metadata, "encoder", entry.c_str(), 0);
}

bool carriesWriterMark(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::optional<std::string> software = readInfoEntry(in, "ISFT");
    return software && software->rfind(kMark, 0) == 0;
}

}  // namespace zelq
