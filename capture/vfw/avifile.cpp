// The AVIFile calls: argument checks as Windows makes them, then the file or stream object does the work.
#include "capture/vfw/avifile.h"

#include "capture/vfw/avireader.h"
#include "capture/vfw/aviwriter.h"
#include "capture/vfw/compressedstream.h"
#include "capture/vfw/getframe.h"

namespace zelq {

namespace {

// What remains after dropping one of `n` references.
template <typename Ptr>
ULONG release(Ptr& p) {
    if (!p)
        return 0;
    const auto remaining = static_cast<ULONG>(p.use_count() - 1);
    p.reset();
    return remaining;
}

}  // namespace

void AVIFileInit() {}
void AVIFileExit() {}

DWORD VideoForWindowsVersion() {
    const bool writer = av_guess_format("avi", nullptr, nullptr) != nullptr;
    const bool reader = av_find_input_format("avi") != nullptr;
    return writer && reader ? 0x010A0000u : 0u;
}

HRESULT AVIFileOpen(PAVIFILE& ppfile, const std::filesystem::path& szFile, UINT uMode,
                    const CLSID* lpHandler) {
    ppfile.reset();
    if (lpHandler)
        return REGDB_E_CLASSNOTREG;
    if (szFile.empty())
        return AVIERR_BADPARAM;
    constexpr UINT kSharing =
        OF_SHARE_EXCLUSIVE | OF_SHARE_DENY_WRITE | OF_SHARE_DENY_READ | OF_SHARE_DENY_NONE;
    const UINT access = uMode & ~kSharing;
    if (access == OF_READ)
        return InputFile::open(szFile, ppfile);
    // Creating implies writing, as in Windows. Changing an existing file in place is not offered.
    if (access == (OF_WRITE | OF_CREATE) || access == OF_CREATE || access == (OF_READWRITE | OF_CREATE))
        return OutputFile::create(szFile, ppfile);
    return AVIERR_BADFLAGS;
}

ULONG AVIFileRelease(PAVIFILE& pfile) {
    return release(pfile);
}

HRESULT AVIFileCreateStream(const PAVIFILE& pfile, PAVISTREAM& ppavi, const AVISTREAMINFO& psi) {
    ppavi.reset();
    if (!pfile)
        return AVIERR_BADHANDLE;
    return pfile->createStream(psi, ppavi);
}

HRESULT AVIMakeCompressedStream(PAVISTREAM& ppsCompressed, const PAVISTREAM& ppsSource,
                                const AVICOMPRESSOPTIONS* lpOptions, const CLSID* pclsidHandler) {
    ppsCompressed.reset();
    if (pclsidHandler)
        return REGDB_E_CLASSNOTREG;
    if (!ppsSource)
        return AVIERR_BADHANDLE;
    if (!lpOptions)
        return AVIERR_BADPARAM;
    if (lpOptions->fccType != 0 && lpOptions->fccType != streamtypeVIDEO)
        return AVIERR_UNSUPPORTED;
    auto target = std::dynamic_pointer_cast<RawWriteStream>(ppsSource);
    if (!target)
        return AVIERR_UNSUPPORTED;  // only a stream of a file being written can take compressed frames
    if (lpOptions->fccHandler == 0 || lpOptions->fccHandler == comptypeDIB) {
        ppsCompressed = ppsSource;  // nothing to compress: frames go in as they are
        return AVIERR_OK;
    }
    const CompressorEntry* compressor = findCompressor(lpOptions->fccHandler);
    if (!compressor)
        return AVIERR_NOCOMPRESSOR;
    ppsCompressed = std::make_shared<CompressedStream>(std::move(target), *compressor, *lpOptions);
    return AVIERR_OK;
}

HRESULT AVIStreamSetFormat(const PAVISTREAM& pavi, LONG lPos, const BitmapInfoHeader* lpFormat,
                           LONG cbFormat) {
    if (!pavi)
        return AVIERR_BADHANDLE;
    if (!lpFormat)
        return AVIERR_BADPARAM;
    return pavi->setFormat(lPos, lpFormat, cbFormat);
}

HRESULT AVIStreamSetFormat(const PAVISTREAM& pavi, LONG lPos, const WaveFormatEx* lpFormat, LONG cbFormat) {
    if (!pavi)
        return AVIERR_BADHANDLE;
    if (!lpFormat)
        return AVIERR_BADPARAM;
    return pavi->setFormat(lPos, lpFormat, cbFormat);
}

void AVIStreamHintChangedRows(const PAVISTREAM& pavi, std::vector<bool> rows) {
    if (pavi)
        pavi->hintChangedRows(std::move(rows));
}

void AVIStreamHintLastFrame(const PAVISTREAM& pavi, const void* pixels) {
    if (pavi)
        pavi->hintLastFrame(pixels);
}

HRESULT AVIStreamWrite(const PAVISTREAM& pavi, LONG lStart, LONG lSamples, const void* lpBuffer,
                       LONG cbBuffer, DWORD dwFlags, LONG* plSampWritten, LONG* plBytesWritten) {
    if (plSampWritten)
        *plSampWritten = 0;
    if (plBytesWritten)
        *plBytesWritten = 0;
    if (!pavi)
        return AVIERR_BADHANDLE;
    if (lStart < 0)
        return AVIERR_BADPARAM;
    return pavi->write(lStart, lSamples, lpBuffer, cbBuffer, dwFlags, plSampWritten, plBytesWritten);
}

HRESULT AVISaveOptionsFree(int nStreams, AVICOMPRESSOPTIONS* const* plpOptions) {
    if (nStreams < 0 || (nStreams > 0 && !plpOptions))
        return AVIERR_BADPARAM;
    for (int i = 0; i < nStreams; ++i) {
        if (AVICOMPRESSOPTIONS* o = plpOptions[i]) {
            o->lpFormat.clear();
            o->lpFormat.shrink_to_fit();
            o->lpParms.clear();
            o->lpParms.shrink_to_fit();
        }
    }
    return AVIERR_OK;
}

HRESULT AVIStreamFinish(const PAVISTREAM& pavi) {
    return pavi ? pavi->finish() : AVIERR_BADHANDLE;
}

HRESULT AVIFileFinish(const PAVIFILE& pfile) {
    return pfile ? pfile->finish() : AVIERR_BADHANDLE;
}

ULONG AVIStreamRelease(PAVISTREAM& pavi) {
    return release(pavi);
}

HRESULT AVIFileGetStream(const PAVIFILE& pfile, PAVISTREAM& ppavi, DWORD fccType, LONG lParam) {
    ppavi.reset();
    if (!pfile)
        return AVIERR_BADHANDLE;
    if (lParam < 0)
        return AVIERR_BADPARAM;
    return pfile->getStream(ppavi, fccType, lParam);
}

HRESULT AVIStreamReadFormat(const PAVISTREAM& pavi, LONG /*lPos*/, BitmapInfoHeader* lpFormat, LONG* lpcbFormat) {
    if (!pavi)
        return AVIERR_BADHANDLE;
    if (!lpFormat || !lpcbFormat)
        return AVIERR_BADPARAM;
    if (*lpcbFormat < static_cast<LONG>(sizeof(BitmapInfoHeader)))
        return AVIERR_BUFFERTOOSMALL;
    const HRESULT hr = pavi->readFormat(*lpFormat);
    if (hr == AVIERR_OK)
        *lpcbFormat = sizeof(BitmapInfoHeader);
    return hr;
}

HRESULT AVIStreamInfo(const PAVISTREAM& pavi, AVISTREAMINFO* psi, LONG lSize) {
    if (!pavi)
        return AVIERR_BADHANDLE;
    if (!psi)
        return AVIERR_BADPARAM;
    if (lSize < static_cast<LONG>(sizeof(AVISTREAMINFO)))
        return AVIERR_BADSIZE;
    pavi->info(*psi);
    return AVIERR_OK;
}

LONG AVIStreamStart(const PAVISTREAM& pavi) {
    return pavi ? pavi->start() : -1;
}

LONG AVIStreamLength(const PAVISTREAM& pavi) {
    return pavi ? pavi->length() : -1;
}

LONG AVIStreamEnd(const PAVISTREAM& pavi) {
    return pavi ? AVIStreamStart(pavi) + AVIStreamLength(pavi) : -1;
}

HRESULT AVIStreamBeginStreaming(const PAVISTREAM& pavi, LONG /*lStart*/, LONG /*lEnd*/, LONG /*lRate*/) {
    return pavi ? AVIERR_OK : AVIERR_BADHANDLE;
}

HRESULT AVIStreamEndStreaming(const PAVISTREAM& pavi) {
    return pavi ? AVIERR_OK : AVIERR_BADHANDLE;
}

PGETFRAME AVIStreamGetFrameOpen(const PAVISTREAM& pavi, const BitmapInfoHeader* lpbiWanted) {
    return pavi ? pavi->openFrames(pavi, lpbiWanted) : nullptr;
}

const BitmapInfoHeader* AVIStreamGetFrame(const PGETFRAME& pg, LONG lPos) {
    return pg ? pg->frameAt(lPos) : nullptr;
}

HRESULT AVIStreamGetFrameClose(PGETFRAME& pg) {
    if (!pg)
        return AVIERR_BADHANDLE;
    pg.reset();
    return AVIERR_OK;
}

}  // namespace zelq
