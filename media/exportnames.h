#pragma once
// Where an export is written. Any thread (reads the folder only).

#include <QString>

#include "media/exportformat.h"

namespace zelq {

// Beside the recording with its stem and the format's suffix (1.avi → 1.mp4). When that name is taken
// the export never replaces the file: it is numbered as new recordings are, one past the highest numbered
// file with that suffix in the folder (1.mp4 and 4.mp4 there → 5.mp4).
QString exportTargetPath(const QString& recording, ExportFormat format);

}  // namespace zelq
