// The master against an independent RTU slave (libmodbus) on a linked
// pseudo-terminal pair: every function code the master sends, each value
// type, every address form (tag names from an SQLite tag database made here),
// broadcasts, the largest requests and the slave's exception replies.
#include "PeerSuiteSteps.h"
#include "PeerProcess.h"
#include "PtyPair.h"
#include "scan/TagTable.h"
#include "shell/Buslink.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace buslink;

namespace {

// The peer's data (zero-based): coil i on when i % 3 == 0, input i on when odd,
// input register i = 1000 + i, holding register i = i.
bool peerCoil(int i) { return i % 3 == 0; }
bool peerInput(int i) { return i % 2 == 1; }

bool makeTagDatabase(const QString& folder)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "libmodbus-tags");
        db.setDatabaseName(folder + "/BLontrol.mdb");
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec("CREATE TABLE TagData (NAME TEXT, REG INTEGER, REGAB, Scale REAL, Offset REAL, DataType TEXT)");
            ok = q.exec("INSERT INTO TagData VALUES ('Level', 1, 40021, 1.0, 0.0, 'ioWord')") && ok;
            ok = q.exec("INSERT INTO TagData VALUES ('Flow', 2, '1;30003', 1.0, 0.0, 'ioWord')") && ok;
            db.close();
        }
    }
    QSqlDatabase::removeDatabase("libmodbus-tags");
    return ok;
}

} // namespace

class TestMasterLibmodbus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void reads_data();
    void reads();
    void writesEveryFunction_data();
    void writesEveryFunction();
    void valueTypes_data();
    void valueTypes();
    void broadcastWrite();
    void exceptionReplies_data();
    void exceptionReplies();

private:
    qint16 read(const QVariant& address, VariantArray& v, int count, qint16 type = ioWord)
    {
        return peersuite::read(*link, address, v, count, type);
    }
    qint16 write(const QVariant& address, VariantArray& v, int count, qint16 type = ioWord)
    {
        return peersuite::write(*link, address, v, count, type);
    }

    QTemporaryDir tags;
    std::unique_ptr<SocatPair> line;
    PeerProcess peer;
    std::unique_ptr<Buslink> link;
};

void TestMasterLibmodbus::initTestCase()
{
    line = std::make_unique<SocatPair>();
    QVERIFY(line->isValid());
    const QString slave = PeerProcess::binaryDir() + "/tests/master/buslink_libmodbus_slave";
    QVERIFY2(peer.start(slave, {line->endB(), "1", "9600,e,8,1"}), qPrintable(peer.errorText()));
    link = std::make_unique<Buslink>();
    link->InitProperties();
    link->setDevicePath(line->endA());
    link->setSettings("9600,e,8,1");
    link->setPortOpen(true);
    QVERIFY(makeTagDatabase(tags.path()));
    DatabaseFolder() = tags.path() + "/";
    LoadTagTable();
}

void TestMasterLibmodbus::cleanupTestCase()
{
    link.reset();
    peer.stop();
}

void TestMasterLibmodbus::init()
{
    link->setAddress(1);
    link->setCommBusy(false);
}

void TestMasterLibmodbus::reads_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVariantList>("values");

    const auto registers = [](int first, int n) {
        QVariantList v;
        for (int i = 0; i < n; ++i) v << first + i;
        return v;
    };
    const auto bits = [](bool (*on)(int), int first, int n) {
        QVariantList v;
        for (int i = 0; i < n; ++i) v << (on(first + i) ? 1 : 0);
        return v;
    };
    QTest::newRow("fc3 holding 40001 x25") << QVariant(40001) << 25 << registers(0, 25);
    QTest::newRow("fc3 six-digit 400001 x3") << QVariant("400001") << 3 << registers(0, 3);
    QTest::newRow("fc3 unit text 1;40010 x2") << QVariant("1;40010") << 2 << registers(9, 2);
    QTest::newRow("fc3 largest read, 125 registers") << QVariant(40001) << 125 << registers(0, 125);
    QTest::newRow("fc4 input registers 30001 x10") << QVariant(30001) << 10 << registers(1000, 10);
    QTest::newRow("fc4 six-digit 300005") << QVariant(300005) << 1 << registers(1004, 1);
    QTest::newRow("fc1 coils 00001 x20") << QVariant("00001") << 20 << bits(peerCoil, 0, 20);
    QTest::newRow("fc1 coils 1 x496, the largest") << QVariant(1) << 496 << bits(peerCoil, 0, 496);
    QTest::newRow("fc2 inputs 10001 x12") << QVariant(10001) << 12 << bits(peerInput, 0, 12);
    QTest::newRow("fc2 six-digit inputs 100004 x3") << QVariant("100004") << 3 << bits(peerInput, 3, 3);
    QTest::newRow("tag name") << QVariant("Level") << 2 << registers(20, 2);
    QTest::newRow("tag with a unit text") << QVariant("flow") << 1 << registers(1002, 1);
}

void TestMasterLibmodbus::reads()
{
    QFETCH(QVariant, address);
    QFETCH(int, count);
    QFETCH(QVariantList, values);
    VariantArray v(1, count);
    QCOMPARE(read(address, v, count), qint16(-1));
    for (int i = 0; i < count; ++i) QCOMPARE(v[i + 1].toInt(), values[i].toInt());
}

void TestMasterLibmodbus::writesEveryFunction_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<QVariantList>("values");
    const auto series = [](int first, int n, int modulo) {
        QVariantList v;
        for (int i = 0; i < n; ++i) v << (modulo ? (first + i) % modulo : first + i);
        return v;
    };
    QTest::newRow("fc5 coil 00002 on") << QVariant("00002") << QVariantList{1};
    QTest::newRow("fc5 coil 00004 off") << QVariant("00004") << QVariantList{0};
    QTest::newRow("fc15 ten coils from 101") << QVariant(101) << QVariantList{1, 1, 0, 1, 0, 0, 1, 1, 1, 0};
    QTest::newRow("fc15 200 coils from 1001") << QVariant(1001) << series(0, 200, 2);
    QTest::newRow("fc6 40101 = 300") << QVariant(40101) << QVariantList{300};
    QTest::newRow("fc6 six-digit 400102 = 65535") << QVariant("400102") << QVariantList{65535};
    QTest::newRow("fc16 three registers at 40201") << QVariant(40201) << QVariantList{7, 8, 9};
    QTest::newRow("fc16 123 registers at 40301") << QVariant(40301) << series(5000, 123, 0);
    QTest::newRow("fc16 unit text 1;40451") << QVariant("1;40451") << QVariantList{11, 12};
}

void TestMasterLibmodbus::writesEveryFunction()
{
    QFETCH(QVariant, address);
    QFETCH(QVariantList, values);
    peersuite::writeReadsBack(*link, address, values);
}

void TestMasterLibmodbus::valueTypes_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariantList>("values");
    QTest::newRow("ioFloat 12.3456") << QVariant(40501) << int(ioFloat) << QVariantList{12.3456};
    QTest::newRow("ioFloat -1.25") << QVariant(40503) << int(ioFloat) << QVariantList{-1.25};
    QTest::newRow("ioDFloat two values") << QVariant(40511) << int(ioDFloat) << QVariantList{100.5, -2.25};
    QTest::newRow("ioDFloat 0.1") << QVariant(40515) << int(ioDFloat) << QVariantList{0.1};
    QTest::newRow("ioSignedWord") << QVariant(40521) << int(ioSignedWord) << QVariantList{-2, 5, -32768};
    QTest::newRow("ioDWord behaves as ioWord") << QVariant(40531) << int(ioDWord) << QVariantList{65535};
}

void TestMasterLibmodbus::valueTypes()
{
    QFETCH(QVariant, address);
    QFETCH(int, type);
    QFETCH(QVariantList, values);
    const int n = int(values.size());
    VariantArray a(1, n);
    for (int i = 0; i < n; ++i) a[i + 1] = values[i];
    // A fixed-point write negative in its integer part needs a register below 0, which RTU cannot carry.
    const bool sendable = !(type == ioFloat && values[0].toDouble() < 0);
    QCOMPARE(write(address, a, n, qint16(type)), qint16(sendable ? -1 : 0));
    if (!sendable) return;
    VariantArray back(1, 2 * n);
    QCOMPARE(read(address, back, n, qint16(type)), qint16(-1));
    for (int i = 0; i < n; ++i) {
        const double expected = type == ioDFloat ? double(float(values[i].toDouble())) : values[i].toDouble();
        QVERIFY2(qAbs(back[i + 1].toDouble() - expected) <= qAbs(expected) * 1e-6,
                 qPrintable(back[i + 1].toString() + " vs " + values[i].toString()));
    }
}

void TestMasterLibmodbus::broadcastWrite()
{
    VariantArray a(1, 1);
    a[1] = 77;
    QCOMPARE(write("0;40601", a, 1), qint16(-1));
    QCOMPARE(link->CommBusy().toBool(), false);
    VariantArray back(1, 1);
    QCOMPARE(read("1;40601", back, 1), qint16(-1));
    QCOMPARE(back[1].toInt(), 77);
}

void TestMasterLibmodbus::exceptionReplies_data()
{
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("code");
    QTest::newRow("read beyond the registers") << false << QVariant(40995) << 10 << 2;
    QTest::newRow("registers written beyond the table") << true << QVariant(40998) << 5 << 2;
    QTest::newRow("coil beyond the table") << true << QVariant(2500) << 1 << 2;
}

void TestMasterLibmodbus::exceptionReplies()
{
    QFETCH(bool, isWrite);
    QFETCH(QVariant, address);
    QFETCH(int, count);
    QFETCH(int, code);
    VariantArray a(1, count);
    for (int i = 1; i <= count; ++i) a[i] = i;
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(isWrite ? write(address, a, count) : read(address, a, count), qint16(0));
    QVERIFY2(wall.elapsed() < 1000, "an exception reply ends the transaction at once");
    QCOMPARE(int(link->LastExceptionCode()), code);
    QCOMPARE(link->CommBusy().toBool(), false);
    VariantArray v(1, 1);
    QCOMPARE(read(40001, v, 1), qint16(-1));
    QCOMPARE(link->LastExceptionCode(), qint16(0));
}

QTEST_GUILESS_MAIN(TestMasterLibmodbus)
#include "test_master_libmodbus.moc"
