#include "RegisterWords.h"

#include <cstring>

namespace buslink {

RegisterPair Uint32ToRegisters(quint32 value, WordOrder order)
{
    const auto high = quint16(value >> 16);
    const auto low = quint16(value & 0xFFFF);
    return order == WordOrder::HighWordFirst ? RegisterPair{high, low} : RegisterPair{low, high};
}

quint32 RegistersToUint32(const RegisterPair& registers, WordOrder order)
{
    const quint32 high = order == WordOrder::HighWordFirst ? registers[0] : registers[1];
    const quint32 low = order == WordOrder::HighWordFirst ? registers[1] : registers[0];
    return (high << 16) | low;
}

RegisterPair Int32ToRegisters(qint32 value, WordOrder order)
{
    return Uint32ToRegisters(quint32(value), order);
}

qint32 RegistersToInt32(const RegisterPair& registers, WordOrder order)
{
    return qint32(RegistersToUint32(registers, order));  // two's complement, as every peer keeps it
}

RegisterPair FloatToRegisters(float value, WordOrder order)
{
    static_assert(sizeof(float) == sizeof(quint32), "IEEE single precision is 32 bits");
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return Uint32ToRegisters(bits, order);
}

float RegistersToFloat(const RegisterPair& registers, WordOrder order)
{
    const quint32 bits = RegistersToUint32(registers, order);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace buslink
