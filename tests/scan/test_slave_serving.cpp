// Serving slave requests, as a table of byte vectors over the pure serving
// function: standard slave from the register image, gateway slave through the
// I/O database service, both framings, and the requests that get no reply.
#include "protocol/FrameCodec.h"
#include "scan/IoDatabaseService.h"
#include "protocol/SlaveServing.h"

#include <QtTest>

using namespace buslink;

namespace {

QByteArray rtu(const char* hex) { return AppendCRC(QByteArray::fromHex(hex)); }
QByteArray ascii(const char* hex) { return AsciiFrame(QByteArray::fromHex(hex)); }

using Cells = QList<QPair<int, int>>;              // image index, value
using Points = QList<QPair<QString, QVariant>>;    // service key, value

struct Step {
    QByteArray request;
    QByteArray reply;  // empty: no reply
    qint32 MAdd;
    qint16 quan;
};

} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(QList<Step>)
Q_DECLARE_METATYPE(Cells)
Q_DECLARE_METATYPE(Points)
Q_DECLARE_METATYPE(SlaveFraming)

class TestSlaveServing : public QObject {
    Q_OBJECT
private slots:
    void serving_data();
    void serving();
    void requestLength_data();
    void requestLength();
    void gatewayReadAsksTheServiceUnderTheKey();
    void garbageNeverReachesOutsideTheFrame();
};

void TestSlaveServing::serving_data()
{
    QTest::addColumn<SlaveFraming>("framing");
    QTest::addColumn<bool>("gateway");
    QTest::addColumn<Cells>("imageBefore");
    QTest::addColumn<Points>("serviceBefore");
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<Cells>("imageAfter");
    QTest::addColumn<Points>("serviceAfter");

    const auto R = SlaveFraming::Rtu;
    const auto A = SlaveFraming::Ascii;

    // Standard slave, own unit 1.
    QTest::newRow("read holding registers 40010, 40011")
        << R << false << Cells{{40010, 1234}, {40011, 0}} << Points{}
        << QList<Step>{{rtu("010300090002"), rtu("01030404D20000"), 3, 2}} << Cells{} << Points{};
    QTest::newRow("request for another unit: no reply, event with the function")
        << R << false << Cells{{40010, 1234}} << Points{}
        << QList<Step>{{rtu("020300090002"), {}, 3, 2}} << Cells{} << Points{};
    QTest::newRow("read input registers 30001..30003")
        << R << false << Cells{{30001, 1}, {30002, 0xBEEF}, {30003, 65535}} << Points{}
        << QList<Step>{{rtu("010400000003"), rtu("010406" "0001" "BEEF" "FFFF"), 4, 2}} << Cells{} << Points{};
    QTest::newRow("write coil 1, then read it back")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("01050000FF00"), rtu("01050000FF00"), 5, 2}, {rtu("010100000001"), rtu("01010101"), 1, 2}}
        << Cells{{1, 1}} << Points{};
    QTest::newRow("write coil with a value other than FF00 stores 0")
        << R << false << Cells{{3, 1}} << Points{}
        << QList<Step>{{rtu("010500020001"), rtu("010500020001"), 5, 2}} << Cells{{3, 0}} << Points{};
    QTest::newRow("read 8 coils: one data byte; only elements holding exactly 1 are ON")
        << R << false << Cells{{1, 1}, {3, 1}, {4, 2}, {8, 1}} << Points{}
        << QList<Step>{{rtu("010100000008"), rtu("01010185"), 1, 2}} << Cells{} << Points{};
    QTest::newRow("read 10 discrete inputs from 10001: two data bytes")
        << R << false << Cells{{10001, 1}, {10010, 1}} << Points{}
        << QList<Step>{{rtu("01020000000A"), rtu("0102020102"), 2, 2}} << Cells{} << Points{};
    QTest::newRow("write single register 40010")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("01060009012C"), rtu("01060009012C"), 6, 2}} << Cells{{40010, 300}} << Points{};
    QTest::newRow("write registers 40001, 40002")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("011000000002040" "00A000B"), rtu("011000000002"), 16, 4}}
        << Cells{{40001, 10}, {40002, 11}} << Points{};
    QTest::newRow("write 10 coils as packed bits")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("010F0000000A02CD01"), rtu("010F0000000A"), 15, 3}}
        << Cells{{1, 1}, {2, 0}, {3, 1}, {4, 1}, {5, 0}, {6, 0}, {7, 1}, {8, 1}, {9, 1}, {10, 0}} << Points{};
    QTest::newRow("write 2 coils with one 16-bit value each")
        << R << false << Cells{{2, 1}} << Points{}
        << QList<Step>{{rtu("010F000400020400010000"), rtu("010F00040002"), 15, 4}} << Cells{{5, 1}, {6, 0}}
        << Points{};
    QTest::newRow("bad CRC: no reply, event -2, nothing stored")
        << R << false << Cells{} << Points{}
        << QList<Step>{{QByteArray::fromHex("01060009012C0000"), {}, -2, 0}} << Cells{{40010, 0}} << Points{};
    QTest::newRow("bad CRC on a multiple write reports its quantity")
        << R << false << Cells{} << Points{}
        << QList<Step>{{QByteArray::fromHex("01100000000204000A000B0000"), {}, -2, 2}} << Cells{{40001, 0}}
        << Points{};
    QTest::newRow("function 7: no reply")
        << R << false << Cells{} << Points{} << QList<Step>{{rtu("010700000000"), {}, 7, 2}} << Cells{} << Points{};
    QTest::newRow("broadcast write is carried out, not answered")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("00060009002A"), {}, 6, 2}, {rtu("001000000001020007"), {}, 16, 3}}
        << Cells{{40010, 42}, {40001, 7}} << Points{};
    QTest::newRow("broadcast read is not answered")
        << R << false << Cells{{40001, 5}} << Points{} << QList<Step>{{rtu("000300000001"), {}, 3, 2}} << Cells{}
        << Points{};
    QTest::newRow("61 registers fit the reply buffer, 62 do not")
        << R << false << Cells{{40061, 0x0102}} << Points{}
        << QList<Step>{{rtu("01030000003D"), rtu(QByteArray("01037A" + QByteArray(120 * 2, '0') + "0102").constData()),
                        3, 2},
                       {rtu("01030000003E"), {}, 3, 2}}
        << Cells{} << Points{};
    QTest::newRow("984 bits fit the reply buffer, 985 do not")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("0101000003D8"), rtu(QByteArray("01017B" + QByteArray(123 * 2, '0')).constData()), 1, 2},
                       {rtu("0101000003D9"), {}, 1, 2}}
        << Cells{} << Points{};
    QTest::newRow("read past the last image element: no reply")
        << R << false << Cells{{50000, 9}} << Points{}
        << QList<Step>{{rtu("0103270F0001"), rtu("01030200" "09"), 3, 2}, {rtu("0103270F0002"), {}, 3, 2}} << Cells{}
        << Points{};
    QTest::newRow("write past the last image element: nothing changes, no reply")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("0110270F000204000100" "02"), {}, 16, 4}, {rtu("0106FFFF0001"), {}, 6, 2}}
        << Cells{{50000, 0}} << Points{};
    QTest::newRow("register value outside 0..65535: no reply")
        << R << false << Cells{{40001, 70000}, {40002, -1}} << Points{}
        << QList<Step>{{rtu("010300000001"), {}, 3, 2}, {rtu("010300010001"), {}, 3, 2}} << Cells{} << Points{};
    QTest::newRow("byte count that fits neither layout: nothing changes, no reply")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("01100000000203000A00"), {}, 16, 4}} << Cells{{40001, 0}} << Points{};

    // ASCII framing.
    QTest::newRow("ascii read holding register 40010")
        << A << false << Cells{{40010, 0}} << Points{}
        << QList<Step>{{":010300090001F2\r\n", ":0103020000FA\r\n", 3, 2}} << Cells{} << Points{};
    QTest::newRow("ascii write registers")
        << A << false << Cells{} << Points{}
        << QList<Step>{{ascii("0110000400020400640065"), ascii("011000040002"), 16, 4}}
        << Cells{{40005, 100}, {40006, 101}} << Points{};
    QTest::newRow("ascii lower-case digits are read like upper case")
        << A << false << Cells{{40010, 7}} << Points{}
        << QList<Step>{{":010300090001f2\r\n", ":0103020007F3\r\n", 3, 2}} << Cells{} << Points{};
    QTest::newRow("ascii bad LRC: event -2")
        << A << false << Cells{} << Points{} << QList<Step>{{":010300090001F3\r\n", {}, -2, 0}} << Cells{}
        << Points{};
    QTest::newRow("ascii text that is not hexadecimal fails the check")
        << A << false << Cells{} << Points{} << QList<Step>{{":01030009000GF2\r\n", {}, -2, 0}} << Cells{}
        << Points{};

    // Gateway slave: any unit, registers through the service under "unit;address".
    QTest::newRow("gateway read of 16-bit registers at 3000")
        << R << true << Cells{} << Points{{"1;3000", 7}, {"1;3001", 65535}}
        << QList<Step>{{rtu("01030BB80002"), rtu("01030400" "07FFFF"), 3, 2}} << Cells{} << Points{};
    QTest::newRow("gateway answers any unit with that unit")
        << R << true << Cells{} << Points{{"9;3005", 513}}
        << QList<Step>{{rtu("09030BBD0001"), rtu("0903020201"), 3, 2}} << Cells{} << Points{};
    QTest::newRow("gateway 32-bit integer at 5000 as two registers")
        << R << true << Cells{} << Points{{"1;5000", qint32(0x12345678)}}
        << QList<Step>{{rtu("010313880002"), rtu("01030412345678"), 3, 2}} << Cells{} << Points{};
    QTest::newRow("gateway negative 32-bit integer")
        << R << true << Cells{} << Points{{"1;5002", -2}}
        << QList<Step>{{rtu("0103138A0002"), rtu("010304FFFFFFFE"), 3, 2}} << Cells{} << Points{};
    QTest::newRow("gateway float at 7000 as two registers")
        << R << true << Cells{} << Points{{"1;7000", 100.0}}
        << QList<Step>{{rtu("01031B580002"), rtu("01030442C80000"), 3, 2}} << Cells{} << Points{};
    QTest::newRow("gateway odd register count for two-register values: no reply")
        << R << true << Cells{} << Points{{"1;5000", 1}} << QList<Step>{{rtu("010313880003"), {}, 3, 2}} << Cells{}
        << Points{};
    QTest::newRow("gateway bits at 1000 come from the image at the address itself")
        << R << true << Cells{{1000, 1}, {1002, 1}} << Points{}
        << QList<Step>{{rtu("010103E80003"), rtu("01010105"), 1, 2}} << Cells{} << Points{};
    QTest::newRow("gateway read of an address in no kind: no reply")
        << R << true << Cells{} << Points{} << QList<Step>{{rtu("010307D00001"), {}, 3, 2}} << Cells{} << Points{};
    QTest::newRow("gateway service value that is no register: no reply")
        << R << true << Cells{} << Points{{"1;3000", 70000}} << QList<Step>{{rtu("01030BB80001"), {}, 3, 2}}
        << Cells{} << Points{};
    QTest::newRow("gateway single register write goes to image and service")
        << R << true << Cells{} << Points{}
        << QList<Step>{{rtu("02060BB8002A"), rtu("02060BB8002A"), 6, 2}} << Cells{{3000, 42}}
        << Points{{"2;3000", 42}};
    QTest::newRow("gateway coil write stores 1 for FF00")
        << R << true << Cells{} << Points{}
        << QList<Step>{{rtu("010503E9FF00"), rtu("010503E9FF00"), 5, 2}} << Cells{{1001, 1}}
        << Points{{"1;1001", 1}};
    QTest::newRow("gateway 32-bit integer write")
        << R << true << Cells{} << Points{}
        << QList<Step>{{rtu("0110138800020400010002"), rtu("011013880002"), 16, 4}} << Cells{}
        << Points{{"1;5000", qint32(0x00010002)}};
    QTest::newRow("gateway float write")
        << R << true << Cells{} << Points{}
        << QList<Step>{{rtu("01101B5800020442C80000"), rtu("01101B580002"), 16, 4}} << Cells{}
        << Points{{"1;7000", 100.0f}};
    QTest::newRow("gateway register block write")
        << R << true << Cells{} << Points{}
        << QList<Step>{{rtu("01100BB8000204000500" "06"), rtu("01100BB80002"), 16, 4}}
        << Cells{{3000, 5}, {3001, 6}} << Points{{"1;3000", 5}, {"1;3001", 6}};
    QTest::newRow("gateway broadcast write is carried out, not answered")
        << R << true << Cells{} << Points{} << QList<Step>{{rtu("00060BB80003"), {}, 6, 2}} << Cells{{3000, 3}}
        << Points{{"0;3000", 3}};
    QTest::newRow("gateway ascii read")
        << A << true << Cells{} << Points{{"1;3000", 0x1234}}
        << QList<Step>{{ascii("01030BB80001"), ascii("0103021234"), 3, 2}} << Cells{} << Points{};
}

void TestSlaveServing::serving()
{
    QFETCH(SlaveFraming, framing);
    QFETCH(bool, gateway);
    QFETCH(Cells, imageBefore);
    QFETCH(Points, serviceBefore);
    QFETCH(QList<Step>, steps);
    QFETCH(Cells, imageAfter);
    QFETCH(Points, serviceAfter);

    IntArray image(0, 50000);
    for (const auto& [index, value] : imageBefore) image[index] = value;
    InMemoryIoDatabase service;
    for (const auto& [key, value] : serviceBefore) service.setValue(key, value);
    const SlaveSetup setup{framing, gateway, 1};

    for (const Step& step : steps) {
        const SlaveOutcome outcome = ServeSlaveRequest(step.request, setup, image, &service);
        QCOMPARE(outcome.reply.toHex(' '), step.reply.toHex(' '));
        QCOMPARE(outcome.MAdd, step.MAdd);
        QCOMPARE(outcome.quan, step.quan);
        QCOMPARE(outcome.checkPassed, step.MAdd != -2);
    }
    for (const auto& [index, value] : imageAfter) QCOMPARE(image[index], value);
    for (const auto& [key, value] : serviceAfter) QCOMPARE(service.value(key), value);
}

void TestSlaveServing::requestLength_data()
{
    QTest::addColumn<SlaveFraming>("framing");
    QTest::addColumn<QByteArray>("waiting");
    QTest::addColumn<int>("length");
    QTest::newRow("rtu read") << SlaveFraming::Rtu << rtu("010300090002") << 8;
    QTest::newRow("rtu write registers: from the byte count")
        << SlaveFraming::Rtu << rtu("01100000000204000A000B") << 13;
    QTest::newRow("rtu packed coils") << SlaveFraming::Rtu << rtu("010F0000000A02CD01") << 11;
    QTest::newRow("rtu two frames: the first only") << SlaveFraming::Rtu << rtu("010300090002") + rtu("010300000001")
                                                    << 8;
    QTest::newRow("ascii read") << SlaveFraming::Ascii << QByteArray(":010300090001F2\r\n") << 17;
    QTest::newRow("ascii write registers") << SlaveFraming::Ascii << ascii("0110000400020400640065") << 27;
}

void TestSlaveServing::requestLength()
{
    QFETCH(SlaveFraming, framing);
    QFETCH(QByteArray, waiting);
    QFETCH(int, length);
    QCOMPARE(SlaveRequestLength(waiting, framing), length);
}

// The key and count the gateway asks with, seen by a service of the host.
void TestSlaveServing::gatewayReadAsksTheServiceUnderTheKey()
{
    class Recording : public InMemoryIoDatabase {
    public:
        QStringList asked;
        qint16 read(const QVariant& key, VariantArray& values, const QVariant& count) override
        {
            asked << key.toString() + QLatin1Char('/') + count.toString();
            return InMemoryIoDatabase::read(key, values, count);
        }
    } service;
    IntArray image(0, 50000);
    const SlaveSetup setup{SlaveFraming::Rtu, true, 1};
    ServeSlaveRequest(rtu("01030BB80002"), setup, image, &service);
    ServeSlaveRequest(rtu("03031B580004"), setup, image, &service);
    QCOMPARE(service.asked, (QStringList{"1;3000/2", "3;7000/2"}));
}

// Truncated and random frames: never a reply that was not asked for, never a crash.
void TestSlaveServing::garbageNeverReachesOutsideTheFrame()
{
    IntArray image(0, 50000);
    InMemoryIoDatabase service;
    QRandomGenerator random(7);
    for (int round = 0; round < 20000; ++round) {
        QByteArray body(2 + int(random.bounded(20)), Qt::Uninitialized);
        for (char& c : body) c = char(random.bounded(256));
        body[0] = char(1);
        const bool gateway = round % 2;
        const SlaveSetup setup{SlaveFraming::Rtu, gateway, 1};
        const SlaveOutcome outcome = ServeSlaveRequest(AppendCRC(body), setup, image, &service);
        if (!outcome.reply.isEmpty()) {
            QVERIFY(HasGoodCRC(outcome.reply));
            QCOMPARE(outcome.reply[1], body[1]);
            QVERIFY(outcome.reply.size() <= 126 + 2);
        }
        ServeSlaveRequest(AsciiFrame(body), SlaveSetup{SlaveFraming::Ascii, gateway, 1}, image, &service);
        ServeSlaveRequest(body, setup, image, &service);
    }
}

QTEST_GUILESS_MAIN(TestSlaveServing)
#include "test_slave_serving.moc"
