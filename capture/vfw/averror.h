#pragma once
// Turns FFmpeg's error numbers into the AVIERR_* codes that the AVIFile calls answer. The same errno
// means different things depending on what was being done: a missing file while opening, a full disk
// while writing.

#include "capture/vfw/vfwtypes.h"

namespace zelq {

enum class AviStep { Open, Read, Write, Compress };

HRESULT aviErrorFromAv(int averror, AviStep step);

}  // namespace zelq

namespace zelq {

// The short name a user is shown for a code AVIFileOpen answered: "BADFORMAT", "FILEOPEN", …,
// "CLASSNOTREG", or "Unknown Error" for a code that is none of the AVIFile codes.
const char* aviErrorName(HRESULT code);

}  // namespace zelq
