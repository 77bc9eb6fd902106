#pragma once
// How a caller's address becomes a unit and a reference number. Three forms
// are accepted: a reference number (40001, or its text), a unit text
// ("3;40001", with up to five further numeric fields before the reference:
// "3;7;9;40001") and a tag name from the tag table.
#include <QString>
#include <QVariant>

namespace buslink {

// Splits a unit text. Without a ";" the reference is the address unchanged and
// nothing else changes. Otherwise the fields before the reference are decimal
// digits, each ending at the first ";", blank or non-digit; an empty field or
// one beyond the 16-bit range gives false. Outputs the text does not reach keep
// their values.
bool ParseUnitAddress(const QVariant& address, QVariant& reference, qint16& unit, qint16& f2, qint16& f3,
                      qint16& f4, qint16& f5, qint16& f6);
bool ParseUnitAddress(const QVariant& address, QVariant& reference, qint16& unit);

// True when the address reads as a number (a number, or a numeric text; blanks allowed).
bool IsNumericAddress(const QVariant& address);

// Resolves any of the three forms. `unit` is changed only when the address names
// a unit (a unit text, or a tag whose address is one), so callers pass their
// default, or -1 to learn that none was named. False: not resolved (a unit text
// that does not parse, a name that is not in the tag table).
bool ResolveAddressForm(const QVariant& address, QVariant& reference, qint16& unit);

} // namespace buslink
