#pragma once
// The I/O database service: keeps process values under text keys. The
// component hands it every decoded read reply, asks it for values as a gateway
// slave and takes queued writes from it. Hosts may plug in their own service.
#include "../base/BoundedArray.h"
#include "../protocol/SlaveServing.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <map>

namespace buslink {

class IoDatabaseService : public GatewayValueStore {
public:
    // Stores values 1..count of `values` under `key` (text "unit;reference").
    void update(const QVariant& key, const VariantArray& values, int count) override = 0;
    // The reply watchdog's report of a unit whose replies were lost.
    virtual void updateLost(const QVariant& lostUnit, int code, int a, int b, int status) = 0;
    // Fills values from index 1 with `count` values kept under `key` (count may be fractional for float reads).
    qint16 read(const QVariant& key, VariantArray& values, const QVariant& count) override = 0;
    // The host's direct read through the component (ReadPLCValue).
    virtual qint16 readValue(const QVariant& key, QVariant& responseValue, qint16& numOfRegs, qint16& ioType,
                             qint32& ioIdx) = 0;
    // Hands out the next queued write; returns -1 (true) when it filled the four arguments, else 0.
    virtual qint16 nextQueuedWrite(QVariant& address, QVariant& value, qint16& size, qint16& ioType) = 0;
};

// The in-process store. Values are kept per point: an update of n values under
// "1;40001" sets the points 1;40001 .. 1;40000+n, so any later read by the key
// of one of them finds it. Keys that are not "unit;number" keep their values as given.
class InMemoryIoDatabase : public QObject, public IoDatabaseService {
    Q_OBJECT
public:
    struct QueuedWrite {
        QVariant address;
        QVariant value;
        qint16 size = 1;
        qint16 ioType = 0;
    };
    struct LostReport {
        QVariant unit;
        int code, a, b, status;
    };

    explicit InMemoryIoDatabase(QObject* parent = nullptr);

    void update(const QVariant& key, const VariantArray& values, int count) override;
    void updateLost(const QVariant& lostUnit, int code, int a, int b, int status) override;
    qint16 read(const QVariant& key, VariantArray& values, const QVariant& count) override;
    qint16 readValue(const QVariant& key, QVariant& responseValue, qint16& numOfRegs, qint16& ioType,
                     qint32& ioIdx) override;
    qint16 nextQueuedWrite(QVariant& address, QVariant& value, qint16& size, qint16& ioType) override;

    // Host side.
    void queueWrite(const QueuedWrite& write) { queue.append(write); }
    int queuedWrites() const { return int(queue.size()); }
    QVariant value(const QString& key) const;     // invalid when nothing is stored
    void setValue(const QString& key, const QVariant& v);
    QStringList keys() const;
    QList<LostReport> lostReports() const { return lost; }

signals:
    // Emitted after each update: the key and the values stored (1..count).
    void updated(const QString& key, const QVariantList& values);

private:
    QVariant pointValue(const QString& unit, qint64 number) const;

    // Points by unit text, then in reference order: a reply's values are neighbours, so storing
    // them walks the map once and makes no text per value.
    using UnitPoints = std::map<qint64, QVariant>;
    QHash<QString, UnitPoints> points;
    QHash<QString, QVariant> otherKeys;  // keys that are not "unit;number"
    QList<QueuedWrite> queue;
    QList<LostReport> lost;
    // The key of the last update and its parts: reads and scans store the same keys over
    // and over, and splitting the text each time costs more than storing the values.
    struct SplitKey {
        QString text;
        bool perPoint = false;
        QString unit;
        qint64 first = 0;
    };
    SplitKey lastKey;
};

} // namespace buslink
