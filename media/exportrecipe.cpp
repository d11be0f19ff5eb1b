#include "media/exportrecipe.h"

#include <thread>

namespace zelq {

namespace {

std::string rateText(AVRational rate) {
    return std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

// The decoded picture without the coding's padding, at a constant rate: an empty position of a recording
// shows the picture before it again, as the player does.
std::string pictureAtRate(int width, int height, int codedWidth, int codedHeight, AVRational rate) {
    std::string f;
    if (width != codedWidth || height != codedHeight)
        f += "crop=" + std::to_string(width) + ":" + std::to_string(height) + ":0:0,";
    return f + "fps=" + rateText(rate);
}

}  // namespace

const char* exportMuxerName(ExportFormat format) {
    switch (format) {
        case ExportFormat::Mp4:
            return "mp4";
        case ExportFormat::WebM:
            return "webm";
        case ExportFormat::Gif:
            return "gif";
    }
    return nullptr;
}

ExportRecipe exportRecipe(ExportFormat format, int width, int height, int codedWidth, int codedHeight,
                          AVRational rate) {
    ExportRecipe r;
    r.muxer = exportMuxerName(format);
    r.frameRate = rate;
    if (format == ExportFormat::Gif) {
        if (av_cmp_q(rate, AVRational{kGifMaxRate, 1}) > 0)
            r.frameRate = AVRational{kGifMaxRate, 1};
        r.muxerOptions = {{"loop", "0"}};  // for ever
        r.video.name = "gif";
        r.pixelFormat = AV_PIX_FMT_PAL8;
        std::string shared = pictureAtRate(width, height, codedWidth, codedHeight, r.frameRate);
        if (width > kGifMaxWidth)
            shared += ",scale=" + std::to_string(kGifMaxWidth) + ":-1:flags=lanczos";
        // The palette is made from the whole recording, then used for every picture: its 256 colours are
        // the ones the recording has most of. The ordered dither keeps flat areas flat and small to store.
        r.paletteFilters = "[in]" + shared + ",palettegen[out]";
        r.videoFilters =
            "[in]" + shared + "[x];[x][pal]paletteuse=dither=bayer:bayer_scale=5:diff_mode=rectangle[out]";
        return r;
    }
    // Both encoders take 4:2:0 pictures, whose sides must be even: an odd side gets one more row or
    // column (black) rather than losing one of the recording's. The conversion from the screen's RGB uses
    // the HD matrix and video range, the ones the stream is tagged with.
    const std::string picture = pictureAtRate(width, height, codedWidth, codedHeight, rate) +
                                ",pad=ceil(iw/2)*2:ceil(ih/2)*2" +
                                ",scale=out_color_matrix=bt709:out_range=tv,format=yuv420p";
    r.videoFilters = "[in]" + picture + "[out]";
    r.pixelFormat = AV_PIX_FMT_YUV420P;
    r.bt709 = true;
    if (format == ExportFormat::Mp4) {
        // The index goes before the pictures, so that a browser plays the file while it downloads.
        r.muxerOptions = {{"movflags", "+faststart"}};
        // A screen is mostly still, sharp-edged text: CRF 20 keeps text clean, and "veryfast" is the
        // preset where x264's search stops paying for itself on such pictures.
        r.video = {"libx264", {{"preset", "veryfast"}, {"crf", "20"}}, 0};
        r.audio = {"aac", {}, 128000};
        r.sampleFormat = AV_SAMPLE_FMT_FLTP;
    } else {
        // Constant quality, libvpx's real-time mode at its fastest speed with rows coded in parallel: the
        // only VP9 settings that stay ahead of real time at 1080p on two cores.
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        r.video = {"libvpx-vp9",
                   {{"deadline", "realtime"},
                    {"cpu-used", "8"},
                    {"row-mt", "1"},
                    {"tile-columns", "2"},
                    {"crf", "32"},
                    {"threads", std::to_string(cores)}},
                   0};
        r.audio = {"libopus", {}, 96000};
        r.sampleFormat = AV_SAMPLE_FMT_FLT;
    }
    r.audioFilters = std::string("[in]aresample=48000,aformat=sample_fmts=") +
                     av_get_sample_fmt_name(r.sampleFormat) + ":channel_layouts=stereo[out]";
    return r;
}

}  // namespace zelq
