#pragma once
// The kinds of file a recording can be shared as. Any thread (values only).

#include <QString>
#include <QStringView>
#include <optional>

namespace zelq {

enum class ExportFormat { Mp4, WebM, Gif };

// The file-name suffix without its dot: "mp4", "webm", "gif".
QString exportSuffix(ExportFormat format);
// The name the user is shown: "MP4", "WebM", "GIF".
QString exportFormatName(ExportFormat format);
// The format a suffix or a name stands for, in any letter case ("mp4", "WebM", "GIF"); none otherwise.
std::optional<ExportFormat> exportFormatFromText(QStringView text);

// A GIF keeps at most this many pictures a second and is at most this wide: it has no inter-frame
// compression, so every further picture and pixel costs its full size.
constexpr int kGifMaxRate = 15;
constexpr int kGifMaxWidth = 960;

}  // namespace zelq
