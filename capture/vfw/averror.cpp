#include "capture/vfw/averror.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

#include "capture/vfw/vfwlog.h"

namespace zelq {

Q_LOGGING_CATEGORY(lcVfw, "zelq.vfw")

HRESULT aviErrorFromAv(int averror, AviStep step) {
    if (averror >= 0)
        return AVIERR_OK;
    if (averror == AVERROR(ENOMEM))
        return AVIERR_MEMORY;
    if (averror == AVERROR_INVALIDDATA)
        return step == AviStep::Compress ? AVIERR_COMPRESSOR : AVIERR_BADFORMAT;
    switch (step) {
        case AviStep::Open:
            // A file that ends before its header does is no AVI file either.
            if (averror == AVERROR_EOF)
                return AVIERR_BADFORMAT;
            if (averror == AVERROR(EIO))
                return AVIERR_FILEREAD;
            return AVIERR_FILEOPEN;
        case AviStep::Read:
            return AVIERR_FILEREAD;
        case AviStep::Write:
            return AVIERR_FILEWRITE;
        case AviStep::Compress:
            // An encoder that refuses its parameters (size, pixel format) answers EINVAL.
            if (averror == AVERROR(EINVAL) || averror == AVERROR(ERANGE))
                return AVIERR_BADFORMAT;
            return AVIERR_COMPRESSOR;
    }
    return AVIERR_ERROR;
}

const char* aviErrorName(HRESULT code) {
    struct Named {
        HRESULT code;
        const char* name;
    };
    static constexpr Named kNames[] = {
        {AVIERR_UNSUPPORTED, "UNSUPPORTED"},   {AVIERR_BADFORMAT, "BADFORMAT"},
        {AVIERR_MEMORY, "MEMORY"},             {AVIERR_INTERNAL, "INTERNAL"},
        {AVIERR_BADFLAGS, "BADFLAGS"},         {AVIERR_BADPARAM, "BADPARM"},
        {AVIERR_BADSIZE, "BADSIZE"},           {AVIERR_BADHANDLE, "BADHANDLE"},
        {AVIERR_FILEREAD, "FILEREAD"},         {AVIERR_FILEWRITE, "FILEWRITE"},
        {AVIERR_FILEOPEN, "FILEOPEN"},         {AVIERR_COMPRESSOR, "COMPRESSOR"},
        {AVIERR_NOCOMPRESSOR, "NOCOMPRESSOR"}, {AVIERR_READONLY, "READONLY"},
        {AVIERR_NODATA, "NODATA"},             {AVIERR_BUFFERTOOSMALL, "BUFFERTOOSMALL"},
        {AVIERR_CANTCOMPRESS, "CANTCOMPRESS"}, {AVIERR_USERABORT, "USERABORT"},
        {AVIERR_ERROR, "ERROR"},               {REGDB_E_CLASSNOTREG, "CLASSNOTREG"},
    };
    for (const Named& n : kNames) {
        if (n.code == code)
            return n.name;
    }
    return "Unknown Error";
}

}  // namespace zelq
