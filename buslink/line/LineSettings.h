#pragma once
// A serial line's settings text, "9600,e,8,1", and its parsed form.
#include <QString>

namespace buslink {

struct LineSettings {
    qint32 baudRate = 9600;
    char parity = 'e';     // n, e, o, m, s
    int dataBits = 8;      // 5..8
    QString stopBits = QStringLiteral("1");  // "1", "1.5" or "2"
};

// Parses "baud,parity,data,stop"; throws BuslinkError(ErrInvalidPropertyValue) when malformed.
LineSettings ParseLineSettings(const QString& text);
// True for pseudo-terminal devices (where baud rate and parity are accepted but mean nothing).
bool isPseudoTerminal(const QString& device);

} // namespace buslink
