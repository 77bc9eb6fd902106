#pragma once
// IEEE 754 single-precision floats and 32-bit integers as two 16-bit registers,
// in either word order, bit for bit: no rounding beyond the float itself, and
// NaN, infinities and subnormal values pass unchanged. Within each register the
// bytes stay high byte first, as on the wire. Stateless; nothing fails.
#include <QtGlobal>

#include <array>

namespace buslink {

// Which register holds the high 16 bits of the 32-bit pattern.
enum class WordOrder {
    HighWordFirst,  // "big": the first register holds bits 31 to 16 (the usual Modbus order)
    LowWordFirst,   // "little": the first register holds bits 15 to 0
};

// The two registers in the order they lie on the device: [0] first, [1] second.
using RegisterPair = std::array<quint16, 2>;

RegisterPair Uint32ToRegisters(quint32 value, WordOrder order);
quint32 RegistersToUint32(const RegisterPair& registers, WordOrder order);

RegisterPair Int32ToRegisters(qint32 value, WordOrder order);
qint32 RegistersToInt32(const RegisterPair& registers, WordOrder order);

RegisterPair FloatToRegisters(float value, WordOrder order);
float RegistersToFloat(const RegisterPair& registers, WordOrder order);

} // namespace buslink
