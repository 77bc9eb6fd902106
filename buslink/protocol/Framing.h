#pragma once
// The two ways a Modbus frame travels on a serial line: RTU (binary, CRC-16,
// ended by a silence) and ASCII (":" hex pairs LRC CR LF).

namespace buslink {

enum class Framing { Rtu, Ascii };

} // namespace buslink
