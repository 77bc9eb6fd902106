// Modbus TCP framing from byte tables: whole ADUs, a stream still arriving,
// headers that lie, and two ADUs in one segment.
#include "protocol/MbapFraming.h"

#include <QtTest>

using namespace buslink;

Q_DECLARE_METATYPE(MbapCut::Status)

class TestMbapFraming : public QObject {
    Q_OBJECT
private slots:
    void frame();
    void cut_data();
    void cut();
    void byteByByte();
};

void TestMbapFraming::frame()
{
    QCOMPARE(MbapFrame(0x1234, QByteArray::fromHex("010300000002")), QByteArray::fromHex("123400000006010300000002"));
    QCOMPARE(MbapFrame(0, QByteArray::fromHex("ff0302002a")), QByteArray::fromHex("000000000005ff0302002a"));
}

void TestMbapFraming::cut_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<MbapCut::Status>("status");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("transactionId");
    QTest::addColumn<QByteArray>("unitBytes");
    QTest::addColumn<QString>("problem");
    const auto hex = [](const char* t) { return QByteArray::fromHex(t); };
    const auto F = MbapCut::Frame, M = MbapCut::NeedMore, I = MbapCut::Invalid;
    QTest::newRow("a read request") << hex("000100000006010300000002") << F << 12 << 1 << hex("010300000002") << "";
    QTest::newRow("a reply with bytes after it") << hex("00070000000501030200")
                                                  + hex("2a0008") << F << 11 << 7 << hex("010302002a") << "";
    QTest::newRow("nothing yet") << QByteArray() << M << 0 << 0 << QByteArray() << "";
    QTest::newRow("header cut short") << hex("00010000") << M << 0 << 0 << QByteArray() << "";
    QTest::newRow("PDU still arriving") << hex("0001000000060103") << M << 0 << 0 << QByteArray() << "";
    QTest::newRow("protocol id 1") << hex("000100010006010300000002") << I << 0 << 0 << QByteArray() << "protocol id 1, not 0";
    QTest::newRow("length 0") << hex("000100000000") << I << 0 << 0 << QByteArray() << "length 0, not 2 to 254";
    QTest::newRow("length 1") << hex("00010000000101") << I << 0 << 0 << QByteArray() << "length 1, not 2 to 254";
    QTest::newRow("length 300") << hex("00010000012c01") << I << 0 << 0 << QByteArray() << "length 300, not 2 to 254";
    QTest::newRow("the largest: length 254") << hex("0009000000fe") + QByteArray(254, '\x01') << F << 260 << 9
                                             << QByteArray(254, '\x01') << "";
}

void TestMbapFraming::cut()
{
    QFETCH(QByteArray, stream);
    QFETCH(MbapCut::Status, status);
    QFETCH(int, length);
    QFETCH(int, transactionId);
    QFETCH(QByteArray, unitBytes);
    QFETCH(QString, problem);
    const MbapCut c = CutMbapFrame(stream);
    QCOMPARE(c.status, status);
    QCOMPARE(c.length, length);
    QCOMPARE(int(c.transactionId), transactionId);
    QCOMPARE(c.unitBytes, unitBytes);
    QCOMPARE(c.problem, problem);
}

// Two ADUs fed a byte at a time: each is found exactly when its last byte is in.
void TestMbapFraming::byteByByte()
{
    const QByteArray a = MbapFrame(1, QByteArray::fromHex("01030000000a"));
    const QByteArray b = MbapFrame(2, QByteArray::fromHex("110600010003"));
    const QByteArray line = a + b;
    QByteArray buffer;
    QList<int> found;
    for (char c : line) {
        buffer.append(c);
        const MbapCut cut = CutMbapFrame(buffer);
        QVERIFY(cut.status != MbapCut::Invalid);
        if (cut.status == MbapCut::Frame) {
            found << cut.transactionId;
            buffer.remove(0, cut.length);
        }
    }
    QCOMPARE(found, (QList<int>{1, 2}));
    QVERIFY(buffer.isEmpty());
}

QTEST_GUILESS_MAIN(TestMbapFraming)
#include "test_mbap_framing.moc"
