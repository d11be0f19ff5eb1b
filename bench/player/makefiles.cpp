#include "makefiles.h"

#include "capture/vfw/dibformat.h"
#include "capture/vfw/vfw.h"
#include "childprocess.h"
#include "sequences.h"

namespace zelq::bench {

namespace {

// A bottom-up 32-bit DIB at zoom times its size, every pixel repeated zoom x zoom times.
void enlarge(const std::vector<std::uint8_t>& dib, int zoom, std::vector<std::uint8_t>& out) {
    const int width = kSequenceWidth * zoom;
    for (int y = 0; y < kSequenceHeight * zoom; ++y) {
        const auto* from = reinterpret_cast<const std::uint32_t*>(dib.data()) + (y / zoom) * kSequenceWidth;
        auto* to = reinterpret_cast<std::uint32_t*>(out.data()) + std::size_t(y) * width;
        for (int x = 0; x < width; ++x) to[x] = from[x / zoom];
    }
}

}  // namespace

QString makeMsvcRecording(const QString& path, int seconds, int zoom) {
    AVIFileInit();
    PAVIFILE file;
    PAVISTREAM raw, compressed;
    AVICOMPRESSOPTIONS options;
    options.fccType = streamtypeVIDEO;
    options.fccHandler = mmioFOURCC('M', 'S', 'V', 'C');
    options.dwKeyFrameEvery = 5;  // the recorder's defaults
    options.dwQuality = 6550;
    options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
    const int width = kSequenceWidth * zoom, height = kSequenceHeight * zoom;
    const BitmapInfoHeader format = makeDibHeader(width, height, 32);

    HRESULT status = AVIFileOpen(file, path.toStdString(), OF_WRITE | OF_CREATE);
    if (status == AVIERR_OK) {
        AVISTREAMINFO header;
        header.fccType = streamtypeVIDEO;
        header.dwScale = 1;
        header.dwRate = 10;
        header.dwSuggestedBufferSize = format.biSizeImage;
        header.rcFrame = {0, 0, width, height};
        status = AVIFileCreateStream(file, raw, header);
    }
    if (status == AVIERR_OK) status = AVIMakeCompressedStream(compressed, raw, &options);
    if (status == AVIERR_OK) status = AVIStreamSetFormat(compressed, 0, &format, sizeof format);
    std::unique_ptr<Sequence> text = scrollingText();
    // The sequence fills a frame of the right size; it does not size it.
    std::vector<std::uint8_t> dib(std::size_t(kSequenceWidth) * kSequenceHeight * 4),
        large(format.biSizeImage);
    for (int i = 0; status == AVIERR_OK && i < seconds * 10; ++i) {
        // The page is 100 frames long: it scrolls down, then back up, so every frame differs from the last.
        const int step = i % 100;
        text->frame((i / 100) % 2 == 0 ? step : 99 - step, dib);
        if (zoom > 1)
            enlarge(dib, zoom, large);
        const std::vector<std::uint8_t>& written = zoom > 1 ? large : dib;
        status = AVIStreamWrite(compressed, i, 1, written.data(), static_cast<LONG>(written.size()), 0);
    }
    AVICOMPRESSOPTIONS* list[] = {&options};
    AVISaveOptionsFree(1, list);
    AVIStreamRelease(compressed);
    AVIStreamRelease(raw);
    AVIFileRelease(file);
    AVIFileExit();
    return status == AVIERR_OK ? QString() : QStringLiteral("the MSVC recording failed: %1").arg(status);
}

QString makeH264Recording(const QString& path, int seconds, const QString& scratchFolder) {
    const ChildRun run = runChild(QStringLiteral("ffmpeg"),
                                  {"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                                   "testsrc2=size=1920x1080:rate=30", "-t", QString::number(seconds), "-c:v",
                                   "libx264", "-preset", "veryfast", "-tune", "zerolatency", "-crf", "22.35",
                                   "-g", "5", "-pix_fmt", "yuv420p", path},
                                  scratchFolder);
    return run.exitCode == 0 ? QString() : QString::fromUtf8("ffmpeg failed: " + run.errors.right(300));
}

long long storedPictures(const QString& path, const QString& scratchFolder) {
    const ChildRun run = runChild(QStringLiteral("ffprobe"),
                                  {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                                   "stream=nb_read_packets", "-of", "csv=p=0", path},
                                  scratchFolder);
    bool ok = false;
    const long long n = run.output.trimmed().toLongLong(&ok);
    return run.exitCode == 0 && ok ? n : -1;
}

}  // namespace zelq::bench
