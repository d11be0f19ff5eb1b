#pragma once
// AVI files through the AVIFile calls of Video for Windows, built on libavformat and libavcodec.
//
// Files and streams are reference-counted handles (std::shared_ptr) as their Windows counterparts are COM
// objects: a stream keeps its file alive, a compressed stream keeps the stream it writes into alive. When
// the file and all its streams are released, the file on disk is complete: the compressor has handed
// over its last frames, the index is written and the header counts are final. Every call answers 0 or an
// AVIERR_* code as Windows does, and none throws.
//
// Writing. A position p of a stream stands for p × dwScale / dwRate seconds. Positions must grow from one
// write to the next; positions that are never written stay empty and still count in the stream's length
// (written at 0, 1, 4, 5, 9: the stream is 10 positions long, a reader finds frames at those 5). Files over
// 1 GB continue as OpenDML ("AVIX" parts with their own index), so they stay readable whatever their size.
// A write that would not leave room on the disk to finish the file is refused with AVIERR_FILEWRITE, so
// that releasing the file still writes a readable file with the frames written so far.
//
// Reading. Frames come back as packed DIBs by position: a 40-byte header, a colour table for 8 bits or
// fewer, then the rows bottom-up, each padded to 4 bytes. An empty position shows the frame before it.
//
// Threads: a file, its streams and its frame readers are used by one thread at a time (the recording loop
// writes from its worker thread; the split reads on a thread of its own); different files may be used on
// different threads at once. The last release, wherever it happens, finishes the file on that thread.

#include <filesystem>
#include <memory>
#include <vector>

#include "capture/vfw/vfwtypes.h"

namespace zelq {

class AviFileObject;
class AviStreamObject;
class GetFrameObject;

using PAVIFILE = std::shared_ptr<AviFileObject>;
using PAVISTREAM = std::shared_ptr<AviStreamObject>;
struct GetFrameDeleter {
    void operator()(GetFrameObject* p) const noexcept;
};
using PGETFRAME = std::unique_ptr<GetFrameObject, GetFrameDeleter>;

// libavformat needs no set-up of its own; the pair is kept so that every use of AVI files is bracketed
// as the program's routines expect. Both may be called any number of times, from any thread.
void AVIFileInit();
void AVIFileExit();

// Opens `szFile`. uMode OF_READ (0) reads an existing AVI file; OF_WRITE | OF_CREATE (0x1001) creates the
// file or empties an existing one. Sharing flags are accepted and have no effect. lpHandler must be null
// (the built-in handler); any other class answers REGDB_E_CLASSNOTREG.
// Failures: AVIERR_FILEOPEN (missing, a folder, no permission, read-only medium), AVIERR_BADFORMAT (not an
// AVI file), AVIERR_FILEREAD (the medium failed while reading), AVIERR_MEMORY, AVIERR_BADFLAGS (a mode
// other than reading or creating), AVIERR_BADPARAM (an empty path).
HRESULT AVIFileOpen(PAVIFILE& ppfile, const std::filesystem::path& szFile, UINT uMode,
                    const CLSID* lpHandler = nullptr);
// Drops this reference; answers how many references remain (streams included).
ULONG AVIFileRelease(PAVIFILE& pfile);

// ---- Writing.
// Adds a stream to a file opened for writing: video ('vids') or sound ('auds'), with dwRate and dwScale
// > 0; dwRate / dwScale is the number of positions per second and szName becomes the stream's name. For
// sound a position is one sample of every channel, so dwScale is the format's nBlockAlign and dwRate its
// nAvgBytesPerSec, as Windows has them. The other fields are worked out by the writer from what is
// written (buffer size, frame rectangle, length). Every stream is added, and its format set, before the
// first write: the file's header lists them all.
HRESULT AVIFileCreateStream(const PAVIFILE& pfile, PAVISTREAM& ppavi, const AVISTREAMINFO& psi);
// A stream that compresses every frame written to it with the installed compressor lpOptions->fccHandler
// and writes the result into ppsSource. fccHandler 0 or 'DIB ' compresses nothing: ppsCompressed is then
// ppsSource itself. Quality and key-frame interval are taken from the options (see compressors.cpp for
// what each compressor makes of them); a data rate is not aimed at. AVIERR_NOCOMPRESSOR for a handler
// that is not installed.
HRESULT AVIMakeCompressedStream(PAVISTREAM& ppsCompressed, const PAVISTREAM& ppsSource,
                                const AVICOMPRESSOPTIONS* lpOptions, const CLSID* pclsidHandler = nullptr);
// Sets the format of the frames that will be written: a BI_RGB bottom-up DIB header of 8, 16 (5-5-5),
// 24 or 32 bits, followed by its colour table (cbFormat covers both), at position 0, once.
// AVIERR_BADFORMAT for other formats or when the compressor refuses this one, AVIERR_BADSIZE when
// cbFormat is short, AVIERR_UNSUPPORTED for a second format or another position.
HRESULT AVIStreamSetFormat(const PAVISTREAM& pavi, LONG lPos, const BitmapInfoHeader* lpFormat,
                           LONG cbFormat);
// The format of a sound stream: WAVE_FORMAT_PCM, 1 or 2 channels of 8 or 16 bits, any rate, with
// nBlockAlign and nAvgBytesPerSec consistent with them; at position 0, once. AVIERR_BADFORMAT otherwise.
HRESULT AVIStreamSetFormat(const PAVISTREAM& pavi, LONG lPos, const WaveFormatEx* lpFormat, LONG cbFormat);
// Writes one frame (lSamples 1): the DIB's pixel rows, cbBuffer ≥ biSizeImage of the format. lStart must
// be after the last position written. dwFlags AVIIF_KEYFRAME asks the compressor for a key frame (an
// uncompressed frame is always one). The counters, when given, receive 1 and the bytes stored.
// AVIERR_FILEWRITE when the disk refuses the data or is too full to take it; after that every write
// of the stream fails, and the file keeps what was written before.
// On a sound stream lSamples samples (lSamples × nBlockAlign bytes of cbBuffer) go into one chunk, and
// lStart must be the stream's length: sound has no empty positions, so a gap is written as silence.
HRESULT AVIStreamWrite(const PAVISTREAM& pavi, LONG lStart, LONG lSamples, const void* lpBuffer,
                       LONG cbBuffer, DWORD dwFlags, LONG* plSampWritten = nullptr,
                       LONG* plBytesWritten = nullptr);
// Not a Windows call: the rows (bottom-up, one flag per DIB row) of the next frame written to the stream
// that may differ from the frame written before it. A compressor that compares frames then reads only
// those; its output is the same as without the hint as long as every changed row is flagged. An empty
// list, or one of another length, says nothing. Used once, by the next write.
void AVIStreamHintChangedRows(const PAVISTREAM& pavi, std::vector<bool> rows);
// Also not a Windows call: the pixels of the frame written last to a compressed stream, which the caller
// keeps unchanged until the next write returns. A compressor that compares frames compares with them
// instead of keeping a copy of its own, which for a picture of tens of megabytes saves a sweep of memory
// a frame. The output is the same. Used once, by the next write; hint every write or none.
void AVIStreamHintLastFrame(const PAVISTREAM& pavi, const void* pixels);
// Not Windows calls: a release cannot say that it failed, yet a recorder must know whether its file was
// finished. AVIStreamFinish hands a compressed stream's remaining frames to the file now (frame-threaded
// compressors hold several); AVIFileFinish writes the index and the final header counts now. Each answers
// AVIERR_FILEWRITE when the disk refused what it had to write (the file then keeps every whole frame
// written before), AVIERR_OK otherwise, also for streams and files with nothing to finish. Finish the
// streams before their file. Afterwards the stream or file takes no more frames, and its release only
// closes it. Without them, the last release finishes as before.
HRESULT AVIStreamFinish(const PAVISTREAM& pavi);
HRESULT AVIFileFinish(const PAVIFILE& pfile);
// Frees what compressors attached to the nStreams records (the records themselves stay the caller's).
HRESULT AVISaveOptionsFree(int nStreams, AVICOMPRESSOPTIONS* const* plpOptions);
// Drops this reference; answers how many remain. The last release of a compressed stream hands the
// compressor's remaining frames to the file.
ULONG AVIStreamRelease(PAVISTREAM& pavi);

// ---- Reading.
// The lParam-th stream of type fccType (0: any type). AVIERR_NODATA when there is none.
HRESULT AVIFileGetStream(const PAVIFILE& pfile, PAVISTREAM& ppavi, DWORD fccType, LONG lParam);
// Fills the stream header: type, handler (the stream's FourCC), dwScale and dwRate, start, length, frame
// rectangle and name. AVIERR_BADSIZE when lSize is below the record's 140 bytes.
HRESULT AVIStreamInfo(const PAVISTREAM& pavi, AVISTREAMINFO* psi, LONG lSize);
// First position, number of positions (empty ones included), and the position after the last; -1 for a
// stream that is not there.
// The picture format of a video stream as its header gives it: the coded size (which a damaged header can
// make anything), depth and FourCC (0 for uncompressed); no colour table. *lpcbFormat is the room at
// lpFormat on the way in and the format's size on the way out. AVIERR_NODATA for a stream without
// pictures, AVIERR_BUFFERTOOSMALL when the room is short.
HRESULT AVIStreamReadFormat(const PAVISTREAM& pavi, LONG lPos, BitmapInfoHeader* lpFormat, LONG* lpcbFormat);
LONG AVIStreamStart(const PAVISTREAM& pavi);
LONG AVIStreamLength(const PAVISTREAM& pavi);
LONG AVIStreamEnd(const PAVISTREAM& pavi);
// Hints that positions lStart..lEnd will be read in order; libavformat reads ahead by itself, so there
// is nothing to prepare. AVIERR_BADHANDLE for a stream that is not there.
HRESULT AVIStreamBeginStreaming(const PAVISTREAM& pavi, LONG lStart, LONG lEnd, LONG lRate);
HRESULT AVIStreamEndStreaming(const PAVISTREAM& pavi);
// A frame reader for a video stream. lpbiWanted null picks the depth closest to the stream's own frames
// (8 with its palette for palettised streams, 16 for 5-5-5 streams, 32 for 32-bit streams, else 24);
// otherwise its biBitCount (16, 24 or 32; 8 only for palettised streams) and its width and height (0 or
// the stream's) are honoured. Null when the stream cannot be decoded or the format cannot be given.
PGETFRAME AVIStreamGetFrameOpen(const PAVISTREAM& pavi, const BitmapInfoHeader* lpbiWanted = nullptr);
// The frame shown at lPos as a packed DIB, valid until the next call on this reader or its close; null
// outside 0..length−1 or when the frame cannot be decoded. Empty positions before the first frame show
// the first frame.
const BitmapInfoHeader* AVIStreamGetFrame(const PGETFRAME& pg, LONG lPos);
HRESULT AVIStreamGetFrameClose(PGETFRAME& pg);

// The Video for Windows version: the high word is 0x010A (1.10) when the AVI writer and reader this layer
// is built on are present in the installed libavformat, and 0 when they are not.
DWORD VideoForWindowsVersion();

}  // namespace zelq
