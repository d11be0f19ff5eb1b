#pragma once
// The installed video compressors: one fixed list of encoders that can be stored in AVI and take screen
// frames, most useful for screen recording first, 'MSVC' at the head. An entry is listed only when the
// installed libavcodec has its encoder (or when it is one of the project's own encoders).
//
// The list is built once and never changes; every function here may be called from any thread.

#include <memory>
#include <string>
#include <vector>

#include "capture/vfw/encoder.h"
#include "capture/vfw/libavencoder.h"
#include "capture/vfw/vfwtypes.h"

namespace zelq {

struct CompressorEntry {
    FOURCC fccHandler;        // the FourCC stored in the file
    const char* name;         // ICINFO.szName
    const char* description;  // ICINFO.szDescription, the text the options dialog lists
    DWORD flags;              // VIDCF_*
    const char* knobs;        // what quality and key-frame interval do, for the About box
    LibavRecipe libav;        // the libavcodec encoder, unless `own` is set
    // One of the project's own encoders, used instead of libavcodec's when set.
    std::unique_ptr<VideoEncoder> (*own)(const EncoderSettings& settings, int* error) = nullptr;
};

const std::vector<const CompressorEntry*>& installedCompressors();
// The installed compressor with this handler code, matched without regard to case; null if none.
const CompressorEntry* findCompressor(FOURCC fccHandler);

// Opens the entry's encoder for these frames; null with *error an AVERROR when it refuses them.
std::unique_ptr<VideoEncoder> openEncoder(const CompressorEntry& entry, const EncoderSettings& settings,
                                          int* error);

// ICCompressQuery: ICERR_OK when the compressor takes frames of this format and size, else
// ICERR_BADFORMAT. The answer comes from opening the encoder for that size, so it is what a recording
// will meet.
LRESULT queryCompressor(const CompressorEntry& entry, const BitmapInfoHeader* input,
                        const BitmapInfoHeader* output);

// The About box text: what the compressor is, the encoder behind it and how the options are used.
std::string compressorDetails(const CompressorEntry& entry);

// Quality 0..10000 from the options' dwQuality: ICQUALITY_DEFAULT gives -1 (the compressor's default),
// values above 10000 count as 10000.
int qualityFromOptions(DWORD dwQuality);

}  // namespace zelq
