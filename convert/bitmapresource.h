#pragma once
// Pictures stored in the program's own resources. Thread-safe.

#include <QImage>
#include <QString>

namespace zelq {

// Loads the BMP resource of that name and type (both matched without regard to letter case) into the
// picture. A missing resource or a bad image leaves the picture as it was.
void LoadBitmapResource(QImage& picture, const QString& name, const QString& type);

}  // namespace zelq
