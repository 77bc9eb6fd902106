#pragma once
// The two address forms that are read off the text alone: a reference number
// (40001, or its text) and a unit text ("3;40001", with up to five further
// numeric fields before the reference: "3;7;9;40001"). Tag names are resolved
// one floor up (scan/AddressResolution.h).
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

} // namespace buslink
