// The register image that the slave modes serve, and the host's copy of the last reply.
#include "conversions/VariantNumbers.h"
#include "Buslink.h"

namespace buslink {

QVariant Buslink::ReadModData(const QVariant& Address, VariantArray& MData, qint16& NumOfReg)
{
    if (NumOfReg == 0) NumOfReg = 1;
    const double first = VariantNumber(Address);
    for (int k = 1; k <= NumOfReg; ++k) {
        const qint32 index = qint32(RoundedInRange(first + k - 1, -2147483648.0, 2147483647.0));
        MData[k] = QVariant(qint32(IoImage[index]));
    }
    return {};
}

QVariant Buslink::SetModData(const QVariant& Address, VariantArray& MData)
{
    const qint32 index = VariantToInt32(Address);
    const qint32 value = VariantToInt32(MData[1]);
    IoImage[index] = value;
    return {};
}

void Buslink::IOData(VariantArray& DataArr, qint16 Size)
{
    for (int i = 1; i <= Size; ++i) DataArr[i] = ReplyData[i];
}

} // namespace buslink
