#pragma once
// How a caller's address becomes a unit and a reference number. Three forms
// are accepted: a reference number (40001, or its text), a unit text
// ("3;40001") and a tag name from the tag table.
#include <QVariant>

namespace buslink {

// Resolves any of the three forms. `unit` is changed only when the address names
// a unit (a unit text, or a tag whose address is one), so callers pass their
// default, or -1 to learn that none was named. False: not resolved (a unit text
// that does not parse, a name that is not in the tag table).
bool ResolveAddressForm(const QVariant& address, QVariant& reference, qint16& unit);

} // namespace buslink
