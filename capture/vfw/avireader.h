#pragma once
// Reading AVI files with libavformat's AVI demuxer, which is forced: a file that is not AVI is refused
// rather than read as whatever it happens to be.
//
// A video stream's picture is the top-left part of its coded frames given by the header's frame
// rectangle, when that rectangle starts at 0, 0 and is smaller (see avistreamheaders.h); otherwise the
// whole coded frame.

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "capture/vfw/aviobjects.h"
#include "capture/vfw/avistreamheaders.h"
#include "platform/raii.h"

namespace zelq {

class InputFile final : public AviFileObject {
public:
    static HRESULT open(const std::filesystem::path& path, PAVIFILE& out);

    HRESULT getStream(PAVISTREAM& out, DWORD fccType, LONG index) override;

    AVFormatContext& context() { return *ctx_; }
    // The frame rectangle of stream `index`'s header, if the header has one.
    std::optional<FrameRect> frameRect(int index) const;
    // The frame reader that moved the read position last; another reader must seek before it reads.
    const void* lastReader = nullptr;

private:
    InputFile(AvInputContextPtr ctx, std::vector<std::optional<FrameRect>> rects)
        : ctx_(std::move(ctx)), rects_(std::move(rects)) {}
    AvInputContextPtr ctx_;
    std::vector<std::optional<FrameRect>> rects_;
};

class ReadStream final : public AviStreamObject {
public:
    ReadStream(std::shared_ptr<InputFile> file, int index) : file_(std::move(file)), index_(index) {}

    void info(AVISTREAMINFO& out) const override;
    HRESULT readFormat(BitmapInfoHeader& out) const override;
    LONG start() const override;
    LONG length() const override;
    PGETFRAME openFrames(const PAVISTREAM& self, const BitmapInfoHeader* wanted) override;

    InputFile& file() const { return *file_; }
    AVStream& stream() const { return *file_->context().streams[index_]; }
    int index() const { return index_; }
    // The width and height of the stream's pictures: the coded size, or less (see above).
    int pictureWidth() const;
    int pictureHeight() const;

private:
    std::optional<FrameRect> pictureRect() const;
    std::int64_t positionsInFile() const;

    std::shared_ptr<InputFile> file_;
    int index_;
    mutable std::optional<std::int64_t> length_;  // found on first use
};

}  // namespace zelq
