#include "profile.h"

#include <iconv.h>
#include <cerrno>
#include <sys/stat.h>

#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QStringConverter>
#include <optional>

#include "textnum.h"

namespace zelq {

namespace {

// Decodes GBK (code page 936) through iconv; nothing when the bytes are not GBK.
std::optional<QString> decodeGbk(const QByteArray& bytes) {
    iconv_t cd = iconv_open("UTF-16LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    struct Closer {
        iconv_t cd;
        ~Closer() { iconv_close(cd); }
    } closer{cd};

    // Two output bytes per input byte always suffice.
    QByteArray out(bytes.size() * 2 + 16, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
        return std::nullopt;
    const auto written = static_cast<qsizetype>(outPtr - out.data());
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(out.constData()), written / 2);
}

// One line of the file as read. Each line is decoded on its own, so one stray byte in one value
// changes no other: UTF-8 where the line is valid UTF-8, else GBK (a line carried over from a Chinese
// Windows system); either is written back as UTF-8. A line that is neither reads with replacement
// characters, and its bytes are kept: as long as nobody writes another value there, they go back into
// the file unchanged.
struct Line {
    QString text;
    QByteArray raw;  // the bytes of a line that decodes as neither; empty otherwise
};

Line decodeLine(const QByteArray& raw) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(raw);
    if (!utf8.hasError())
        return {text, {}};
    if (auto gbk = decodeGbk(raw))
        return {*gbk, {}};
    return {QString::fromUtf8(raw), raw};
}

std::optional<QList<Line>> readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    // No GBK character has a line feed or a carriage return among its bytes, so lines split as bytes.
    QList<QByteArray> rawLines = bytes.split('\n');
    if (!rawLines.isEmpty() && rawLines.last().isEmpty())
        rawLines.removeLast();
    QList<Line> lines;
    for (QByteArray& raw : rawLines) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        lines << decodeLine(raw);
    }
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
std::optional<std::pair<qsizetype, qsizetype>> findSection(const QList<Line>& lines, const QString& section) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = sectionOf(lines[i].text);
        if (!name || !sameName(*name, section)) continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !sectionOf(lines[end].text)) ++end;
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

namespace {

// The line of `key` in `section`, or nothing.
std::optional<qsizetype> findKey(const QList<Line>& lines, const QString& section, const QString& key) {
    const auto range = findSection(lines, section);
    if (!range)
        return std::nullopt;
    for (qsizetype i = range->first; i < range->second; ++i) {
        const auto k = keyOf(lines[i].text);
        if (k && sameName(*k, key))
            return i;
    }
    return std::nullopt;
}

QString valueOf(const Line& line) {
    return unquote(line.text.mid(line.text.indexOf(QLatin1Char('=')) + 1)).left(ProfileFile::kMaxValueLength);
}

}  // namespace

QString ProfileFile::readString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    const auto lines = readLines(path_);
    const auto at = lines ? findKey(*lines, section, key) : std::nullopt;
    return at ? valueOf((*lines)[*at]) : defaultValue.left(kMaxValueLength);
}

bool ProfileFile::readBool(const QString& section, const QString& key, bool defaultValue) const {
    const auto number = parseInteger(readString(section, key, QString()));
    return number ? *number != 0 : defaultValue;
}

bool ProfileFile::writeString(const QString& section, const QString& key, const QString& value) {
    if (isReadOnlyFile(path_)) return false;
    QList<Line> lines;
    if (QFile::exists(path_)) {
        auto existing = readLines(path_);
        // A file we cannot read must not be replaced by one holding a single key.
        if (!existing) return false;
        lines = std::move(*existing);
    }
    // A line break in a value would split it into lines of its own on the next read.
    QString flat = value;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const Line entry{key + QLatin1Char('=') + flat, {}};

    if (const auto at = findKey(lines, section, key)) {
        // The value read back, written again, leaves the line as it is: bytes that decode as nothing
        // stay the bytes they were.
        if (valueOf(lines[*at]) == flat)
            return true;
        lines[*at] = entry;
    } else if (const auto range = findSection(lines, section)) {
        qsizetype insertAt = range->first;
        for (qsizetype i = range->first; i < range->second; ++i) {
            if (!lines[i].text.trimmed().isEmpty())
                insertAt = i + 1;
        }
        lines.insert(insertAt, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().text.trimmed().isEmpty())
            lines << Line{};
        lines << Line{QLatin1Char('[') + section + QLatin1Char(']'), {}} << entry;
    }

    QByteArray bytes;
    for (const Line& line : lines) bytes += (line.raw.isEmpty() ? line.text.toUtf8() : line.raw) + '\n';
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
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
