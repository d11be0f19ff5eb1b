#pragma once
// The settings file: a Windows-style INI file read and written one key at a time, with the rules of the
// Windows private-profile-string functions that older copies of the program relied on:
//  - section and key names match without regard to letter case;
//  - on reading, blanks around a value and one pair of enclosing quotes are dropped, a key present with
//    an empty value reads as the empty text (not the default), and at most 2047 characters arrive;
//  - the file is created by the first write.
// Values are written in UTF-8. Each line is read on its own: as UTF-8 where it is valid UTF-8, else as
// GBK (a value carried over from a Chinese Windows system), so one stray byte changes nothing else. A
// line that is neither keeps its bytes: they are written back unchanged unless another value is written
// to that key. A write replaces the whole file atomically, so a crash or a full disk never leaves half a
// file, and a read-only file is left alone (the write just fails).
// Bad input never throws: unreadable or garbled files give the defaults.
//
// Not thread-safe; the main window is its only user, on the UI thread.

#include <QString>

namespace zelq {

class ProfileFile {
public:
    static constexpr int kMaxValueLength = 2047;

    explicit ProfileFile(QString path);

    const QString& path() const { return path_; }

    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
    // Booleans are stored as "1" and "0" and read as integers (decimal, or hexadecimal after "$", "0x",
    // "0X"): non-zero is true; an empty or non-numeric value gives the default.
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;

    // False when the file could not be written; the file on disk is then unchanged.
    bool writeString(const QString& section, const QString& key, const QString& value);
    bool writeBool(const QString& section, const QString& key, bool value);

private:
    QString path_;
};

}  // namespace zelq
