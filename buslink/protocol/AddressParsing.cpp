#include "AddressParsing.h"

#include <cmath>

namespace buslink {

namespace {

QString withoutLeadingBlanks(const QString& s)
{
    int i = 0;
    while (i < s.size() && s[i] == QLatin1Char(' ')) ++i;
    return s.mid(i);
}

// Reads the decimal field at the start of s: digits up to the first ";", blank or
// other character. `stop` is the index of that character (s.size() at the end).
bool readField(const QString& s, int& stop, qint16& value)
{
    int pos = 0;
    while (pos < s.size() && s[pos] >= QLatin1Char('0') && s[pos] <= QLatin1Char('9')) ++pos;
    if (pos == 0) return false;
    bool ok = false;
    const qlonglong v = s.left(pos).toLongLong(&ok);
    if (!ok || v > 32767) return false;
    value = qint16(v);
    stop = pos;
    return true;
}

} // namespace

bool ParseUnitAddress(const QVariant& address, QVariant& reference, qint16& unit, qint16& f2, qint16& f3,
                      qint16& f4, qint16& f5, qint16& f6)
{
    const QString text = address.toString();
    if (!text.contains(QLatin1Char(';'))) {
        reference = address;
        return true;
    }
    QString s = withoutLeadingBlanks(text);
    int stop = 0;
    if (!readField(s, stop, unit)) return false;
    s = withoutLeadingBlanks(s.mid(stop + 1));
    qint16* const extra[] = {&f2, &f3, &f4, &f5, &f6};
    for (qint16* field : extra) {
        if (!s.contains(QLatin1Char(';'))) break;
        if (!readField(s, stop, *field)) return false;
        s = withoutLeadingBlanks(s.mid(stop + 1));
    }
    reference = s;
    return true;
}

bool ParseUnitAddress(const QVariant& address, QVariant& reference, qint16& unit)
{
    qint16 f2 = 0, f3 = 0, f4 = 0, f5 = 0, f6 = 0;
    return ParseUnitAddress(address, reference, unit, f2, f3, f4, f5, f6);
}

bool IsNumericAddress(const QVariant& address)
{
    if (!address.isValid() || address.isNull()) return false;
    bool ok = false;
    double d = 0;
    switch (address.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
        return true;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        d = address.toString().trimmed().toDouble(&ok);
        break;
    case QMetaType::Bool:
        return true;
    default:
        d = address.toDouble(&ok);
        break;
    }
    return ok && std::isfinite(d);
}

} // namespace buslink
