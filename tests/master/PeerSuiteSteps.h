#pragma once
// Steps shared by the interoperability suites (libmodbus and pymodbus peers):
// the component's blocking read and write, and a write checked by reading it back.
#include "shell/Buslink.h"

#include <QtTest>

namespace peersuite {

inline qint16 read(buslink::Buslink& link, const QVariant& address, buslink::VariantArray& v, int count,
                   qint16 type = buslink::ioWord)
{
    QVariant size = count;
    return link.ReadPLC(address, v, size, type);
}

inline qint16 write(buslink::Buslink& link, const QVariant& address, buslink::VariantArray& v, int count,
                    qint16 type = buslink::ioWord)
{
    qint16 n = qint16(count);
    return link.WritePLC(address, v, n, type);
}

// Writes the values at `address`, reads them back and compares them.
inline void writeReadsBack(buslink::Buslink& link, const QVariant& address, const QVariantList& values)
{
    const int n = int(values.size());
    buslink::VariantArray a(1, n);
    for (int i = 0; i < n; ++i) a[i + 1] = values[i];
    QCOMPARE(write(link, address, a, n), qint16(-1));
    buslink::VariantArray back(1, n);
    QCOMPARE(read(link, address, back, n), qint16(-1));
    for (int i = 0; i < n; ++i) QCOMPARE(back[i + 1].toInt(), values[i].toInt());
}

} // namespace peersuite
