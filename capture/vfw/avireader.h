#pragma once
// Reading AVI files with libavformat's AVI demuxer, which is forced: a file that is not AVI is refused
// rather than read as whatever it happens to be.

#include <filesystem>
#include <memory>

#include "capture/vfw/aviobjects.h"
#include "platform/raii.h"

namespace zelq {

class InputFile final : public AviFileObject {
public:
    static HRESULT open(const std::filesystem::path& path, PAVIFILE& out);

    HRESULT getStream(PAVISTREAM& out, DWORD fccType, LONG index) override;

    AVFormatContext& context() { return *ctx_; }
    // The frame reader that moved the read position last; another reader must seek before it reads.
    const void* lastReader = nullptr;

private:
    explicit InputFile(AvInputContextPtr ctx) : ctx_(std::move(ctx)) {}
    AvInputContextPtr ctx_;
};

class ReadStream final : public AviStreamObject {
public:
    ReadStream(std::shared_ptr<InputFile> file, int index) : file_(std::move(file)), index_(index) {}

    void info(AVISTREAMINFO& out) const override;
    LONG start() const override;
    LONG length() const override;
    PGETFRAME openFrames(const PAVISTREAM& self, const BitmapInfoHeader* wanted) override;

    InputFile& file() const { return *file_; }
    AVStream& stream() const { return *file_->context().streams[index_]; }
    int index() const { return index_; }

private:
    std::shared_ptr<InputFile> file_;
    int index_;
};

}  // namespace zelq
