#include "profile.h"

#include <iconv.h>
#include <cerrno>
#include <sys/stat.h>

#include <QFile>
#include <QSaveFile>
#include <QStringConverter>
#include <QStringList>
#include <optional>

#include "textnum.h"

namespace zelq {

namespace {

// Decodes GBK (code page 936) through iconv. Bytes that are not GBK are skipped, so garbage still
// yields text and never an error.
QString decodeGbk(const QByteArray& bytes) {
    iconv_t cd = iconv_open("UTF-16LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return QString::fromLatin1(bytes);
    struct Closer {
        iconv_t cd;
        ~Closer() { iconv_close(cd); }
    } closer{cd};

    QByteArray out(bytes.size() * 2 + 16, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) break;  // cannot happen: two output bytes per input byte always suffice
        // EILSEQ or EINVAL: drop the offending byte and go on.
        ++in;
        --inLeft;
    }
    const auto written = static_cast<qsizetype>(outPtr - out.data());
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(out.constData()), written / 2);
}

QString decodeFile(const QByteArray& raw) {
    QByteArray bytes = raw;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) return text;
    return decodeGbk(bytes);
}

std::optional<QStringList> readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QString text = decodeFile(file.readAll());
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<QString> sectionOf(const QString& line) {
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('['))) return std::nullopt;
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

// The key of a "key=value" line, or nothing.
std::optional<QString> keyOf(const QString& line) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) return std::nullopt;
    return line.left(eq).trimmed();
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Index range [begin, end) of the lines that belong to the first section of that name; begin is the line
// after the header. Nothing when the section is missing.
std::optional<std::pair<qsizetype, qsizetype>> findSection(const QStringList& lines, const QString& section) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = sectionOf(lines[i]);
        if (!name || !sameName(*name, section)) continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !sectionOf(lines[end])) ++end;
        return std::make_pair(i + 1, end);
    }
    return std::nullopt;
}

QString unquote(QString value) {
    value = value.trimmed();
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first) {
            value = value.mid(1, value.size() - 2);
        }
    }
    return value;
}

// A file whose write bits are all cleared is read-only for us, even for root, as it was for the
// program's Windows users.
bool isReadOnlyFile(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

ProfileFile::ProfileFile(QString path) : path_(std::move(path)) {}

QString ProfileFile::readString(const QString& section, const QString& key, const QString& defaultValue) const {
    const auto lines = readLines(path_);
    if (!lines) return defaultValue.left(kMaxValueLength);
    const auto range = findSection(*lines, section);
    if (!range) return defaultValue.left(kMaxValueLength);
    for (qsizetype i = range->first; i < range->second; ++i) {
        const auto k = keyOf((*lines)[i]);
        if (!k || !sameName(*k, key)) continue;
        const QString& line = (*lines)[i];
        return unquote(line.mid(line.indexOf(QLatin1Char('=')) + 1)).left(kMaxValueLength);
    }
    return defaultValue.left(kMaxValueLength);
}

bool ProfileFile::readBool(const QString& section, const QString& key, bool defaultValue) const {
    const auto number = parseInteger(readString(section, key, QString()));
    return number ? *number != 0 : defaultValue;
}

bool ProfileFile::writeString(const QString& section, const QString& key, const QString& value) {
    if (isReadOnlyFile(path_)) return false;
    QStringList lines;
    if (QFile::exists(path_)) {
        auto existing = readLines(path_);
        // A file we cannot read must not be replaced by one holding a single key.
        if (!existing) return false;
        lines = std::move(*existing);
    }
    // A line break in a value would split it into lines of its own on the next read.
    QString flat = value;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString entry = key + QLatin1Char('=') + flat;

    if (const auto range = findSection(lines, section)) {
        qsizetype insertAt = range->first;
        bool replaced = false;
        for (qsizetype i = range->first; i < range->second; ++i) {
            const auto k = keyOf(lines[i]);
            if (k && sameName(*k, key)) {
                lines[i] = entry;
                replaced = true;
                break;
            }
            if (!lines[i].trimmed().isEmpty()) insertAt = i + 1;
        }
        if (!replaced) lines.insert(insertAt, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
        lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    }

    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool ProfileFile::writeBool(const QString& section, const QString& key, bool value) {
    return writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace zelq
