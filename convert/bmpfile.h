#pragma once
// Saving a picture as an uncompressed Windows BMP file: "BM" file header, 40-byte info header with a
// positive height (rows bottom-up), resolutions and colour counts 0, then the rows padded to 4 bytes.
// Pictures are saved at 24 bits whatever the display's depth. Thread-safe (no state).

#include <QImage>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zelq {

// Writes `picture` to `path`, replacing a file of that name. False when the picture is empty or the
// file could not be written in full; a half-written file is removed, so a full disk leaves no picture
// that does not load.
bool SaveBmp24(const QImage& picture, const QString& path);

// The BMP picture in `path`, or a null picture when the file is no BMP or ends before its pixels do:
// Qt pads a truncated file's missing rows, and such a picture is not the one the user has.
QImage LoadWholeBmp(const QString& path);

enum class PictureSaved {
    Saved,
    NoRoom,       // the disk would not hold it: nothing was written
    NotWritten,   // the write failed
    NotReplaced,  // an earlier file of that name could not go to the trash: it is still there, unchanged
};

// A 24-bit BMP file is these header bytes followed by the rows.
constexpr std::size_t kBmpHeaderBytes = 54;
// The size of a 24-bit BMP file of a width × height picture; 0 for an empty picture or one too large for
// the format's 32-bit sizes.
std::size_t Bmp24FileBytes(int width, int height);
// Writes the header of such a file (rows bottom-up, no resolution, no colour table) at `file`.
void WriteBmp24Header(std::uint8_t* file, int width, int height);

// Saves the whole file `bytes` at `path` as SaveBmp24InPlace saves a picture, with one write and no wait
// for the disk: a split writes thousands of these, and a crash still leaves each one old or new.
PictureSaved SaveFileInPlace(std::span<const std::uint8_t> bytes, const QString& path);

// Saves `picture` at `path` without ever destroying a file: it is written under a temporary name
// beside `path` and renamed into place when whole, and an earlier file of that name goes to the trash
// first. The free space is checked before anything is written.
PictureSaved SaveBmp24InPlace(const QImage& picture, const QString& path);

}  // namespace zelq
