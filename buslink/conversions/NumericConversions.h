#pragma once
// Conversions between host values and Modbus register images: floats and
// 32-bit integers as register pairs, signed 16-bit values as their unsigned
// images. Stateless; failures raise BuslinkError (overflow, subscript, type mismatch).
#include "../base/BoundedArray.h"

#include <QVariant>

namespace buslink {

// Two register halves (high first) to a float; only the low 16 bits of each count.
float LongFloatToDec(qint32 dlong1, qint32 dlong2);
// A float to two register halves, via its 7-significant-digit decimal form, truncated. Always returns 0.
qint16 DecToLongFloat(float Dec, qint32& dlong1, qint32& dlong2);
// Four bytes at indexes 0..3, most significant first, to a signed 32-bit value; UnsignedLong gets 0..4294967295.
qint32 ByteToLong(const ByteArray& ByteArr, double& UnsignedLong);
// A 32-bit value to four bytes, low-order word first (each word high byte first), from StartByteIndex.
void LongToByte(qint32 LongVar, ByteArray& ByteArr, qint16 StartByteIndex);
// A 32-bit value to two 16-bit words, high-order word first, at elements StartByteIndex and +1.
void LongToUInteger(qint32 LongVar, IntArray& UIntegerArr, qint16 StartByteIndex);
// A signed 16-bit quantity to its unsigned image (negative v gives v + 65536).
qint32 SignedIntToLong(const QVariant& SgnIntr);
// An unsigned 16-bit image to its signed value (above 32767 gives v - 65536).
qint32 LongToSIgnedInt(const QVariant& Lng1);

} // namespace buslink
