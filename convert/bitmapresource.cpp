#include "bitmapresource.h"

#include <QDirIterator>
#include <QFile>

namespace zelq {

namespace {

// Resources live under ":/<TYPE>/<NAME>"; find the entry whose name matches without regard to case.
QString findEntry(const QString& folder, const QString& name) {
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (it.fileName().compare(name, Qt::CaseInsensitive) == 0) return it.filePath();
    }
    return {};
}

}  // namespace

void LoadBitmapResource(QImage& picture, const QString& name, const QString& type) {
    if (name.isEmpty() || type.isEmpty()) return;
    const QString folder = findEntry(QStringLiteral(":/"), type);
    if (folder.isEmpty()) return;
    const QString entry = findEntry(folder, name);
    if (entry.isEmpty()) return;
    QFile file(entry);
    if (!file.open(QIODevice::ReadOnly)) return;
    QImage loaded;
    if (loaded.loadFromData(file.readAll(), "BMP")) picture = loaded;
}

}  // namespace zelq
