#include "IoDatabaseService.h"

#include "base/VariantAssign.h"

#include <QMetaMethod>

#include <cmath>

namespace buslink {

namespace {
// Splits "unit;number" into its parts; false for any other key.
bool splitPointKey(const QString& key, QString& unit, qint64& number)
{
    const QStringView text(key);
    const qsizetype semicolon = text.lastIndexOf(QLatin1Char(';'));
    if (semicolon <= 0) return false;
    bool ok = false;
    number = text.mid(semicolon + 1).trimmed().toLongLong(&ok);
    if (!ok) return false;
    unit = text.left(semicolon).trimmed().toString();
    return true;
}
} // namespace

InMemoryIoDatabase::InMemoryIoDatabase(QObject* parent) : QObject(parent) {}

void InMemoryIoDatabase::update(const QVariant& key, const VariantArray& values, int count)
{
    const QString text = key.toString();
    if (text != lastKey.text) {
        lastKey.text = text;
        lastKey.perPoint = splitPointKey(text, lastKey.unit, lastKey.first);
    }
    const qint64 first = lastKey.first;
    const int last = values.hasIndex(1) ? qMin(count, values.upperBound()) : 0;
    if (lastKey.perPoint) {
        UnitPoints& unitPoints = points[lastKey.unit];
        auto at = unitPoints.lower_bound(first);
        for (int i = 1; i <= last; ++i, ++at) {
            const qint64 number = first + i - 1;
            if (at != unitPoints.end() && at->first == number) AssignVariant(at->second, values[i]);
            else at = unitPoints.emplace_hint(at, number, values[i]);
        }
    } else if (last >= 1) {
        otherKeys.insert(text, values[1]);
    }
    // The list is built only for someone listening: a plain store costs no copy of the reply.
    static const QMetaMethod updatedSignal = QMetaMethod::fromSignal(&InMemoryIoDatabase::updated);
    if (!isSignalConnected(updatedSignal)) return;
    QVariantList stored;
    for (int i = 1; i <= count && values.hasIndex(i); ++i) stored.append(values[i]);
    emit updated(text, stored);
}

void InMemoryIoDatabase::updateLost(const QVariant& lostUnit, int code, int a, int b, int status)
{
    lost.append(LostReport{lostUnit, code, a, b, status});
}

qint16 InMemoryIoDatabase::read(const QVariant& key, VariantArray& values, const QVariant& count)
{
    const int n = int(std::lround(count.toDouble()));
    QString unit;
    qint64 first = 0;
    const QString text = key.toString();
    const bool perPoint = splitPointKey(text, unit, first);
    const auto unitPoints = perPoint ? points.constFind(unit) : points.constEnd();
    const bool known = unitPoints != points.constEnd();
    auto at = known ? unitPoints->lower_bound(first) : UnitPoints::const_iterator();
    for (int i = 1; i <= n && values.hasIndex(i); ++i) {
        QVariant v;
        if (known) {
            const qint64 number = first + i - 1;
            while (at != unitPoints->end() && at->first < number) ++at;
            if (at != unitPoints->end() && at->first == number) v = at->second;
        } else if (!perPoint && i == 1) {
            v = otherKeys.value(text);
        }
        values[i] = v.isValid() ? v : QVariant(0);
    }
    return -1;
}

qint16 InMemoryIoDatabase::readValue(const QVariant& key, QVariant& responseValue, qint16& numOfRegs,
                                     qint16& ioType, qint32& ioIdx)
{
    Q_UNUSED(numOfRegs);
    Q_UNUSED(ioType);
    QString unit;
    qint64 first = 0;
    const QString text = key.toString();
    const QVariant v = splitPointKey(text, unit, first) ? pointValue(unit, first + qMax(0, ioIdx)) : otherKeys.value(text);
    if (!v.isValid()) return 0;
    responseValue = v;
    return -1;
}

qint16 InMemoryIoDatabase::nextQueuedWrite(QVariant& address, QVariant& value, qint16& size, qint16& ioType)
{
    if (queue.isEmpty()) return 0;
    const QueuedWrite w = queue.takeFirst();
    address = w.address;
    value = w.value;
    size = w.size;
    ioType = w.ioType;
    return -1;
}

QVariant InMemoryIoDatabase::pointValue(const QString& unit, qint64 number) const
{
    const auto unitPoints = points.constFind(unit);
    if (unitPoints == points.constEnd()) return QVariant();
    const auto at = unitPoints->find(number);
    return at == unitPoints->end() ? QVariant() : at->second;
}

QVariant InMemoryIoDatabase::value(const QString& key) const
{
    QString unit;
    qint64 number = 0;
    return splitPointKey(key, unit, number) ? pointValue(unit, number) : otherKeys.value(key);
}

void InMemoryIoDatabase::setValue(const QString& key, const QVariant& v)
{
    QString unit;
    qint64 number = 0;
    if (splitPointKey(key, unit, number)) points[unit][number] = v;
    else otherKeys.insert(key, v);
}

QStringList InMemoryIoDatabase::keys() const
{
    QStringList all = otherKeys.keys();
    for (auto unit = points.constBegin(); unit != points.constEnd(); ++unit)
        for (const auto& point : *unit) all.append(unit.key() + QLatin1Char(';') + QString::number(point.first));
    return all;
}

} // namespace buslink
