#include "media/exportformat.h"

namespace zelq {

QString exportSuffix(ExportFormat format) {
    switch (format) {
        case ExportFormat::Mp4:
            return QStringLiteral("mp4");
        case ExportFormat::WebM:
            return QStringLiteral("webm");
        case ExportFormat::Gif:
            return QStringLiteral("gif");
    }
    return {};
}

QString exportFormatName(ExportFormat format) {
    switch (format) {
        case ExportFormat::Mp4:
            return QStringLiteral("MP4");
        case ExportFormat::WebM:
            return QStringLiteral("WebM");
        case ExportFormat::Gif:
            return QStringLiteral("GIF");
    }
    return {};
}

std::optional<ExportFormat> exportFormatFromText(QStringView text) {
    for (ExportFormat f : {ExportFormat::Mp4, ExportFormat::WebM, ExportFormat::Gif})
        if (text.compare(exportSuffix(f), Qt::CaseInsensitive) == 0)
            return f;
    return std::nullopt;
}

}  // namespace zelq
