// The component's public conversion methods: thin forwards to the pure functions.
#include "conversions/NumericConversions.h"
#include "Buslink.h"

namespace buslink {

float Buslink::LongFloatToDec(qint32& dlong1, qint32& dlong2) const
{
    return buslink::LongFloatToDec(dlong1, dlong2);
}

qint16 Buslink::DecToLongFloat(float& Dec, qint32& dlong1, qint32& dlong2) const
{
    return buslink::DecToLongFloat(Dec, dlong1, dlong2);
}

qint32 Buslink::ByteToLong(const ByteArray& ByteArr, double& UnsignedLong) const
{
    return buslink::ByteToLong(ByteArr, UnsignedLong);
}

void Buslink::LongToByte(qint32& LongVar, ByteArray& ByteArr, qint16& StartByteIndex) const
{
    buslink::LongToByte(LongVar, ByteArr, StartByteIndex);
}

void Buslink::LongToUInteger(qint32& LongVar, IntArray& UIntegerArr, qint16& StartByteIndex) const
{
    buslink::LongToUInteger(LongVar, UIntegerArr, StartByteIndex);
}

void Buslink::SignedIntToLong(const QVariant& SgnIntr, qint32& Lng1) const
{
    Lng1 = buslink::SignedIntToLong(SgnIntr);
}

void Buslink::LongToSIgnedInt(const QVariant& Lng1, qint32& SgnIntr) const
{
    SgnIntr = buslink::LongToSIgnedInt(Lng1);
}

} // namespace buslink
