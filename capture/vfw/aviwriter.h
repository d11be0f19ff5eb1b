#pragma once
// Writing AVI files with libavformat's AVI muxer.
//
// Positions: each stream's time base is dwScale / dwRate, so a packet's dts is its position, and the
// muxer stores an empty chunk for every position between two packets; those count in the stream's
// length as Windows' empty positions do. The muxer only fills gaps between packets and at most 60000
// at once, so the writer adds an empty packet of its own at position 0 before a first frame written
// later than that, and every 50000 positions in a longer gap.
//
// Sound: a sound stream (soundwritestream.h) is plain PCM whose positions are samples; its chunks follow
// one another with no empty positions, and the muxer indexes them beside the frames (idx1 and OpenDML).
//
// Picture size: a stream coded at a larger size than its picture (see encoder.h) keeps the picture's
// size in its header's frame rectangle, written over libavformat's after the header is out
// (avistreamheaders.h); the stream format keeps the coded size that decoders need.
//
// Large files: the muxer starts a new RIFF 'AVIX' part with its own index every gigabyte and keeps
// the OpenDML super index in the header (room for 256 parts), so a file stays readable beyond the
// 1 GB (and 4 GB) limits of the first RIFF part.
//
// A full disk: before each write the writer checks that the disk keeps room for the data and for what
// closing the file will add (the index, about 32 bytes a position); a write that does not fit is
// refused and the stream fails, so the file can still be finished. Should the disk fail anyway, the
// file is cut back to the end of the last whole frame, which players read without an index.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "capture/vfw/aviobjects.h"
#include "capture/vfw/dibformat.h"
#include "capture/vfw/encoder.h"
#include "platform/fileops.h"
#include "platform/raii.h"

namespace zelq {

// Where a stream whose positions so far end at `end` needs empty packets of its own before a frame at
// `dts`: the muxer fills gaps only after a first packet and only up to 60000 positions at a time.
std::vector<std::int64_t> emptyPositionsBefore(std::int64_t end, std::int64_t dts);

// Writes the pictures' sizes (stream -> width, height) into the frame rectangles of the header that
// `pb` has just written to `path`.
void putPictureSizes(AVIOContext& pb, const std::filesystem::path& path,
                     const std::map<int, std::pair<int, int>>& sizes);

class OutputFile final : public AviFileObject {
public:
    // Creates or empties the file. AVIERR_FILEOPEN when it cannot be created.
    static HRESULT create(const std::filesystem::path& path, PAVIFILE& out);
    ~OutputFile() override;  // finishes the file: header counts, index

    HRESULT createStream(const AVISTREAMINFO& info, PAVISTREAM& out) override;
    // Header counts and index, once; AVIERR_FILEWRITE when the disk refused them.
    HRESULT finish() override;

    bool headerWritten() const { return headerWritten_; }
    AVStream& stream(int index) { return *ctx_->streams[index]; }
    // Writes one packet of a stream whose last position so far ends at `end` (positions written or
    // skipped); `from` is the packet's time base. On success `end` is the packet's position + 1.
    HRESULT writePacket(AVPacket& packet, AVRational from, std::int64_t& end);
    // Writes one chunk of a sound stream: `samples` samples from `end`, the samples written so far,
    // which it then counts. `from` is the packet's time base (one sample).
    HRESULT writeSamples(AVPacket& packet, AVRational from, std::int64_t samples, std::int64_t& end);
    // True once a write has failed; the file then takes no more data.
    bool failed() const { return failed_; }
    // The size of the stream's picture when it is smaller than the coded size of its format; goes into
    // the header's frame rectangle. Before the header is written.
    void setPictureSize(int index, int width, int height);

private:
    OutputFile(std::filesystem::path path, AvOutputContextPtr ctx);
    HRESULT ensureHeader();
    HRESULT prepare(AVPacket& packet, AVRational from);
    void writePictureSizes();
    HRESULT mux(AVPacket& packet, std::int64_t newPositions);
    bool roomFor(std::int64_t bytes, std::int64_t newPositions) const;

    std::filesystem::path path_;
    AvOutputContextPtr ctx_;
    std::optional<FileLock> lock_;  // held until the file is finished: nothing repairs it meanwhile
    bool headerWritten_ = false;
    bool failed_ = false;
    bool finished_ = false;
    bool diskFailed_ = false;     // the disk refused data: what follows goodEnd_ may be a torn chunk
    std::int64_t goodEnd_ = 0;    // file size after the last write that reached the disk
    std::int64_t positions_ = 0;  // positions of all streams so far: the entries the index will need
    std::map<int, std::pair<int, int>> pictureSizes_;  // stream -> width, height, where not the coded size
};

// A stream of a file being written. Written directly it stores uncompressed DIB frames; a compressed
// stream (compressedstream.h) writes into it instead.
class RawWriteStream final : public AviStreamObject {
public:
    RawWriteStream(std::shared_ptr<OutputFile> file, int index, const AVISTREAMINFO& header);

    HRESULT setFormat(LONG pos, const BitmapInfoHeader* format, LONG cb) override;
    HRESULT write(LONG start, LONG samples, const void* buffer, LONG cb, DWORD flags, LONG* samplesWritten,
                  LONG* bytesWritten) override;
    void info(AVISTREAMINFO& out) const override;
    LONG length() const override { return static_cast<LONG>(end_); }

    // For a compressed stream writing into this one.
    const AVISTREAMINFO& header() const { return header_; }
    AVRational positionUnit() const;
    bool formatSet() const { return formatSet_; }
    bool failed() const { return file_->failed(); }
    // Takes the codec and format of the encoder's output as the stream's format, for pictures of
    // pictureWidth x pictureHeight (which the encoder may code at a larger size).
    HRESULT setCompressedFormat(const VideoEncoder& encoder, int pictureWidth, int pictureHeight);
    HRESULT writeCompressed(AVPacket& packet, AVRational from);

private:
    HRESULT checkFormatPosition(LONG pos) const;

    std::shared_ptr<OutputFile> file_;
    int index_;
    AVISTREAMINFO header_;
    DibFormat raw_;  // the format of uncompressed frames, once set
    bool formatSet_ = false;
    int pictureWidth_ = 0;  // the frames' own size, once the format is set
    int pictureHeight_ = 0;
    std::int64_t end_ = 0;  // positions so far, empty ones included
};

}  // namespace zelq
