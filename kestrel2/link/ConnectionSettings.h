#pragma once
// What the connection window's lists offer, the settings text built from the
// choices, and the checks made before the port is touched. Pure functions, so
// the window only moves values between its controls and these.
#include <QString>
#include <QStringList>
#include <optional>

namespace kestrel2 {

QStringList ComPortEntries();   // "1" ... "4"; the port number is the position + 1
QStringList BaudEntries();      // "300" ... "115200"
QStringList ParityEntries();    // "None", "Odd", "Even"
QStringList StopBitEntries();   // "1", "2"

// The user's choices; a list position of -1 means nothing is chosen.
struct ConnectionChoice {
    int comPort = -1;
    int baud = -1;
    int parity = -1;
    int stopBits = -1;
    QString address;
};

// Object names of the window's controls, as used for the focus after a failed check.
inline const QString cmbComPortName = QStringLiteral("cmbComPort");
inline const QString CmbBaudName = QStringLiteral("CmbBaud");
inline const QString cmbParityName = QStringLiteral("cmbParity");
inline const QString cmbStopName = QStringLiteral("cmbStop");
inline const QString txtaddressName = QStringLiteral("txtaddress");

struct ValidationFailure {
    QString message;
    QString focusControl;   // object name of the control that gets the keyboard focus
};

// The first failing check, in the order parity, baud, address, stop bits, port; nothing when all pass.
std::optional<ValidationFailure> ValidateConnection(const ConnectionChoice& choice);

// The slave address the text names: exactly a whole number 1 to 247 (blanks around it allowed).
std::optional<int> SlaveAddressFromText(const QString& text);

// "<baud>,<parity letter>,8,<stop bits>", e.g. 9600,e,8,1. Positions must be valid.
QString SettingsText(int baudPosition, int parityPosition, int stopPosition);

} // namespace kestrel2
