#include "capture/vfw/compressedstream.h"

#include <algorithm>
#include <utility>

#include "capture/vfw/averror.h"
#include "capture/vfw/vfwlog.h"

namespace zelq {

CompressedStream::CompressedStream(std::shared_ptr<RawWriteStream> target, const CompressorEntry& compressor,
                                   const AVICOMPRESSOPTIONS& options)
    : target_(std::move(target)), compressor_(compressor) {
    settings_.timeBase = target_->positionUnit();
    settings_.quality = qualityFromOptions(options.dwQuality);
    if (options.dwFlags & AVICOMPRESSF_KEYFRAMES)
        settings_.keyFrameEvery = static_cast<int>(std::min<DWORD>(options.dwKeyFrameEvery, INT32_MAX));
}

CompressedStream::~CompressedStream() {
    finish();
}

HRESULT CompressedStream::finish() {
    if (finished_)
        return finishResult_;
    finished_ = true;
    // A file that refused data takes no more: what the compressor still holds is lost with the disk.
    if (target_->failed())
        return finishResult_ = encoder_ ? AVIERR_FILEWRITE : AVIERR_OK;
    if (!encoder_)
        return AVIERR_OK;
    HRESULT stored = AVIERR_OK;
    const int ret = encoder_->flush([this, &stored](AVPacket& packet) {
        stored = target_->writeCompressed(packet, settings_.timeBase);
        return stored == AVIERR_OK ? 0 : AVERROR(EIO);
    });
    if (ret < 0) {
        qCWarning(lcVfw, "%s: the last frames are lost: %s", compressor_.name, avErrorText(ret).c_str());
        finishResult_ = stored != AVIERR_OK ? stored : aviErrorFromAv(ret, AviStep::Compress);
    }
    return finishResult_;
}

HRESULT CompressedStream::setFormat(LONG pos, const BitmapInfoHeader* format, LONG cb) {
    if (pos != 0 || encoder_ || target_->formatSet())
        return AVIERR_UNSUPPORTED;
    if (cb < 0)
        return AVIERR_BADSIZE;
    HRESULT hr = readDibFormat(format, static_cast<std::size_t>(cb), settings_.input);
    if (hr != AVIERR_OK)
        return hr;
    int error = 0;
    encoder_ = openEncoder(compressor_, settings_, &error);
    if (!encoder_)
        return aviErrorFromAv(error, AviStep::Compress);
    hr = target_->setCompressedFormat(*encoder_, settings_.input.width, settings_.input.height);
    if (hr != AVIERR_OK)
        encoder_.reset();
    return hr;
}

HRESULT CompressedStream::write(LONG start, LONG samples, const void* buffer, LONG cb, DWORD flags,
                                LONG* samplesWritten, LONG* bytesWritten) {
    const void* lastFrame = std::exchange(lastFrame_, nullptr);
    if (!encoder_)
        return AVIERR_BADFORMAT;
    if (finished_)
        return AVIERR_UNSUPPORTED;
    if (samples != 1)
        return AVIERR_UNSUPPORTED;
    if (!buffer || start < next_)
        return AVIERR_BADPARAM;
    if (cb < 0 || static_cast<std::size_t>(cb) < settings_.input.imageBytes())
        return AVIERR_BADSIZE;
    if (target_->failed())
        return AVIERR_FILEWRITE;

    HRESULT stored = AVIERR_OK;
    LONG bytes = 0;
    encoder_->hintLastFrame(static_cast<const std::uint8_t*>(lastFrame));
    const int ret = encoder_->encode(static_cast<const std::uint8_t*>(buffer), start, flags & AVIIF_KEYFRAME,
                                     [&](AVPacket& packet) {
                                         bytes += packet.size;
                                         stored = target_->writeCompressed(packet, settings_.timeBase);
                                         return stored == AVIERR_OK ? 0 : AVERROR(EIO);
                                     });
    if (stored != AVIERR_OK)
        return stored;
    if (ret < 0)
        return aviErrorFromAv(ret, AviStep::Compress);
    next_ = static_cast<std::int64_t>(start) + 1;
    if (samplesWritten)
        *samplesWritten = 1;
    if (bytesWritten)
        *bytesWritten = bytes;
    return AVIERR_OK;
}

void CompressedStream::info(AVISTREAMINFO& out) const {
    target_->info(out);
    out.fccHandler = compressor_.fccHandler;
    if (encoder_ && encoder_->maxFrameBytes() > 0)
        out.dwSuggestedBufferSize =
            static_cast<DWORD>(std::min<std::size_t>(encoder_->maxFrameBytes(), UINT32_MAX));
}

}  // namespace zelq
