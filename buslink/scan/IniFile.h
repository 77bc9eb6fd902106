#pragma once
// Reading and writing single keys of the component's INI file the way a
// private profile works: sections and keys match without regard to case,
// values are taken as written (backslashes included), and a write changes only
// the one line, so comments and the other sections stay as they are.
#include <QByteArray>
#include <QString>

namespace buslink {

// The value of key in section of INI text, surrounding blanks and one pair of
// enclosing quotes removed; defaultValue when the section or key is missing.
QString IniValue(const QByteArray& content, const QString& section, const QString& key,
                 const QString& defaultValue);
// The INI text with key in section set to value; the section or key is added when missing.
QByteArray IniWithValue(const QByteArray& content, const QString& section, const QString& key,
                        const QString& value);

// IniValue of the file at path, cut to at most maxChars characters (a missing file gives the default).
QString ReadIniString(const QString& path, const QString& section, const QString& key,
                      const QString& defaultValue, int maxChars);
// Sets the key in the file at path, creating file and section when missing; the file is
// rewritten only when the value changes. False when it cannot be written.
bool WriteIniString(const QString& path, const QString& section, const QString& key, const QString& value);

} // namespace buslink
