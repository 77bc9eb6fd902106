#pragma once
// The line under a failed connection's message that says what was tried and why
// it failed: the device that could not be opened, or the unit that did not
// answer on which port and settings. Pure functions of texts and numbers.
#include "base/TransactionOutcome.h"

#include <QString>

namespace kestrel2 {

// Where the tool looked for the actuator.
struct LinkDescription {
    int port = 0;       // the port number chosen in the connection window
    QString device;     // the device that number opens
    QString settings;   // e.g. 9600,e,8,1
    int address = 0;    // slave address
};

// "cannot open /dev/ttyUSB1: no such device". `componentError` is the text the component
// raised when it opened the port; `deviceExists` tells whether the device is there at all.
QString PortOpenCause(const QString& device, bool deviceExists, const QString& componentError);

// Why the unit's last transaction failed, by the component's outcome: "no reply from address 5
// on port 1 (/dev/ttyUSB0, 9600,e,8,1)", "a damaged reply from ...", "address 5 on port 1 (...)
// answered with exception 2 (illegal data address)" or "the serial line /dev/ttyUSB0 is gone".
QString NoReplyCause(const LinkDescription& link, buslink::Outcome outcome, int exceptionCode);

} // namespace kestrel2
