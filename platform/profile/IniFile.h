#pragma once

#include "platform/Exception.h"

#include <QString>

namespace tovari {

// A profile file could not be written; the message names the file.
class EIniFileException : public Exception {
public:
    explicit EIniFileException(const QString& fileName);
    const QString& FileName() const { return fileName_; }

private:
    QString fileName_;
};

// A profile (INI) file with the Windows profile functions' semantics:
// - sections and keys match without regard to case; the first matching section and key count;
// - values are read trimmed of blanks, and one pair of enclosing quotes ("..." or '...') is dropped;
// - nothing is cached: every read reads the file, every write reads, changes and replaces it;
// - a new key goes after the last key of its section, a new section at the end of the file;
// - lines the program does not change stay byte for byte, line ends included; new lines take the line
//   end of the file's first line (CR LF, LF or CR), CR LF in a new file;
// - the text is UTF-8; a byte-order mark is kept.
// A missing or unreadable file reads as empty. Each write replaces the file atomically (temporary file in
// the same folder, then rename), so a failed write leaves the old file whole.
class TIniFile {
public:
    // Longest text value ReadString returns, in characters (the rest is cut off).
    static constexpr int MaxTextLength = 2047;

    explicit TIniFile(const QString& fileName) : fileName_(fileName) {}
    const QString& FileName() const { return fileName_; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // Signed decimal, or hexadecimal after "$" or "0x"/"0X" (up to 32 bits, two's complement); anything
    // else, an empty value included, gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // An integer as above; any value other than 0 is true.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

    // Each raises EIniFileException when the file cannot be written (or an existing file cannot be read
    // back first), and then leaves the file as it was.
    // Line breaks in a value become blanks; a value that reading would change (outer blanks, enclosing
    // quotes) is written in double quotes so that it reads back as it was.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    // Written as "1" or "0".
    void WriteBool(const QString& section, const QString& key, bool value);

private:
    QString fileName_;
};

}  // namespace tovari
