#pragma once
// A stream that compresses each frame written to it and writes the result into a stream of a file
// (AVIMakeCompressedStream). The encoder is opened when the format is set, at the frames' size; the
// frames it still holds are written when the stream is released.

#include <memory>

#include "capture/vfw/aviwriter.h"
#include "capture/vfw/compressors.h"

namespace zelq {

class CompressedStream final : public AviStreamObject {
public:
    CompressedStream(std::shared_ptr<RawWriteStream> target, const CompressorEntry& compressor,
                     const AVICOMPRESSOPTIONS& options);
    ~CompressedStream() override;

    HRESULT setFormat(LONG pos, const BitmapInfoHeader* format, LONG cb) override;
    void hintChangedRows(std::vector<bool> rows) override {
        if (encoder_)
            encoder_->hintChangedRows(std::move(rows));
    }
    // Held here until the write it is for: a write refused before it reaches the encoder drops it, so a
    // later write never compares with memory that may be gone.
    void hintLastFrame(const void* pixels) override { lastFrame_ = pixels; }
    HRESULT write(LONG start, LONG samples, const void* buffer, LONG cb, DWORD flags, LONG* samplesWritten,
                  LONG* bytesWritten) override;
    void info(AVISTREAMINFO& out) const override;
    LONG length() const override { return target_->length(); }
    // Writes the frames the compressor still holds, once.
    HRESULT finish() override;

private:
    std::shared_ptr<RawWriteStream> target_;
    const CompressorEntry& compressor_;
    EncoderSettings settings_;
    std::unique_ptr<VideoEncoder> encoder_;
    bool finished_ = false;
    HRESULT finishResult_ = AVIERR_OK;
    std::int64_t next_ = 0;  // the first position the next frame may take
    const void* lastFrame_ = nullptr;
};

}  // namespace zelq
