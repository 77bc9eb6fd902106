#pragma once
// Storing the values of a reply in variants, the cheap way where it can be.
#include <QVariant>

namespace buslink {

// target = source. A whole number onto a whole number is written in place: a full
// variant copy goes through the type's copy machinery, and this runs for every value
// of every reply a read or a scan takes.
// (Writing through constData() of an unshared variant is what QVariant::setValue does.)
inline void AssignVariant(QVariant& target, const QVariant& source)
{
    const QMetaType type = source.metaType();
    if (type == QMetaType::fromType<int>() && target.metaType() == type && target.isDetached())
        *static_cast<int*>(const_cast<void*>(target.constData())) = *static_cast<const int*>(source.constData());
    else
        target = source;
}

// target = value, written in place when target already holds an unshared whole number.
inline void SetWholeNumber(QVariant& target, int value)
{
    if (target.metaType() == QMetaType::fromType<int>() && target.isDetached())
        *static_cast<int*>(const_cast<void*>(target.constData())) = value;
    else
        target = QVariant(value);
}

} // namespace buslink
