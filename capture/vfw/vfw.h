#pragma once
// Video for Windows on Linux: the AVIFile calls and the compressor manager.
#include "capture/vfw/avifile.h"
#include "capture/vfw/compman.h"
