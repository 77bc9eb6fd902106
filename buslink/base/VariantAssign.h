#pragma once
// Storing the values of a reply in variants, the cheap way where it can be.
#include <QVariant>

namespace buslink {

// target = value, written in place when target already holds an unshared whole number
// that is not null. (A variant made from the type alone is a null int; writing into it
// would leave it null, so it takes a new variant instead.)
inline void SetWholeNumber(QVariant& target, int value)
{
    if (target.metaType() == QMetaType::fromType<int>() && target.isDetached() && !target.data_ptr().is_null)
        *static_cast<int*>(const_cast<void*>(target.constData())) = value;
    else
        target = QVariant(value);
}

// target = source. A whole number onto a whole number is written in place: a full
// variant copy goes through the type's copy machinery, and this runs for every value
// of every reply a read or a scan takes.
inline void AssignVariant(QVariant& target, const QVariant& source)
{
    if (source.metaType() == QMetaType::fromType<int>() && !source.data_ptr().is_null)
        SetWholeNumber(target, *static_cast<const int*>(source.constData()));
    else
        target = source;
}

} // namespace buslink
