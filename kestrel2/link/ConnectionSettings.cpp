#include "ConnectionSettings.h"

#include <QRegularExpression>

namespace kestrel2 {

QStringList ComPortEntries() { return {"1", "2", "3", "4"}; }

QStringList BaudEntries()
{
    return {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
}

QStringList ParityEntries() { return {"None", "Odd", "Even"}; }

QStringList StopBitEntries() { return {"1", "2"}; }

namespace {
const QString AddressMessage = QStringLiteral("You must enter a Address in the range of 1 to 247");

bool chosen(int position, const QStringList& entries) { return position >= 0 && position < entries.size(); }
} // namespace

std::optional<int> SlaveAddressFromText(const QString& text)
{
    // Only plain digits: a fraction, an exponent or a sign is not an address.
    static const QRegularExpression wholeNumber(QStringLiteral("^\\s*([0-9]{1,9})\\s*$"));
    const QRegularExpressionMatch match = wholeNumber.match(text);
    if (!match.hasMatch()) return std::nullopt;
    const int value = match.captured(1).toInt();
    if (value < 1 || value > 247) return std::nullopt;
    return value;
}

std::optional<ValidationFailure> ValidateConnection(const ConnectionChoice& choice)
{
    if (!chosen(choice.parity, ParityEntries()))
        return ValidationFailure{QStringLiteral("You must select a parity option "), cmbParityName};
    if (!chosen(choice.baud, BaudEntries()))
        return ValidationFailure{QStringLiteral("You must enter a Baud rate "), CmbBaudName};
    if (choice.address.isEmpty() || !SlaveAddressFromText(choice.address))
        return ValidationFailure{AddressMessage, txtaddressName};
    if (!chosen(choice.stopBits, StopBitEntries()))
        return ValidationFailure{QStringLiteral("you must select the number of stop bits"), cmbStopName};
    if (!chosen(choice.comPort, ComPortEntries()))
        return ValidationFailure{QStringLiteral("you must select a Communications prot from your PC"), cmbComPortName};
    return std::nullopt;
}

QString SettingsText(int baudPosition, int parityPosition, int stopPosition)
{
    static const char parityLetters[] = {'n', 'o', 'e'};
    return QStringLiteral("%1,%2,8,%3")
        .arg(BaudEntries().value(baudPosition))
        .arg(QLatin1Char(parityLetters[qBound(0, parityPosition, 2)]))
        .arg(stopPosition + 1);
}

} // namespace kestrel2
