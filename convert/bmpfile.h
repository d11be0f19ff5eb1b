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

}  // namespace zelq
