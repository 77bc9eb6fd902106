// The master in ASCII framing against an independent slave (pymodbus) on a
// linked pseudo-terminal pair (9600,n,8,1: pyserial refuses even parity on a
// pseudo-terminal): every function code, value types, address forms,
// broadcasts, the largest read and an exception reply.
#include "PeerSuiteSteps.h"
#include "PeerProcess.h"
#include "PtyPair.h"
#include "shell/Buslink.h"

#include <QtTest>

using namespace buslink;

class TestMasterPymodbus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void reads_data();
    void reads();
    void writes_data();
    void writes();
    void valueTypes_data();
    void valueTypes();
    void broadcastWrite();
    void exceptionReply();

private:
    qint16 read(const QVariant& address, VariantArray& v, int count, qint16 type = ioWord)
    {
        return peersuite::read(*link, address, v, count, type);
    }
    qint16 write(const QVariant& address, VariantArray& v, int count, qint16 type = ioWord)
    {
        return peersuite::write(*link, address, v, count, type);
    }

    std::unique_ptr<SocatPair> line;
    PeerProcess peer;
    std::unique_ptr<Buslink> link;
};

void TestMasterPymodbus::initTestCase()
{
    line = std::make_unique<SocatPair>();
    QVERIFY(line->isValid());
    QVERIFY2(peer.start(PeerProcess::python(),
                        {PeerProcess::sourceDir() + "/master/peers/pymodbus_ascii_slave.py", line->endB(), "1"}),
             qPrintable(peer.errorText()));
    link = std::make_unique<Buslink>();
    link->InitProperties();
    link->setModBusMode(Ascii);
    link->setDevicePath(line->endA());
    link->setSettings("9600,n,8,1");
    link->setPortOpen(true);
}

void TestMasterPymodbus::cleanupTestCase()
{
    link.reset();
    peer.stop();
}

void TestMasterPymodbus::init()
{
    link->setCommBusy(false);
}

void TestMasterPymodbus::reads_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVariantList>("values");
    const auto series = [](int first, int n, int step) {
        QVariantList v;
        for (int i = 0; i < n; ++i) v << first + i * step;
        return v;
    };
    QTest::newRow("fc3 40001 x25") << QVariant(40001) << 25 << series(0, 25, 1);
    QTest::newRow("fc3 largest read, 125 registers") << QVariant("400001") << 125 << series(0, 125, 1);
    QTest::newRow("fc3 unit text 1;40100") << QVariant("1;40100") << 1 << QVariantList{99};
    QTest::newRow("fc4 30011 x4") << QVariant(30011) << 4 << series(1010, 4, 1);
    QTest::newRow("fc1 coils 00001 x7") << QVariant("00001") << 7 << QVariantList{1, 0, 0, 1, 0, 0, 1};
    QTest::newRow("fc2 inputs 100001 x5") << QVariant(100001) << 5 << QVariantList{0, 1, 0, 1, 0};
}

void TestMasterPymodbus::reads()
{
    QFETCH(QVariant, address);
    QFETCH(int, count);
    QFETCH(QVariantList, values);
    VariantArray v(1, count);
    QCOMPARE(read(address, v, count), qint16(-1));
    for (int i = 0; i < count; ++i) QCOMPARE(v[i + 1].toInt(), values[i].toInt());
}

void TestMasterPymodbus::writes_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<QVariantList>("values");
    QTest::newRow("fc5 coil 00002 on") << QVariant("00002") << QVariantList{1};
    QTest::newRow("fc15 nine coils from 201") << QVariant(201) << QVariantList{1, 0, 1, 1, 0, 1, 0, 0, 1};
    QTest::newRow("fc6 40301 = 1234") << QVariant(40301) << QVariantList{1234};
    QTest::newRow("fc16 five registers at 400311") << QVariant("400311") << QVariantList{1, 2, 65535, 4, 5};
}

void TestMasterPymodbus::writes()
{
    QFETCH(QVariant, address);
    QFETCH(QVariantList, values);
    peersuite::writeReadsBack(*link, address, values);
}

void TestMasterPymodbus::valueTypes_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariantList>("values");
    QTest::newRow("ioFloat") << QVariant(40401) << int(ioFloat) << QVariantList{7.5};
    QTest::newRow("ioDFloat") << QVariant(40411) << int(ioDFloat) << QVariantList{-2.5, 1000.25};
    QTest::newRow("ioSignedWord") << QVariant(40421) << int(ioSignedWord) << QVariantList{-1, 32767};
}

void TestMasterPymodbus::valueTypes()
{
    QFETCH(QVariant, address);
    QFETCH(int, type);
    QFETCH(QVariantList, values);
    const int n = int(values.size());
    VariantArray a(1, n);
    for (int i = 0; i < n; ++i) a[i + 1] = values[i];
    QCOMPARE(write(address, a, n, qint16(type)), qint16(-1));
    VariantArray back(1, 2 * n);
    QCOMPARE(read(address, back, n, qint16(type)), qint16(-1));
    for (int i = 0; i < n; ++i) QVERIFY(qFuzzyCompare(back[i + 1].toDouble(), values[i].toDouble()));
}

void TestMasterPymodbus::broadcastWrite()
{
    VariantArray a(1, 1);
    a[1] = 4321;
    QCOMPARE(write("0;40501", a, 1), qint16(-1));
    VariantArray back(1, 1);
    QTRY_VERIFY_WITH_TIMEOUT(read(40501, back, 1) == -1 && back[1].toInt() == 4321, 3000);
}

void TestMasterPymodbus::exceptionReply()
{
    VariantArray v(1, 10);
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(read(40995, v, 10), qint16(0));
    QVERIFY(wall.elapsed() < 1000);
    QCOMPARE(link->LastExceptionCode(), qint16(2));
    QCOMPARE(read(40001, v, 1), qint16(-1));
}

QTEST_GUILESS_MAIN(TestMasterPymodbus)
#include "test_master_pymodbus.moc"
