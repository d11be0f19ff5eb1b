#include "platform/autostart.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace zelq {

namespace {

const QString kEntryName = QStringLiteral("ZELQ屏幕录像助手");

// Characters that make the session's launcher split, expand or unquote an unquoted argument.
bool needsQuotes(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (QChar c : argument)
        if (reserved.contains(c)) return true;
    return argument.isEmpty();
}

// The escapes of every string value in a desktop entry, applied last: the reader undoes them first.
QString escapeStringValue(const QString& value) {
    QString out;
    for (QChar c : value) {
        switch (c.unicode()) {
            case u'\\': out += QStringLiteral("\\\\"); break;
            case u'\n': out += QStringLiteral("\\n"); break;
            case u'\t': out += QStringLiteral("\\t"); break;
            case u'\r': out += QStringLiteral("\\r"); break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

QString autostartEntryPath() {
    // Relative entries are invalid in XDG_CONFIG_DIRS and are skipped, as the session skips them.
    QString base = QStringLiteral("/etc/xdg");
    for (const QString& dir :
         qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir)) {
            base = dir;
            break;
        }
    }
    return QDir(base).filePath(QStringLiteral("autostart/") + kEntryName + QStringLiteral(".desktop"));
}

QString desktopExecValue(const QString& program) {
    QString argument;
    if (needsQuotes(program)) {
        argument = QStringLiteral("\"");
        for (QChar c : program) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                argument += QLatin1Char('\\');
            argument += c;
        }
        argument += QLatin1Char('"');
    } else {
        argument = program;
    }
    // A lone % would start a field code that the launcher replaces.
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return escapeStringValue(argument);
}

QByteArray runningProgramPath() {
    QByteArray path(4096, Qt::Uninitialized);
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), static_cast<size_t>(path.size()));
    return n > 0 && n < path.size() ? path.left(n) : QByteArray();
}

std::optional<QString> desktopProgramPath(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError() || text.isEmpty())
        return std::nullopt;
    return text;
}

bool writeAutostartEntry(const QString& program) {
    const QString path = autostartEntryPath();
    if (!QDir().mkpath(QFileInfo(path).path())) return false;
    const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n")
                             .arg(escapeStringValue(kEntryName), desktopExecValue(program));
    // Written aside and renamed, so a session starting meanwhile never reads half an entry.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) return false;
    return file.commit();
}

bool removeAutostartEntry() {
    const QString path = autostartEntryPath();
    QFile::remove(path);
    return !QFileInfo::exists(path);
}

}  // namespace zelq
