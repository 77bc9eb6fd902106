#pragma once
// Conversions of variant values the way the component's automation interface
// converts them: numbers or numeric texts, rounded to the nearest integer with
// halves to the even neighbour, range-checked. Failures raise BuslinkError.
#include "../base/BuslinkError.h"

#include <QVariant>
#include <cmath>

namespace buslink {

// The number a variant holds: a number, a numeric text (blanks allowed) or a boolean (-1/0).
// An empty variant counts as 0; anything else is a type mismatch.
inline double VariantNumber(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) return 0.0;
    if (v.typeId() == QMetaType::Bool) return v.toBool() ? -1.0 : 0.0;
    bool ok = false;
    const double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
    if (!ok || !std::isfinite(d)) throw BuslinkError(ErrTypeMismatch, QStringLiteral("Type mismatch"));
    return d;
}

inline qint64 RoundedInRange(double d, double lowest, double highest)
{
    const double r = std::nearbyint(d);  // the default rounding mode: ties to even
    if (!(r >= lowest && r <= highest)) throw BuslinkError(ErrOverflow, QStringLiteral("Overflow"));
    return qint64(r);
}

inline qint32 VariantToInt32(const QVariant& v)
{
    return qint32(RoundedInRange(VariantNumber(v), -2147483648.0, 2147483647.0));
}

inline qint16 VariantToInt16(const QVariant& v)
{
    return qint16(RoundedInRange(VariantNumber(v), -32768.0, 32767.0));
}

} // namespace buslink
