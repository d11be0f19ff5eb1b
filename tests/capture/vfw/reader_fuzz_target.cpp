// The AVI reader's fuzz target: any bytes at all, read as a recording is read by the player and the
// picture split (open, first video stream, header, length, frames by position). Whatever the bytes, the
// reader must answer with codes and null frames, never crash, hang or read out of bounds; every frame it
// does return is drawn as the split draws it. Built as a
// libFuzzer program when the compiler is clang; the vfw tests run a corpus through it on every build.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "capture/vfw/avifile.h"
#include "capture/vfw/drawdib.h"

using namespace zelq;

namespace {

void drawAsTheSplitDoes(const BitmapInfoHeader* frame) {
    if (!frame)
        return;
    HDRAWDIB draw = DrawDibOpen();
    QImage surface;
    const int height = PackedDibHeight(frame);
    if (DrawDibBegin(draw, surface, 0, 0, frame, frame->biWidth, height, DDF_ANIMATE))
        DrawDibDraw(draw, surface, 0, 0, frame->biWidth, height, frame, PackedDibBits(frame), 0, 0,
                    frame->biWidth, height, 0);
    DrawDibClose(draw);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // libavformat reads by path: the bytes go to a file in memory, reached through /proc.
    const int fd = memfd_create("avi", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    PAVIFILE file;
    PAVISTREAM stream;
    if (AVIFileOpen(file, path, OF_READ) == AVIERR_OK &&
        AVIFileGetStream(file, stream, streamtypeVIDEO, 0) == AVIERR_OK) {
        AVISTREAMINFO info;
        AVIStreamInfo(stream, &info, sizeof info);
        const LONG length = AVIStreamLength(stream);
        if (PGETFRAME frames = AVIStreamGetFrameOpen(stream)) {
            // Forwards, then a jump back: both ways of moving through a recording.
            for (LONG p = 0; p < length && p < 40; ++p) drawAsTheSplitDoes(AVIStreamGetFrame(frames, p));
            AVIStreamGetFrame(frames, length / 2);
            AVIStreamGetFrame(frames, length);
        }
    }
    stream.reset();
    file.reset();
    close(fd);
    return 0;
}
