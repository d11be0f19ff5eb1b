#pragma once
// The compressor manager: the installed video compressors (ICInfo over 'vidc'), opened for questions
// (ICOpen), described (ICGetInfo) and asked through messages (ICSendMessage), with the small helpers the
// program calls them through. The compressors are Microsoft Video 1 ('MSVC', the program's own encoder)
// first, then libavcodec's encoders that can be stored in AVI and take screen frames, in the fixed order
// of compressors.cpp.
//
// Threads: ICInfo, ICOpen, ICClose, ICGetInfo and ICCompressQuery may be called from any thread (the list
// is fixed at start; each open compressor belongs to the thread that uses it). ICAbout and ICConfigure
// call the parent's box on the calling thread and return when it is closed; call them on the UI thread.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "capture/vfw/vfwtypes.h"

namespace zelq {

class IcObject;
struct IcDeleter {
    void operator()(IcObject* p) const noexcept;
};
// An open compressor; null when it could not be opened.
using HIC = std::unique_ptr<IcObject, IcDeleter>;

// Stands in for the parent window of a compressor's About box or configuration dialog. This layer has no
// widgets: the caller says how a box is shown (the program shows it through its Dialogs service, owned
// by the dialog that asked).
struct ICParentWindow {
    std::function<void(const std::string& caption, const std::string& text)> showMessage;
};

// The two arguments of a message: a number (-1 and 1 to ask, 0), a DIB header, a parent window or none.
using ICParam = std::variant<std::nullptr_t, std::intptr_t, const BitmapInfoHeader*, const ICParentWindow*>;

// Fills fccType, fccHandler and dwSize of the fccHandler-th installed compressor of type fccType
// ('vidc'), or of the one with that handler code when fccHandler is a FourCC; false when there is none.
bool ICInfo(DWORD fccType, DWORD fccHandler, ICINFO* lpicinfo);
// Opens the compressor with that handler code (matched without regard to case) for questions
// (ICMODE_QUERY) or compression; null when it is not installed or the mode is one it does not offer.
HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT wMode);
LRESULT ICClose(HIC& hic);
// Fills the whole record (names, flags, versions); answers the bytes filled, 0 when nothing was.
LRESULT ICGetInfo(const HIC& hic, ICINFO* picinfo, DWORD cb);
// ICM_ABOUT and ICM_CONFIGURE: (-1, ICMF_*_QUERY) asks whether there is a box, (parent, 0) shows it.
// ICM_COMPRESS_QUERY: (input DIB header, null) answers ICERR_OK when the compressor takes frames of that
// format and size, ICERR_BADFORMAT when it does not. Other messages answer ICERR_UNSUPPORTED; arguments of
// the wrong kind answer ICERR_BADPARAM.
LRESULT ICSendMessage(const HIC& hic, UINT msg, ICParam dw1, ICParam dw2);

bool ICQueryAbout(const HIC& hic);
LRESULT ICAbout(const HIC& hic, const ICParentWindow& parent);
bool ICQueryConfigure(const HIC& hic);
LRESULT ICConfigure(const HIC& hic, const ICParentWindow& parent);
LRESULT ICCompressQuery(const HIC& hic, const BitmapInfoHeader* lpbiInput,
                        const BitmapInfoHeader* lpbiOutput);

}  // namespace zelq
