#pragma once
// A sound stream of a file being written: plain PCM, one chunk per write, the samples one after another
// from the stream's first position. The AVI muxer interleaves nothing by itself here (the file writes in
// the order it is given), so whoever writes both streams puts a chunk of sound beside each frame.

#include <memory>

#include "capture/vfw/aviwriter.h"

namespace zelq {

class SoundWriteStream final : public AviStreamObject {
public:
    SoundWriteStream(std::shared_ptr<OutputFile> file, int index, const AVISTREAMINFO& header);

    HRESULT setFormat(LONG pos, const WaveFormatEx* format, LONG cb) override;
    HRESULT write(LONG start, LONG samples, const void* buffer, LONG cb, DWORD flags, LONG* samplesWritten,
                  LONG* bytesWritten) override;
    void info(AVISTREAMINFO& out) const override;
    LONG length() const override { return static_cast<LONG>(end_); }

private:
    std::shared_ptr<OutputFile> file_;
    int index_;
    AVISTREAMINFO header_;
    WaveFormatEx format_;
    bool formatSet_ = false;
    std::int64_t end_ = 0;  // samples written
};

}  // namespace zelq
