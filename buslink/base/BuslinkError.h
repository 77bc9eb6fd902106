#pragma once
// Errors that the component's methods and property setters raise to their caller.
#include <QString>
#include <stdexcept>

namespace buslink {

// Error numbers the component raises; hosts can tell them apart by number.
enum ErrorNumber {
    ErrOverflow = 6,
    ErrSubscriptOutOfRange = 9,
    ErrTypeMismatch = 13,
    ErrInvalidPropertyValue = 380,
    ErrDesignMode = 382,           // PortOpen set while the host is designing
    ErrInvalidPortNumber = 8002,   // no device for the port number, or it cannot be opened
    ErrPortAlreadyOpen = 8005,
    ErrPortNotOpen = 8012,
    ErrDeviceSettings = 8015,      // the line rejected the settings
    ErrNoDesignPages = 8100,       // a design-time window without the buslink-widgets library
};

class BuslinkError : public std::runtime_error {
public:
    BuslinkError(int number, const QString& text)
        : std::runtime_error(text.toStdString()), errorNumber(number), errorText(text) {}
    int number() const { return errorNumber; }
    QString text() const { return errorText; }

private:
    int errorNumber;
    QString errorText;
};

} // namespace buslink
