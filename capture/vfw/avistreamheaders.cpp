#include "capture/vfw/avistreamheaders.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace zelq {

namespace {

using FourCC = std::array<char, 4>;

// Header lists hold a few dozen chunks; anything beyond this is not a header list worth believing.
constexpr int kMaxChunks = 4096;

struct Chunk {
    FourCC id{};
    std::uint32_t size = 0;
    std::int64_t data = 0;  // offset of the data
};

bool is(const FourCC& a, const char* b) {
    return std::memcmp(a.data(), b, 4) == 0;
}

std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Reads `n` bytes at `at`; false when the stream ends first.
bool readAt(std::istream& in, std::int64_t at, void* out, std::size_t n) {
    in.clear();
    in.seekg(at);
    in.read(static_cast<char*>(out), static_cast<std::streamsize>(n));
    return in.gcount() == static_cast<std::streamsize>(n);
}

std::optional<Chunk> chunkAt(std::istream& in, std::int64_t at, std::int64_t end) {
    unsigned char raw[8];
    if (at + 8 > end || !readAt(in, at, raw, 8))
        return std::nullopt;
    Chunk c;
    std::memcpy(c.id.data(), raw, 4);
    c.size = le32(raw + 4);
    c.data = at + 8;
    if (c.data + c.size > end)
        return std::nullopt;
    return c;
}

// The list type of a 'LIST' chunk.
std::optional<FourCC> listType(std::istream& in, const Chunk& c) {
    FourCC type{};
    if (!is(c.id, "LIST") || c.size < 4 || !readAt(in, c.data, type.data(), 4))
        return std::nullopt;
    return type;
}

// Calls visit(chunk) for each chunk in [from, end) until it answers false or a chunk does not fit.
template <typename Visit>
void eachChunk(std::istream& in, std::int64_t from, std::int64_t end, Visit visit) {
    int count = 0;
    for (std::int64_t at = from; at + 8 <= end; ++count) {
        const std::optional<Chunk> c = chunkAt(in, at, end);
        if (!c || count > kMaxChunks || !visit(*c))
            return;
        at = c->data + c->size + (c->size & 1);  // chunks are padded to an even size
    }
}

void addStreamHeader(std::istream& in, const Chunk& strl, std::vector<StreamHeaderChunk>& out) {
    eachChunk(in, strl.data + 4, strl.data + strl.size, [&](const Chunk& c) {
        if (!is(c.id, "strh"))
            return true;
        FourCC type{};
        if (c.size >= 4 && readAt(in, c.data, type.data(), 4) && is(type, "pads"))
            return false;
        out.push_back({c.data, c.size});
        return false;
    });
}

// Calls visit(list, type) for each top-level list before the frames, until it answers false.
template <typename Visit>
void eachHeaderList(std::istream& in, Visit visit) {
    unsigned char riff[12];
    if (!readAt(in, 0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "AVI ", 4) != 0)
        return;
    // A file whose writer never finished it may still say 0 here; its header list is whole all the same.
    const std::uint32_t riffSize = le32(riff + 4);
    const std::int64_t end = riffSize > 4 ? 8 + static_cast<std::int64_t>(riffSize) : INT64_MAX;
    eachChunk(in, 12, end, [&](const Chunk& c) {
        const std::optional<FourCC> type = listType(in, c);
        if (!type)
            return true;
        if (is(*type, "movi"))
            return false;  // the frames: the header lists have been passed
        return visit(c, *type);
    });
}

}  // namespace

std::vector<StreamHeaderChunk> findStreamHeaders(std::istream& in) {
    std::vector<StreamHeaderChunk> headers;
    eachHeaderList(in, [&](const Chunk& c, const FourCC& type) {
        if (!is(type, "hdrl"))
            return true;
        eachChunk(in, c.data + 4, c.data + c.size, [&](const Chunk& inner) {
            const std::optional<FourCC> innerType = listType(in, inner);
            if (innerType && is(*innerType, "strl"))
                addStreamHeader(in, inner, headers);
            return true;
        });
        return false;
    });
    return headers;
}

std::optional<std::string> readInfoEntry(std::istream& in, const char* id) {
    // An entry is a short text; a longer one is no entry this program wrote or reads.
    constexpr std::uint32_t kMaxEntry = 4096;
    std::optional<std::string> text;
    eachHeaderList(in, [&](const Chunk& c, const FourCC& type) {
        if (!is(type, "INFO"))
            return true;
        eachChunk(in, c.data + 4, c.data + c.size, [&](const Chunk& entry) {
            if (!is(entry.id, id))
                return true;
            if (entry.size <= kMaxEntry) {
                std::string raw(entry.size, '\0');
                if (readAt(in, entry.data, raw.data(), raw.size()))
                    text = raw.substr(0, raw.find('\0'));
            }
            return false;
        });
        return false;
    });
    return text;
}

std::vector<std::optional<FrameRect>> readFrameRects(std::istream& in) {
    std::vector<std::optional<FrameRect>> rects;
    for (const StreamHeaderChunk& h : findStreamHeaders(in)) {
        unsigned char raw[8];
        if (h.size < kRcFrameEnd || !readAt(in, h.offset + kRcFrameOffset, raw, sizeof raw)) {
            rects.emplace_back();
            continue;
        }
        // Read unsigned: libavformat stores sides up to 65535 there, beyond what a signed field holds.
        auto u16 = [&](int i) { return raw[i] | (raw[i + 1] << 8); };
        rects.push_back(FrameRect{u16(0), u16(2), u16(4), u16(6)});
    }
    return rects;
}

}  // namespace zelq
