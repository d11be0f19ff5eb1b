#pragma once
// Video for Windows on Linux: the AVIFile calls, the compressor manager and DrawDib.
#include "capture/vfw/avifile.h"
#include "capture/vfw/compman.h"
#include "capture/vfw/drawdib.h"
