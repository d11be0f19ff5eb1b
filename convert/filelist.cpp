#include "filelist.h"

#include <QDirIterator>
#include <algorithm>

#include "platform/textnum.h"

namespace zelq {

namespace {

QString asciiUpper(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return out;
}

int compareKeys(long long a, long long b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

void ListFolderFiles(const QString& folder, const QString& filter, QStringList& list) {
    const QString trimmed = filter.trimmed();
    const bool everything = trimmed.isEmpty() || trimmed == QStringLiteral(".*");
    const QString fragment = asciiUpper(filter);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (it.fileInfo().isDir()) continue;  // a link to a folder is still a folder
        if (everything || asciiUpper(name).contains(fragment)) list.append(folder + name);
    }
}

int CompareRecordingNames(const QStringList& list, int i, int j) {
    return compareKeys(leadingNumber(list.at(i)), leadingNumber(list.at(j)));
}

void SortRecordingNames(QStringList& names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return compareKeys(leadingNumber(a), leadingNumber(b)) < 0;
    });
}

}  // namespace zelq
