#include "capture/vfw/soundwritestream.h"

#include <cstring>

namespace zelq {

namespace {

bool plainPcm(const WaveFormatEx& f) {
    const unsigned bytes = f.wBitsPerSample / 8u;
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
           (f.nChannels == 1 || f.nChannels == 2) && f.nSamplesPerSec > 0 && f.nSamplesPerSec <= 384000 &&
           f.nBlockAlign == f.nChannels * bytes && f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

}  // namespace

SoundWriteStream::SoundWriteStream(std::shared_ptr<OutputFile> file, int index, const AVISTREAMINFO& header)
    : file_(std::move(file)), index_(index), header_(header) {}

HRESULT SoundWriteStream::setFormat(LONG pos, const WaveFormatEx* format, LONG cb) {
    if (pos != 0 || formatSet_ || file_->headerWritten())
        return AVIERR_UNSUPPORTED;
    // A WAVEFORMAT without cbSize (16 bytes) is as good as the extended record for PCM.
    if (cb < 16)
        return AVIERR_BADSIZE;
    WaveFormatEx f;
    std::memcpy(&f, format, std::min<std::size_t>(static_cast<std::size_t>(cb), sizeof f));
    if (!plainPcm(f))
        return AVIERR_BADFORMAT;
    AVCodecParameters& par = *file_->stream(index_).codecpar;
    par.codec_type = AVMEDIA_TYPE_AUDIO;
    par.codec_id = f.wBitsPerSample == 16 ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8;
    par.codec_tag = WAVE_FORMAT_PCM;
    par.sample_rate = static_cast<int>(f.nSamplesPerSec);
    av_channel_layout_default(&par.ch_layout, f.nChannels);
    par.bits_per_coded_sample = f.wBitsPerSample;
    par.block_align = f.nBlockAlign;
    par.bit_rate = static_cast<std::int64_t>(f.nAvgBytesPerSec) * 8;
    format_ = f;
    formatSet_ = true;
    return AVIERR_OK;
}

HRESULT SoundWriteStream::write(LONG start, LONG samples, const void* buffer, LONG cb, DWORD /*flags*/,
                                LONG* samplesWritten, LONG* bytesWritten) {
    if (!formatSet_)
        return AVIERR_BADFORMAT;
    if (samples <= 0 || !buffer || start != end_)
        return AVIERR_BADPARAM;
    const std::int64_t bytes = static_cast<std::int64_t>(samples) * format_.nBlockAlign;
    if (cb < bytes)
        return AVIERR_BADSIZE;
    if (bytes > INT32_MAX / 2)
        return AVIERR_BADPARAM;
    AvPacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(bytes)) < 0)
        return AVIERR_MEMORY;
    std::memcpy(packet->data, buffer, static_cast<std::size_t>(bytes));
    packet->stream_index = index_;
    packet->pts = packet->dts = start;
    packet->duration = samples;
    packet->flags = AV_PKT_FLAG_KEY;
    const HRESULT hr =
        file_->writeSamples(*packet, {1, static_cast<int>(format_.nSamplesPerSec)}, samples, end_);
    if (hr != AVIERR_OK)
        return hr;
    if (samplesWritten)
        *samplesWritten = samples;
    if (bytesWritten)
        *bytesWritten = static_cast<LONG>(bytes);
    return AVIERR_OK;
}

void SoundWriteStream::info(AVISTREAMINFO& out) const {
    out = header_;
    out.dwStart = 0;
    out.dwLength = static_cast<DWORD>(end_);
    if (formatSet_) {
        out.dwScale = format_.nBlockAlign;
        out.dwRate = format_.nAvgBytesPerSec;
        out.dwSampleSize = format_.nBlockAlign;
    }
}

}  // namespace zelq
