#include "capture/vfw/compressors.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

extern "C" {
#include <libavutil/opt.h>
}

#include "capture/vfw/dibformat.h"
#include "capture/vfw/msvcvideoencoder.h"

namespace zelq {

namespace {

// dwQuality -1 (the compressor's default) stands for this.
constexpr int kDefaultQuality = 7500;

// 0 .. 1, 1 being the best quality the options allow.
double fidelity(const EncoderSettings& s) {
    return (s.quality < 0 ? kDefaultQuality : s.quality) / 10000.0;
}

// An MPEG-style quantiser, 2 (best) .. 31 (worst). The curve is steep at the good end: for text on screen
// the step from 2 to 8 matters far more than the one from 20 to 31. The default quality gives 4, 6550
// gives 5.
int quantiser(const EncoderSettings& s) {
    const double loss = 1.0 - fidelity(s);
    return 2 + static_cast<int>(std::lround(29.0 * loss * loss));
}

void useQuantiser(AVCodecContext& c, const EncoderSettings& s) {
    c.flags |= AV_CODEC_FLAG_QSCALE;
    c.global_quality = FF_QP2LAMBDA * quantiser(s);
}

void tuneZmbv(AVCodecContext& c, AVDictionary**, const EncoderSettings& s) {
    // ZMBV makes every keyint_min-th frame a key frame. It is lossless; quality has nothing to change.
    if (s.keyFrameEvery > 0)
        c.keyint_min = s.keyFrameEvery;
}

void tuneX264(AVCodecContext& c, AVDictionary** o, const EncoderSettings& s) {
    // Screen recording must keep up with the capture on two cores: a fast preset, and no B-frames or
    // look-ahead, so that each frame is compressed when it arrives and positions stay in order.
    av_dict_set(o, "preset", "veryfast", 0);
    av_dict_set(o, "tune", "zerolatency", 0);
    c.max_b_frames = 0;
    // Constant quality: CRF 42 at quality 0 down to CRF 12 at 10000 (6550 gives about 22).
    const std::string crf = std::to_string(12.0 + 30.0 * (1.0 - fidelity(s)));
    av_dict_set(o, "crf", crf.c_str(), 0);
    if (s.keyFrameEvery > 0)
        c.gop_size = s.keyFrameEvery;
    av_dict_set(o, "x264-params", "log=0", 0);  // x264's own messages: errors only
}

void tuneMjpeg(AVCodecContext& c, AVDictionary**, const EncoderSettings& s) {
    useQuantiser(c, s);
}

void tuneMpeg4(AVCodecContext& c, AVDictionary**, const EncoderSettings& s) {
    useQuantiser(c, s);
    c.max_b_frames = 0;
    if (s.keyFrameEvery > 0)
        c.gop_size = s.keyFrameEvery;
}

void tuneFfv1(AVCodecContext& c, AVDictionary**, const EncoderSettings& s) {
    if (s.keyFrameEvery > 0)
        c.gop_size = s.keyFrameEvery;
}

const CompressorEntry kCompressors[] = {
    {mmioFOURCC('M', 'S', 'V', 'C'),
     "MSVC",
     "Microsoft Video 1",
     VIDCF_QUALITY | VIDCF_TEMPORAL,
     "Lossy, 16-bit colour (5 bits a component) in 4 x 4 blocks; fast enough to record a whole screen. "
     "Only the blocks that changed are coded. Quality trades picture error against bytes: at 10000 every "
     "block is as close as the format allows, lower values leave small changes as they are and draw "
     "blocks with fewer colours. A key frame starts every key-frame interval frames. Any width and "
     "height: sides that are not multiples of 4 are coded at the next multiple of 4 and the picture keeps "
     "its own size.",
     {},
     &openMsvcEncoder},
    {mmioFOURCC('Z', 'M', 'B', 'V'),
     "ZMBV",
     "ZMBV - Zip Motion Blocks Video",
     VIDCF_TEMPORAL,
     "Lossless; small files for screens that change little. Quality is not used; a key frame starts every "
     "key-frame interval frames.",
     {"zmbv", AV_PIX_FMT_BGR0, false, &tuneZmbv}},
    {mmioFOURCC('H', '2', '6', '4'),
     "x264",
     "H.264 (x264)",
     VIDCF_QUALITY | VIDCF_TEMPORAL,
     "Lossy, 4:2:0 colour, the smallest files. Quality sets the constant rate factor (CRF 42 at 0 to 12 at "
     "10000); a key frame starts every key-frame interval frames; no B-frames. Width and height must be "
     "even.",
     {"libx264", AV_PIX_FMT_YUV420P, false, &tuneX264}},
    {mmioFOURCC('M', 'J', 'P', 'G'),
     "MJPEG",
     "Motion JPEG",
     VIDCF_QUALITY,
     "Lossy, every frame a JPEG picture (every frame is a key frame). Quality sets the quantiser (31 at 0 "
     "to 2 at 10000).",
     {"mjpeg", AV_PIX_FMT_YUV420P, true, &tuneMjpeg}},
    {mmioFOURCC('F', 'F', 'V', '1'),
     "FFV1",
     "FFV1 - FFmpeg lossless video",
     VIDCF_TEMPORAL,
     "Lossless. Quality is not used; a key frame starts every key-frame interval frames.",
     {"ffv1", AV_PIX_FMT_BGR0, false, &tuneFfv1}},
    {mmioFOURCC('U', 'L', 'R', 'G'),
     "UtVideo",
     "Ut Video (RGB, lossless)",
     0,
     "Lossless and fast; every frame is a key frame. Quality is not used.",
     {"utvideo", AV_PIX_FMT_GBRP, false, nullptr}},
    {mmioFOURCC('H', 'F', 'Y', 'U'),
     "Huffyuv",
     "Huffyuv (lossless)",
     0,
     "Lossless and fast, large files; every frame is a key frame. Quality is not used.",
     {"huffyuv", AV_PIX_FMT_RGB24, false, nullptr}},
    {mmioFOURCC('M', 'P', 'N', 'G'),
     "PNG",
     "PNG frames (lossless)",
     0,
     "Lossless, every frame a PNG picture (every frame is a key frame). Quality is not used.",
     {"png", AV_PIX_FMT_RGB24, false, nullptr}},
    {mmioFOURCC('F', 'M', 'P', '4'),
     "MPEG-4",
     "MPEG-4 Visual",
     VIDCF_QUALITY | VIDCF_TEMPORAL,
     "Lossy, 4:2:0 colour. Quality sets the quantiser (31 at 0 to 2 at 10000); a key frame starts every "
     "key-frame interval frames; no B-frames.",
     {"mpeg4", AV_PIX_FMT_YUV420P, false, &tuneMpeg4}},
};

FOURCC lowerFourcc(FOURCC code) {
    FOURCC out = 0;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(code >> (8 * i));
        out |= static_cast<FOURCC>(std::tolower(c)) << (8 * i);
    }
    return out;
}

std::string fourccText(FOURCC code) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>(code >> (8 * i));
    return s;
}

std::string libraryVersion(unsigned v) {
    return std::to_string(AV_VERSION_MAJOR(v)) + "." + std::to_string(AV_VERSION_MINOR(v)) + "." +
           std::to_string(AV_VERSION_MICRO(v));
}

}  // namespace

const std::vector<const CompressorEntry*>& installedCompressors() {
    static const std::vector<const CompressorEntry*> list = [] {
        std::vector<const CompressorEntry*> present;
        for (const CompressorEntry& e : kCompressors)
            if (e.own || libavEncoderPresent(e.libav))
                present.push_back(&e);
        return present;
    }();
    return list;
}

const CompressorEntry* findCompressor(FOURCC fccHandler) {
    const FOURCC wanted = lowerFourcc(fccHandler);
    for (const CompressorEntry* e : installedCompressors())
        if (lowerFourcc(e->fccHandler) == wanted)
            return e;
    return nullptr;
}

std::unique_ptr<VideoEncoder> openEncoder(const CompressorEntry& entry, const EncoderSettings& settings,
                                          int* error) {
    if (entry.own)
        return entry.own(settings, error);
    return openLibavEncoder(entry.libav, entry.fccHandler, settings, error);
}

LRESULT queryCompressor(const CompressorEntry& entry, const BitmapInfoHeader* input,
                        const BitmapInfoHeader* output) {
    EncoderSettings settings;
    if (readDibFormat(input, std::nullopt, settings.input) != AVIERR_OK)
        return ICERR_BADFORMAT;
    if (output) {
        // Only this compressor's own output at the same size can be asked for.
        if (lowerFourcc(output->biCompression) != lowerFourcc(entry.fccHandler) ||
            output->biWidth != settings.input.width || std::abs(output->biHeight) != settings.input.height)
            return ICERR_BADFORMAT;
    }
    int error = 0;
    return openEncoder(entry, settings, &error) ? ICERR_OK : ICERR_BADFORMAT;
}

std::string compressorDetails(const CompressorEntry& entry) {
    std::string text = std::string(entry.description) + "\n\nFourCC: " + fourccText(entry.fccHandler) + "\n";
    if (entry.own) {
        text +=
            "Encoder: this program's own; libavcodec " + libraryVersion(avcodec_version()) + " decodes it\n";
    } else if (const AVCodec* codec = avcodec_find_encoder_by_name(entry.libav.encoder)) {
        text += std::string("Encoder: \"") + codec->name + "\" (" +
                (codec->long_name ? codec->long_name : "") + ") of libavcodec " +
                libraryVersion(avcodec_version()) + "\n";
    }
    return text + "\n" + entry.knobs;
}

int qualityFromOptions(DWORD dwQuality) {
    if (dwQuality == ICQUALITY_DEFAULT)
        return -1;
    return static_cast<int>(std::min<DWORD>(dwQuality, ICQUALITY_HIGH));
}

}  // namespace zelq
