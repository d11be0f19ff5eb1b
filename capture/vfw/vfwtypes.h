#pragma once
// The names, codes and records of Video for Windows, as the recording code uses them. The records that
// Windows lays out in memory (the stream header, the compressor description) keep their byte layout, so
// that code written against the Windows documentation reads and fills them the same way here.

#include <cstdint>
#include <vector>

#include "platform/dibtypes.h"

namespace zelq {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using FOURCC = std::uint32_t;
using HRESULT = std::int32_t;
using LRESULT = std::intptr_t;

// Packs four characters, c0 in the lowest byte, so that the code reads c0 c1 c2 c3 in memory order.
constexpr FOURCC mmioFOURCC(char c0, char c1, char c2, char c3) {
    return static_cast<FOURCC>(static_cast<BYTE>(c0)) | (static_cast<FOURCC>(static_cast<BYTE>(c1)) << 8) |
           (static_cast<FOURCC>(static_cast<BYTE>(c2)) << 16) |
           (static_cast<FOURCC>(static_cast<BYTE>(c3)) << 24);
}

constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
constexpr FOURCC streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');
constexpr FOURCC ICTYPE_VIDEO = mmioFOURCC('v', 'i', 'd', 'c');
// Handler codes that mean "no compressor": frames are stored as the DIBs they are.
constexpr FOURCC comptypeDIB = mmioFOURCC('D', 'I', 'B', ' ');

// ---- AVIFile results. 0 is success; the rest are the library's published codes.
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_UNSUPPORTED = static_cast<HRESULT>(0x80044065u);
constexpr HRESULT AVIERR_BADFORMAT = static_cast<HRESULT>(0x80044066u);
constexpr HRESULT AVIERR_MEMORY = static_cast<HRESULT>(0x80044067u);
constexpr HRESULT AVIERR_INTERNAL = static_cast<HRESULT>(0x80044068u);
constexpr HRESULT AVIERR_BADFLAGS = static_cast<HRESULT>(0x80044069u);
constexpr HRESULT AVIERR_BADPARAM = static_cast<HRESULT>(0x8004406Au);
constexpr HRESULT AVIERR_BADSIZE = static_cast<HRESULT>(0x8004406Bu);
constexpr HRESULT AVIERR_BADHANDLE = static_cast<HRESULT>(0x8004406Cu);
constexpr HRESULT AVIERR_FILEREAD = static_cast<HRESULT>(0x8004406Du);
constexpr HRESULT AVIERR_FILEWRITE = static_cast<HRESULT>(0x8004406Eu);
constexpr HRESULT AVIERR_FILEOPEN = static_cast<HRESULT>(0x8004406Fu);
constexpr HRESULT AVIERR_COMPRESSOR = static_cast<HRESULT>(0x80044070u);
constexpr HRESULT AVIERR_NOCOMPRESSOR = static_cast<HRESULT>(0x80044071u);
constexpr HRESULT AVIERR_READONLY = static_cast<HRESULT>(0x80044072u);
constexpr HRESULT AVIERR_NODATA = static_cast<HRESULT>(0x80044073u);
constexpr HRESULT AVIERR_BUFFERTOOSMALL = static_cast<HRESULT>(0x80044074u);
constexpr HRESULT AVIERR_CANTCOMPRESS = static_cast<HRESULT>(0x80044075u);
constexpr HRESULT AVIERR_USERABORT = static_cast<HRESULT>(0x800440C6u);
constexpr HRESULT AVIERR_ERROR = static_cast<HRESULT>(0x800440C7u);
// A handler class was named that is not registered; no handler classes exist here.
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

// ---- AVIFileOpen modes.
constexpr UINT OF_READ = 0x0000;
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_READWRITE = 0x0002;
constexpr UINT OF_SHARE_EXCLUSIVE = 0x0010;
constexpr UINT OF_SHARE_DENY_WRITE = 0x0020;
constexpr UINT OF_SHARE_DENY_READ = 0x0030;
constexpr UINT OF_SHARE_DENY_NONE = 0x0040;
constexpr UINT OF_CREATE = 0x1000;

// ---- AVIStreamWrite flags.
constexpr DWORD AVIIF_KEYFRAME = 0x00000010;

// ---- AVICOMPRESSOPTIONS flags.
constexpr DWORD AVICOMPRESSF_INTERLEAVE = 0x00000001;
constexpr DWORD AVICOMPRESSF_DATARATE = 0x00000002;
constexpr DWORD AVICOMPRESSF_KEYFRAMES = 0x00000004;
constexpr DWORD AVICOMPRESSF_VALID = 0x00000008;

// ---- The compressor manager.
constexpr UINT ICMODE_COMPRESS = 1;
constexpr UINT ICMODE_DECOMPRESS = 2;
constexpr UINT ICMODE_FASTDECOMPRESS = 3;
constexpr UINT ICMODE_QUERY = 4;
constexpr UINT ICMODE_FASTCOMPRESS = 5;
constexpr UINT ICMODE_DRAW = 8;

constexpr UINT ICM_CONFIGURE = 0x500A;
constexpr UINT ICM_ABOUT = 0x500B;
constexpr UINT ICM_COMPRESS_QUERY = 0x4006;
constexpr std::intptr_t ICMF_CONFIGURE_QUERY = 1;
constexpr std::intptr_t ICMF_ABOUT_QUERY = 1;

constexpr LRESULT ICERR_OK = 0;
constexpr LRESULT ICERR_UNSUPPORTED = -1;
constexpr LRESULT ICERR_BADFORMAT = -2;
constexpr LRESULT ICERR_MEMORY = -3;
constexpr LRESULT ICERR_INTERNAL = -4;
constexpr LRESULT ICERR_BADFLAGS = -5;
constexpr LRESULT ICERR_BADPARAM = -6;
constexpr LRESULT ICERR_BADSIZE = -7;
constexpr LRESULT ICERR_BADHANDLE = -8;
constexpr LRESULT ICERR_ERROR = -100;

// dwQuality of -1: let the compressor use its own default.
constexpr DWORD ICQUALITY_DEFAULT = 0xFFFFFFFFu;
constexpr DWORD ICQUALITY_HIGH = 10000;
constexpr DWORD ICVERSION = 0x0104;

// ICINFO.dwFlags.
constexpr DWORD VIDCF_QUALITY = 0x0001;   // dwQuality changes the output
constexpr DWORD VIDCF_CRUNCH = 0x0002;    // can aim at a data rate
constexpr DWORD VIDCF_TEMPORAL = 0x0004;  // frames refer to earlier frames

#pragma pack(push, 1)
struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

// The stream header (AVISTREAMINFOA), 140 bytes.
struct AVISTREAMINFO {
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    DWORD dwFlags = 0;
    DWORD dwCaps = 0;
    WORD wPriority = 0;
    WORD wLanguage = 0;
    DWORD dwScale = 0;
    DWORD dwRate = 0;  // dwRate / dwScale positions per second
    DWORD dwStart = 0;
    DWORD dwLength = 0;
    DWORD dwInitialFrames = 0;
    DWORD dwSuggestedBufferSize = 0;
    DWORD dwQuality = 0;
    DWORD dwSampleSize = 0;
    RECT rcFrame;
    DWORD dwEditCount = 0;
    DWORD dwFormatChangeCount = 0;
    char szName[64] = {};
};

// The format of a sound stream (WAVEFORMATEX), 18 bytes. Only plain PCM (WAVE_FORMAT_PCM) is written.
constexpr WORD WAVE_FORMAT_PCM = 1;
struct WaveFormatEx {
    WORD wFormatTag = 0;
    WORD nChannels = 0;
    DWORD nSamplesPerSec = 0;
    DWORD nAvgBytesPerSec = 0;
    WORD nBlockAlign = 0;  // bytes of one sample of every channel
    WORD wBitsPerSample = 0;
    WORD cbSize = 0;
};

// A compressor's description (ICINFO), 568 bytes; the texts are UTF-16.
struct ICINFO {
    DWORD dwSize = 0;
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    DWORD dwFlags = 0;
    DWORD dwVersion = 0;
    DWORD dwVersionICM = 0;
    char16_t szName[16] = {};
    char16_t szDescription[128] = {};
    char16_t szDriver[128] = {};
};
#pragma pack(pop)

// The WAVEFORMATEX of plain PCM with its derived fields filled in.
constexpr WaveFormatEx pcmWaveFormat(WORD channels, DWORD samplesPerSec, WORD bitsPerSample) {
    WaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = samplesPerSec;
    f.wBitsPerSample = bitsPerSample;
    f.nBlockAlign = static_cast<WORD>(channels * bitsPerSample / 8);
    f.nAvgBytesPerSec = samplesPerSec * f.nBlockAlign;
    return f;
}

static_assert(sizeof(WaveFormatEx) == 18, "WAVEFORMATEX is 18 bytes on disk");
static_assert(sizeof(AVISTREAMINFO) == 140, "the stream header keeps its Windows layout");
static_assert(sizeof(ICINFO) == 568, "the compressor description keeps its Windows layout");

// How a stream is compressed. lpFormat and lpParms hold what a compressor attaches (their sizes are the
// vectors' sizes, cbFormat and cbParms in Windows); AVISaveOptionsFree empties them.
struct AVICOMPRESSOPTIONS {
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    DWORD dwKeyFrameEvery = 0;  // with AVICOMPRESSF_KEYFRAMES
    DWORD dwQuality = 0;        // 0..10000, or ICQUALITY_DEFAULT
    DWORD dwBytesPerSecond = 0;
    DWORD dwFlags = 0;
    std::vector<BYTE> lpFormat;
    std::vector<BYTE> lpParms;
    DWORD dwInterleaveEvery = 0;
};

// A handler class identifier. No handler classes exist here: every open uses the built-in AVI handler.
struct CLSID {
    DWORD Data1 = 0;
    WORD Data2 = 0;
    WORD Data3 = 0;
    BYTE Data4[8] = {};
};

}  // namespace zelq
