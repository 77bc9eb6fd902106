#pragma once
// An array that knows its lower bound, so callers can pass arrays indexed from 1
// (or 0) and an index outside the bounds raises a subscript error instead of
// touching memory it does not own.
#include "BuslinkError.h"

#include <QVariant>
#include <vector>

namespace buslink {

template <typename T>
class BoundedArray {
public:
    BoundedArray() = default;
    // Elements lower..upper inclusive; upper < lower gives an empty array with that lower bound.
    BoundedArray(int lower, int upper) { redim(lower, upper); }

    void redim(int lower, int upper)
    {
        lowest = lower;
        items.assign(upper >= lower ? size_t(upper - lower + 1) : 0, T());
    }
    int lowerBound() const { return lowest; }
    int upperBound() const { return lowest + int(items.size()) - 1; }
    int size() const { return int(items.size()); }
    bool isEmpty() const { return items.empty(); }
    bool hasIndex(int i) const { return i >= lowest && i <= upperBound(); }

    T& operator[](int i) { check(i); return items[size_t(i - lowest)]; }
    const T& operator[](int i) const { check(i); return items[size_t(i - lowest)]; }
    T& at(int i) { return (*this)[i]; }
    const T& at(int i) const { return (*this)[i]; }

    const std::vector<T>& values() const { return items; }

private:
    // The test stays inline on every access; only the throw is out of line.
    void check(int i) const
    {
        if (Q_UNLIKELY(!hasIndex(i))) outOfRange();
    }
    [[noreturn]] Q_DECL_COLD_FUNCTION static void outOfRange()
    {
        throw BuslinkError(ErrSubscriptOutOfRange, QStringLiteral("Subscript out of range"));
    }

    int lowest = 0;
    std::vector<T> items;
};

using VariantArray = BoundedArray<QVariant>;
using ByteArray = BoundedArray<quint8>;
using IntArray = BoundedArray<qint32>;

} // namespace buslink
