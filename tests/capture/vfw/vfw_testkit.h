#pragma once
// Frames, recordings and an independent reader for the tests of the Video for Windows layer: DIBs with
// a known pattern, a writer that makes the recording loop's calls in its order, and ffprobe / ffmpeg to
// judge every file that is written.

#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/vfw/vfw.h"

namespace test {

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// A packed DIB: header, colour table (8 bits), rows bottom-up padded to 4 bytes.
struct Dib {
    std::vector<std::uint8_t> bytes;
    const zelq::BitmapInfoHeader* header() const {
        return reinterpret_cast<const zelq::BitmapInfoHeader*>(bytes.data());
    }
    zelq::LONG formatBytes() const;  // header and colour table
    const std::uint8_t* pixels() const { return bytes.data() + formatBytes(); }
    zelq::LONG imageBytes() const { return static_cast<zelq::LONG>(header()->biSizeImage); }
};

// (x, y) with y = 0 the top row; frame distinguishes the frames of a recording.
Rgb pattern(int x, int y, int frame);
// A 16, 24 or 32-bit DIB of the pattern (16-bit keeps the top 5 bits of each colour).
Dib patternDib(int width, int height, int bits, int frame);
// A picture as text on screen is: every 4 x 4 block holds two colours, a ground and strokes over it,
// both changing from block to block and from frame to frame.
Rgb twoColour(int x, int y, int frame);
// A 16, 24 or 32-bit DIB of any picture (16-bit keeps the top 5 bits of each colour).
Dib dibOf(int width, int height, int bits, const std::function<Rgb(int x, int y)>& colour);
// An 8-bit DIB: a 256-colour table and indices (x + 3y + frame) mod 256.
Dib palettedDib(int width, int height, int frame);
// The colour of a pixel of any packed DIB of 8, 16, 24 or 32 bits.
Rgb pixelAt(const zelq::BitmapInfoHeader* dib, int x, int y);
// The pattern as a DIB of this depth shows it (16 bits: 5 bits per colour, widened as decoders widen).
Rgb expectedAt(int x, int y, int frame, int bits);

struct Recording {
    zelq::FOURCC handler = zelq::mmioFOURCC('M', 'S', 'V', 'C');
    int width = 64;
    int height = 48;
    int bits = 24;
    zelq::DWORD rate = 10;
    zelq::DWORD quality = 6550;
    zelq::DWORD keyFrameEvery = 5;
    std::vector<zelq::LONG> positions{0, 1, 2};
    bool still = false;  // every frame the same picture (frame 0)
    // The process ends right after the last write, releasing nothing, as when a writer dies (for a child
    // process of a test; its exit status is 0 when every call succeeded).
    bool dieAfterWriting = false;
    // The picture of each frame; the pattern when not set (ignored at 8 bits).
    std::function<Rgb(int x, int y, int frame)> picture;
};

// Writes a recording with the calls the recording loop makes, in its order; frame i of `positions` is
// the picture (or palettedDib at 8 bits) with frame number i. Answers the first failing status.
// frameDib gives that frame.
Dib frameDib(const Recording& rec, int frame);
zelq::HRESULT writeRecording(const QString& path, const Recording& rec);

// A recording with sound as the recording loop writes one: an uncompressed 24-bit video stream and a
// 16-bit 48 kHz stereo PCM stream, a chunk of sound before each frame.
struct SoundRecording {
    int width = 64;
    int height = 48;
    zelq::DWORD rate = 10;
    int positions = 10;
    std::function<Rgb(int x, int y, int frame)> picture;
    std::function<std::int16_t(std::int64_t frame)> sound;  // the same sample in both channels
    bool dieAfterWriting = false;  // as Recording's
};
zelq::HRESULT writeSoundRecording(const QString& path, const SoundRecording& rec);

// The header of a video stream of `rate` positions per second (dwScale 1).
zelq::AVISTREAMINFO videoHeader(zelq::DWORD rate = 10);

// A file opened for reading, its first video stream and a frame reader of that depth (0: the default).
struct Playback {
    zelq::PAVIFILE file;
    zelq::PAVISTREAM stream;
    zelq::PGETFRAME frames;
    bool ok() const { return file && stream && frames; }
};
Playback play(const QString& path, int depth = 0);

// What ffprobe reads from a file.
struct Probe {
    bool ok = false;
    QString codecName, codecTag;
    int width = 0, height = 0;
    QString frameRate;             // r_frame_rate, "10/1"
    long long headerFrames = -1;   // nb_frames: positions, empty ones included
    long long decodedFrames = -1;  // nb_read_frames
    std::vector<long long> packetPositions;
    std::vector<bool> packetKeys;
    QString errors;
};
Probe probe(const QString& path);
// ffmpeg's complaints while decoding every frame; empty when it decoded them all without an error.
QString decodeErrors(const QString& path);

// An AVI as ffmpeg writes it to a pipe: 64x48 Microsoft Video 1 at 10 fps and 16-bit stereo PCM sound,
// `seconds` long. On a pipe the header's sizes stay unwritten (0xFFFFFFFF) and there is no index, as in
// a file whose writer died. False when ffmpeg failed.
bool pipeWrittenAviWithSound(const QString& path, int seconds = 2);
// Puts this program's writer mark (as our writer writes it) into such a file's INFO list, in the room
// of the padding that follows it, as if our writer had written the file.
bool putOurWriterMark(const QString& path);
// Each stream's type and whole packets as ffprobe reads them, such as "video 20, audio 94".
QString streamPackets(const QString& path);
// What the header says each stream holds, as ffprobe reads it: "video 190, audio 190" (nb_frames).
QString headerCounts(const QString& path);

// A file's bytes; empty when it cannot be read.
QByteArray bytesOf(const QString& path);

// Damaged and lying copies of a recording's bytes, the same on every run: the whole file, cut at 39
// places, 60 with 1 to 8 bytes changed (half of them in the first 2 KB, where a reader trusts sizes and
// counts), and a few whose headers lie about the length, the rate or the picture size. 104 in all.
std::vector<QByteArray> damagedCopies(const QByteArray& whole, std::uint32_t seed);

// A small tmpfs of its own, so that "the disk is full" is real and harms nobody. Needs root.
class SmallDisk {
public:
    explicit SmallDisk(const char* options);
    ~SmallDisk();
    bool mounted() const { return mounted_; }
    bool makeReadOnly();
    std::string error() const { return error_; }
    QString path(const char* name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    std::string error_;
};

}  // namespace test
