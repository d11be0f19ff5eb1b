#pragma once
// An independent reader's view of a recording's pictures: ffmpeg decodes, our code does not.

#include <QImage>
#include <QString>

namespace zelq::test {

// The last frame of a recording as ffmpeg decodes it, width x height (the coded size), or a null image.
QImage lastFrameByFfmpeg(const QString& path, int width, int height);

}  // namespace zelq::test
