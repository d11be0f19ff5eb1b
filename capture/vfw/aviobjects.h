#pragma once
// What stands behind PAVIFILE and PAVISTREAM: a file opened for writing (aviwriter.h) or reading
// (avireader.h), and its streams. The AVIFile calls (avifile.cpp) check their arguments and pass the
// call to the object; what an object cannot do it answers with the code Windows gives for it.

#include <memory>
#include <vector>

#include "capture/vfw/avifile.h"

namespace zelq {

class AviFileObject : public std::enable_shared_from_this<AviFileObject> {
public:
    virtual ~AviFileObject() = default;
    // Streams are added only to files opened for writing.
    virtual HRESULT createStream(const AVISTREAMINFO&, PAVISTREAM&) { return AVIERR_READONLY; }
    virtual HRESULT getStream(PAVISTREAM&, DWORD /*fccType*/, LONG /*index*/) { return AVIERR_NODATA; }
    // Completes a file being written; a file being read has nothing to complete.
    virtual HRESULT finish() { return AVIERR_OK; }
};

class AviStreamObject {
public:
    virtual ~AviStreamObject() = default;
    virtual HRESULT setFormat(LONG /*pos*/, const BitmapInfoHeader*, LONG /*cb*/) { return AVIERR_READONLY; }
    virtual HRESULT setFormat(LONG /*pos*/, const WaveFormatEx*, LONG /*cb*/) { return AVIERR_READONLY; }
    virtual HRESULT write(LONG /*start*/, LONG /*samples*/, const void*, LONG /*cb*/, DWORD /*flags*/,
                          LONG* /*samplesWritten*/, LONG* /*bytesWritten*/) {
        return AVIERR_READONLY;
    }
    // Rows of the next frame that may differ from the last one written (see AVIStreamHintChangedRows).
    virtual void hintChangedRows(std::vector<bool> /*rows*/) {}
    // The frame written last, still at hand (see AVIStreamHintLastFrame).
    virtual void hintLastFrame(const void* /*pixels*/) {}
    virtual void info(AVISTREAMINFO& out) const = 0;
    // The picture format of a video stream read from a file.
    virtual HRESULT readFormat(BitmapInfoHeader& /*out*/) const { return AVIERR_NODATA; }
    virtual LONG start() const { return 0; }
    virtual LONG length() const = 0;
    // Hands over what the stream still holds (a compressor's last frames); nothing for other streams.
    virtual HRESULT finish() { return AVIERR_OK; }
    // Frame readers exist only for streams read from a file.
    virtual PGETFRAME openFrames(const PAVISTREAM& /*self*/, const BitmapInfoHeader* /*wanted*/) {
        return nullptr;
    }
};

}  // namespace zelq
