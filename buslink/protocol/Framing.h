#pragma once
// The ways a Modbus frame travels: RTU (binary, CRC-16, ended by a silence) and
// ASCII (":" hex pairs LRC CR LF) on serial lines and as serial device servers
// pass them over TCP, and MBAP (Modbus TCP: a header, no checksum).

namespace buslink {

enum class Framing { Rtu, Ascii, Mbap };

} // namespace buslink
