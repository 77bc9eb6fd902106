#include "AddressResolution.h"

#include "TagTable.h"
#include "protocol/AddressParsing.h"

namespace buslink {

bool ResolveAddressForm(const QVariant& address, QVariant& reference, qint16& unit)
{
    if (IsNumericAddress(address)) {
        reference = address;
        return true;
    }
    const QString text = address.toString();
    QVariant unitText = address;
    if (!text.contains(QLatin1Char(';'))) {
        const int tag = TagIndexFromName(text);
        if (tag == 0) return false;
        unitText = TagTable()[tag].REGAB;
    }
    // A parsed unit is never -1, so a unit written in the address wins over the default.
    qint16 named = -1;
    if (!ParseUnitAddress(unitText, reference, named)) return false;
    if (named != -1) unit = named;
    return true;
}

} // namespace buslink
