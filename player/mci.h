#pragma once
// The media-control vocabulary our player speaks: the modes a status query answers, the error codes its
// commands return and the notices a play with notify ends with. The numbers are the ones the program's
// callers have always compared against (a mode is read as the value minus MCI_MODE_NOT_READY).

#include <cstdint>

namespace zelq {

using MCIERROR = std::uint32_t;
using MCIDEVICEID = std::uint32_t;

constexpr MCIERROR MMSYSERR_NOERROR = 0;
constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;       // nothing is open
constexpr MCIERROR MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;   // e.g. a window for a device without video
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;           // no readable video in the file
constexpr MCIERROR MCIERR_NONAPPLICABLE_FUNCTION = MCIERR_BASE + 46;  // e.g. resume when not paused

constexpr std::uint32_t MCI_MODE_NOT_READY = 524;
constexpr std::uint32_t MCI_MODE_STOP = MCI_MODE_NOT_READY + 1;
constexpr std::uint32_t MCI_MODE_PLAY = MCI_MODE_NOT_READY + 2;
constexpr std::uint32_t MCI_MODE_RECORD = MCI_MODE_NOT_READY + 3;
constexpr std::uint32_t MCI_MODE_SEEK = MCI_MODE_NOT_READY + 4;
constexpr std::uint32_t MCI_MODE_PAUSE = MCI_MODE_NOT_READY + 5;
constexpr std::uint32_t MCI_MODE_OPEN = MCI_MODE_NOT_READY + 6;

// The items a status query can ask for.
enum class MciStatusItem { Mode, Position, Length };

// How a play with notify ended, as the completion notice carries it.
constexpr std::uint32_t MCI_NOTIFY_SUCCESSFUL = 1;  // played to the end
constexpr std::uint32_t MCI_NOTIFY_SUPERSEDED = 2;  // another play with notify replaced it
constexpr std::uint32_t MCI_NOTIFY_ABORTED = 4;     // stopped, rewound or closed before the end

}  // namespace zelq
