#pragma once
// Turns FFmpeg's error numbers into the AVIERR_* codes that the AVIFile calls answer. The same errno
// means different things depending on what was being done: a missing file while opening, a full disk
// while writing.

#include "capture/vfw/vfwtypes.h"

namespace zelq {

enum class AviStep { Open, Read, Write, Compress };

HRESULT aviErrorFromAv(int averror, AviStep step);

}  // namespace zelq
