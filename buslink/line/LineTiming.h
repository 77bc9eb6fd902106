#pragma once
// How long characters and silences last on a serial line at its settings.
// Pure arithmetic, so framing and tests can share it.
#include <QString>

namespace buslink {

struct LineSettings;

// Bits one character takes on the line: start bit, data bits, parity bit, stop bits.
double BitsPerCharacter(const LineSettings& settings);
// One character's time in microseconds.
double CharacterTimeUs(const LineSettings& settings);
// The silence that ends an RTU frame: 3.5 character times, and 1750 us at any rate
// above 19200 baud, where the character time would make it too short to measure.
int FrameSilenceUs(const LineSettings& settings);

// Where the bytes of a device come from, for how late they may reach the program
// after they crossed the line.
enum class DeviceKind { PseudoTerminal, UsbAdapter, Uart };
DeviceKind KindOfDevice(const QString& device);

// How much later than the line a device may hand bytes over: a USB adapter holds
// them until its latency timer runs out (16 ms unless the driver says otherwise), a
// UART until its receive FIFO's trigger level (14 characters) or its idle time-out.
// A silence shorter than the line's silence plus this cannot be told from a pause in
// delivery, so frame ends are measured against the sum.
int ReceiveLatencyUs(const QString& device, const LineSettings& settings);

} // namespace buslink
