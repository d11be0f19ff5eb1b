#pragma once
// Saving a picture as an uncompressed Windows BMP file: "BM" file header, 40-byte info header with a
// positive height (rows bottom-up), resolutions and colour counts 0, then the rows padded to 4 bytes.
// Pictures are saved at 24 bits whatever the display's depth. Thread-safe (no state).

#include <QImage>
#include <QString>

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

// Saves `picture` at `path` without ever destroying a file: it is written under a temporary name
// beside `path` and renamed into place when whole, and an earlier file of that name goes to the trash
// first. The free space is checked before anything is written.
PictureSaved SaveBmp24InPlace(const QImage& picture, const QString& path);

}  // namespace zelq
