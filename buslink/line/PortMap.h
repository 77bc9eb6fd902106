#pragma once
// Port numbers (1 = first port) to device paths.
//
// The INI file's section [Ports] maps numbers to devices, one key per port:
//   [Ports]
//   1=/dev/ttyUSB0
//   2=/dev/ttyS0
// A number without an entry opens /dev/ttyUSB<n-1> (USB serial adapters are
// what field laptops have), or COM<n> on Windows.
#include <QString>

namespace buslink {

QString DevicePathForPort(int portNumber);
// The device a number opens when the INI file names none.
QString DefaultDevicePathForPort(int portNumber);

} // namespace buslink
