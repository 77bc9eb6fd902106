#include "IoDatabaseService.h"

#include <cmath>

namespace buslink {

namespace {
// Splits "unit;number" into its parts; false for any other key.
bool splitPointKey(const QString& key, QString& unit, qint64& number)
{
    const int semicolon = int(key.lastIndexOf(QLatin1Char(';')));
    if (semicolon <= 0) return false;
    bool ok = false;
    number = key.mid(semicolon + 1).trimmed().toLongLong(&ok);
    unit = key.left(semicolon).trimmed();
    return ok;
}

QString pointKey(const QString& unit, qint64 number)
{
    return unit + QLatin1Char(';') + QString::number(number);
}
} // namespace

InMemoryIoDatabase::InMemoryIoDatabase(QObject* parent) : QObject(parent) {}

void InMemoryIoDatabase::update(const QVariant& key, const VariantArray& values, int count)
{
    const QString text = key.toString();
    QVariantList stored;
    QString unit;
    qint64 first = 0;
    const bool perPoint = splitPointKey(text, unit, first);
    for (int i = 1; i <= count && values.hasIndex(i); ++i) {
        stored.append(values[i]);
        if (perPoint)
            points.insert(pointKey(unit, first + i - 1), values[i]);
    }
    if (!perPoint && !stored.isEmpty()) points.insert(text, stored.first());
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
    for (int i = 1; i <= n && values.hasIndex(i); ++i) {
        const QVariant v = perPoint ? points.value(pointKey(unit, first + i - 1)) : (i == 1 ? points.value(text) : QVariant());
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
    const QVariant v = splitPointKey(text, unit, first) ? points.value(pointKey(unit, first + qMax(0, ioIdx)))
                                                        : points.value(text);
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

QVariant InMemoryIoDatabase::value(const QString& key) const
{
    return points.value(key);
}

void InMemoryIoDatabase::setValue(const QString& key, const QVariant& v)
{
    points.insert(key, v);
}

} // namespace buslink
