// The component's tag lookups: a tag's address from its name and back.
#include "Buslink.h"
#include "scan/TagTable.h"

namespace buslink {

QVariant Buslink::TagAddressFromName(const QVariant& name) const
{
    const int i = TagIndexFromName(name.toString());
    return i > 0 ? TagTable()[i].REGAB : QVariant();
}

QVariant Buslink::TagNameFromAddress(const QVariant& Address) const
{
    const int i = TagIndexFromAddress(Address.toString());
    return i > 0 ? TagTable()[i].NAME : QVariant();
}

} // namespace buslink
