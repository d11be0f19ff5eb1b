#pragma once
// What each kind of shared file is made of: muxer, encoders and their settings, and the filters that
// turn a recording's pictures and sound into what those encoders take. Values only; any thread.

#include <string>
#include <vector>

#include "media/exportformat.h"
#include "media/exportwriter.h"

namespace zelq {

struct ExportRecipe {
    const char* muxer = nullptr;
    std::vector<std::pair<std::string, std::string>> muxerOptions;
    EncoderChoice video;
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    bool bt709 = false;
    AVRational frameRate{0, 1};  // of the file made: the recording's, or the GIF's cap
    // The filters from the recording's decoded pictures (label "in") to the encoder's (label "out").
    std::string videoFilters;
    // GIF only: the filters that make the palette (one frame at the end), and the ones that use it, which
    // read it from the label "pal".
    std::string paletteFilters;
    // Sound: none for a GIF.
    EncoderChoice audio;
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_NONE;
    std::string audioFilters;
};

// libavformat's name for the format's muxer.
const char* exportMuxerName(ExportFormat format);

// The recipe for a recording whose pictures are `width` × `height` (coded as `codedWidth` × `codedHeight`:
// our recordings of sides that are not multiples of 4 are coded larger) at `rate` pictures a second.
ExportRecipe exportRecipe(ExportFormat format, int width, int height, int codedWidth, int codedHeight,
                          AVRational rate);

}  // namespace zelq
