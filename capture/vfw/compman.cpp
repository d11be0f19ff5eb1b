#include "capture/vfw/compman.h"

#include <algorithm>
#include <type_traits>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "capture/vfw/compressors.h"

namespace zelq {

class IcObject {
public:
    explicit IcObject(const CompressorEntry& entry) : entry(entry) {}
    const CompressorEntry& entry;
};

void IcDeleter::operator()(IcObject* p) const noexcept {
    delete p;
}

namespace {

bool isVideoCompressorType(DWORD fccType) {
    return fccType == 0 || fccType == ICTYPE_VIDEO || fccType == mmioFOURCC('V', 'I', 'D', 'C');
}

template <std::size_t N>
void copyText(char16_t (&to)[N], const char* from) {
    std::size_t i = 0;
    for (; from && from[i] && i + 1 < N; ++i) to[i] = static_cast<unsigned char>(from[i]);  // ASCII texts
    std::fill(to + i, to + N, u'\0');
}

template <typename T>
const T* argument(const ICParam& p) {
    const T* const* v = std::get_if<const T*>(&p);
    return v ? *v : nullptr;
}

bool isNumber(const ICParam& p, std::intptr_t value) {
    const std::intptr_t* v = std::get_if<std::intptr_t>(&p);
    return v && *v == value;
}

// "None": nullptr, 0, or a null pointer of either kind.
bool isNone(const ICParam& p) {
    return std::visit(
        [](const auto& v) {
            if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::intptr_t>)
                return v == 0;
            else
                return v == nullptr;
        },
        p);
}

// ICM_ABOUT and ICM_CONFIGURE share their argument rules: (-1, 1) asks, (parent, 0) shows.
LRESULT boxMessage(const ICParam& dw1, const ICParam& dw2, bool present, const auto& show) {
    if (isNumber(dw1, -1) && isNumber(dw2, 1))
        return present ? ICERR_OK : ICERR_UNSUPPORTED;
    const ICParentWindow* parent = argument<ICParentWindow>(dw1);
    if (!parent || !isNone(dw2))
        return ICERR_BADPARAM;
    if (!present)
        return ICERR_UNSUPPORTED;
    return show(*parent);
}

}  // namespace

bool ICInfo(DWORD fccType, DWORD fccHandler, ICINFO* lpicinfo) {
    if (!lpicinfo || !isVideoCompressorType(fccType))
        return false;
    const auto& list = installedCompressors();
    // Below 256 the handler is an index into the list; above, a handler code to look up.
    const CompressorEntry* entry = fccHandler < 256 ? (fccHandler < list.size() ? list[fccHandler] : nullptr)
                                                    : findCompressor(fccHandler);
    if (!entry)
        return false;
    lpicinfo->dwSize = sizeof(ICINFO);
    lpicinfo->fccType = ICTYPE_VIDEO;
    lpicinfo->fccHandler = entry->fccHandler;
    return true;
}

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT wMode) {
    if (!isVideoCompressorType(fccType))
        return nullptr;
    // These compressors compress only; opening one to decompress or draw finds nothing.
    if (wMode != ICMODE_QUERY && wMode != ICMODE_COMPRESS && wMode != ICMODE_FASTCOMPRESS)
        return nullptr;
    const CompressorEntry* entry = findCompressor(fccHandler);
    return entry ? HIC(new IcObject(*entry)) : nullptr;
}

LRESULT ICClose(HIC& hic) {
    if (!hic)
        return ICERR_BADHANDLE;
    hic.reset();
    return ICERR_OK;
}

LRESULT ICGetInfo(const HIC& hic, ICINFO* picinfo, DWORD cb) {
    if (!hic || !picinfo || cb < sizeof(ICINFO))
        return 0;
    const CompressorEntry& e = hic->entry;
    ICINFO info;
    info.dwSize = sizeof(ICINFO);
    info.fccType = ICTYPE_VIDEO;
    info.fccHandler = e.fccHandler;
    info.dwFlags = e.flags;
    info.dwVersion = e.own ? 1 : avcodec_version();
    info.dwVersionICM = ICVERSION;
    copyText(info.szName, e.name);
    copyText(info.szDescription, e.description);
    copyText(info.szDriver, e.own ? "zelq" : "libavcodec");
    *picinfo = info;
    return sizeof(ICINFO);
}

LRESULT ICSendMessage(const HIC& hic, UINT msg, ICParam dw1, ICParam dw2) {
    if (!hic)
        return ICERR_BADHANDLE;
    const CompressorEntry& e = hic->entry;
    switch (msg) {
        case ICM_ABOUT:
            return boxMessage(dw1, dw2, true, [&](const ICParentWindow& parent) {
                if (!parent.showMessage)
                    return ICERR_BADPARAM;
                parent.showMessage(e.description, compressorDetails(e));
                return ICERR_OK;
            });
        case ICM_CONFIGURE:
            // None of these encoders has settings beyond quality and key frames, which the options already
            // carry.
            return boxMessage(dw1, dw2, false, [](const ICParentWindow&) { return ICERR_UNSUPPORTED; });
        case ICM_COMPRESS_QUERY: {
            const BitmapInfoHeader* input = argument<BitmapInfoHeader>(dw1);
            if (!input)
                return ICERR_BADPARAM;
            if (!isNone(dw2) && !argument<BitmapInfoHeader>(dw2))
                return ICERR_BADPARAM;
            return queryCompressor(e, input, argument<BitmapInfoHeader>(dw2));
        }
        default:
            return ICERR_UNSUPPORTED;
    }
}

bool ICQueryAbout(const HIC& hic) {
    return ICSendMessage(hic, ICM_ABOUT, std::intptr_t{-1}, ICMF_ABOUT_QUERY) == ICERR_OK;
}

LRESULT ICAbout(const HIC& hic, const ICParentWindow& parent) {
    return ICSendMessage(hic, ICM_ABOUT, &parent, std::intptr_t{0});
}

bool ICQueryConfigure(const HIC& hic) {
    return ICSendMessage(hic, ICM_CONFIGURE, std::intptr_t{-1}, ICMF_CONFIGURE_QUERY) == ICERR_OK;
}

LRESULT ICConfigure(const HIC& hic, const ICParentWindow& parent) {
    return ICSendMessage(hic, ICM_CONFIGURE, &parent, std::intptr_t{0});
}

LRESULT ICCompressQuery(const HIC& hic, const BitmapInfoHeader* lpbiInput,
                        const BitmapInfoHeader* lpbiOutput) {
    return ICSendMessage(hic, ICM_COMPRESS_QUERY, lpbiInput, lpbiOutput);
}

}  // namespace zelq
