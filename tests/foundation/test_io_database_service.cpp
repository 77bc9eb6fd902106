// The in-memory I/O database service.
#include "scan/IoDatabaseService.h"

#include <QSignalSpy>
#include <QtTest>

using namespace buslink;

class TestIoDatabaseService : public QObject {
    Q_OBJECT
private slots:
    void updateStoresEveryPoint();
    void readFillsFromConsecutivePoints();
    void queuedWritesComeOutInOrder();
    void lostReportsAreKept();
};

void TestIoDatabaseService::updateStoresEveryPoint()
{
    InMemoryIoDatabase db;
    QSignalSpy updated(&db, &InMemoryIoDatabase::updated);
    VariantArray values(0, 10);
    values[1] = 42;
    values[2] = 43;
    values[3] = 44;
    db.update(QStringLiteral("1;40001"), values, 3);
    QCOMPARE(db.value("1;40001").toInt(), 42);
    QCOMPARE(db.value("1;40003").toInt(), 44);
    QVERIFY(!db.value("1;40004").isValid());
    QCOMPARE(updated.count(), 1);
    QCOMPARE(updated.at(0).at(1).toList().size(), 3);
    // A count beyond the array stores what the array holds and no more.
    db.update(QStringLiteral("2;30001"), values, 50);
    QCOMPARE(db.value("2;30010").toInt(), 0);
    QVERIFY(!db.value("2;30011").isValid());

    // An update that overlaps earlier points replaces them and keeps the rest.
    VariantArray later(0, 3);
    later[1] = 7;
    later[2] = 8;
    db.update(QStringLiteral("1;40003"), later, 2);
    QCOMPARE(db.value("1;40002").toInt(), 43);
    QCOMPARE(db.value("1;40003").toInt(), 7);
    QCOMPARE(db.value("1;40004").toInt(), 8);
    // The same key again replaces the values in place, whatever the old and new types,
    // and a copy taken before keeps its value.
    const QVariant held = db.value("1;40003");
    later[1] = 9;
    later[2] = QStringLiteral("text");
    db.update(QStringLiteral("1;40003"), later, 2);
    QCOMPARE(db.value("1;40003"), QVariant(9));
    QCOMPARE(db.value("1;40004"), QVariant(QStringLiteral("text")));
    later[2] = 5;
    db.update(QStringLiteral("1;40003"), later, 2);
    QCOMPARE(db.value("1;40004"), QVariant(5));
    QCOMPARE(held, QVariant(7));
    later[1] = 7;
    later[2] = 8;
    db.update(QStringLiteral("1;40003"), later, 2);
    // Keys that are not "unit;number" keep their first value as given; a spaced key names the same point.
    db.update(QStringLiteral("Tank level"), later, 2);
    QCOMPARE(db.value("Tank level").toInt(), 7);
    QCOMPARE(db.value(" 1 ; 40004").toInt(), 8);
    QStringList keys = db.keys();
    keys.sort();
    QCOMPARE(keys.size(), 15);
    QVERIFY(keys.contains("1;40004") && keys.contains("2;30010") && keys.contains("Tank level"));
}

void TestIoDatabaseService::readFillsFromConsecutivePoints()
{
    InMemoryIoDatabase db;
    db.setValue("1;3000", 7);
    db.setValue("1;3001", 8);
    VariantArray values(1, 3);
    QCOMPARE(db.read(QStringLiteral("1;3000"), values, 2.5), qint16(-1));  // fractional counts round
    QCOMPARE(values[1].toInt(), 7);
    QCOMPARE(values[2].toInt(), 8);
    QCOMPARE(values[3].toInt(), 0);  // missing points read as 0
    QVariant response;
    qint16 n = 1, type = 0;
    qint32 index = 1;
    QCOMPARE(db.readValue(QStringLiteral("1;3000"), response, n, type, index), qint16(-1));
    QCOMPARE(response.toInt(), 8);
    QCOMPARE(db.readValue(QStringLiteral("9;1"), response, n, type, index), qint16(0));
}

void TestIoDatabaseService::queuedWritesComeOutInOrder()
{
    InMemoryIoDatabase db;
    db.queueWrite({40001, 5, 1, 0});
    db.queueWrite({QStringLiteral("2;40010"), 6.5, 1, 2});
    QVariant address, value;
    qint16 size = 0, type = 0;
    QCOMPARE(db.nextQueuedWrite(address, value, size, type), qint16(-1));
    QCOMPARE(address.toInt(), 40001);
    QCOMPARE(db.nextQueuedWrite(address, value, size, type), qint16(-1));
    QCOMPARE(address.toString(), QStringLiteral("2;40010"));
    QCOMPARE(type, qint16(2));
    QCOMPARE(db.nextQueuedWrite(address, value, size, type), qint16(0));
}

void TestIoDatabaseService::lostReportsAreKept()
{
    InMemoryIoDatabase db;
    db.updateLost(3, 66, 1, 1, 9666);
    QCOMPARE(db.lostReports().size(), 1);
    QCOMPARE(db.lostReports().first().unit.toInt(), 3);
    QCOMPARE(db.lostReports().first().status, 9666);
}

QTEST_GUILESS_MAIN(TestIoDatabaseService)
#include "test_io_database_service.moc"
