// Serving slave requests, as a table of byte vectors over the pure serving
// function: standard slave from the register image, gateway slave through the
// I/O database service, both framings, and the requests that get no reply.
#include "protocol/AsciiFraming.h"
#include "protocol/FrameCodec.h"
#include "scan/IoDatabaseService.h"
#include "protocol/SlaveServing.h"

#include <QtTest>
#include <algorithm>

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
Q_DECLARE_METATYPE(Framing)

class TestSlaveServing : public QObject {
    Q_OBJECT
private slots:
    void serving_data();
    void serving();
    void exceptionsAndLimits_data();
    void exceptionsAndLimits();
    void gatewayReadAsksTheServiceUnderTheKey();
    void garbageNeverReachesOutsideTheFrame();
};

void TestSlaveServing::serving_data()
{
    QTest::addColumn<Framing>("framing");
    QTest::addColumn<bool>("gateway");
    QTest::addColumn<Cells>("imageBefore");
    QTest::addColumn<Points>("serviceBefore");
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<Cells>("imageAfter");
    QTest::addColumn<Points>("serviceAfter");

    const auto R = Framing::Rtu;
    const auto A = Framing::Ascii;

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
    QTest::newRow("function 7: exception 1")
        << R << false << Cells{} << Points{} << QList<Step>{{rtu("0107"), rtu("018701"), 7, 0}} << Cells{} << Points{};
    QTest::newRow("broadcast write is carried out, not answered")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("00060009002A"), {}, 6, 2}, {rtu("001000000001020007"), {}, 16, 3}}
        << Cells{{40010, 42}, {40001, 7}} << Points{};
    QTest::newRow("broadcast read is not answered")
        << R << false << Cells{{40001, 5}} << Points{} << QList<Step>{{rtu("000300000001"), {}, 3, 2}} << Cells{}
        << Points{};
    QTest::newRow("125 registers: the last one in place")
        << R << false << Cells{{40125, 0x0102}} << Points{}
        << QList<Step>{{rtu("01030000007D"), rtu(QByteArray("0103FA" + QByteArray(124 * 4, '0') + "0102").constData()),
                        3, 2}}
        << Cells{} << Points{};
    QTest::newRow("read past the last image element: exception 2")
        << R << false << Cells{{50000, 9}} << Points{}
        << QList<Step>{{rtu("0103270F0001"), rtu("01030200" "09"), 3, 2}, {rtu("0103270F0002"), rtu("018302"), 3, 2}}
        << Cells{} << Points{};
    QTest::newRow("write past the last image element: nothing changes, exception 2")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("0110270F000204000100" "02"), rtu("019002"), 16, 4}, {rtu("0106FFFF0001"), rtu("018602"), 6, 2}}
        << Cells{{50000, 0}} << Points{};
    QTest::newRow("register value outside 0..65535: exception 4")
        << R << false << Cells{{40001, 70000}, {40002, -1}} << Points{}
        << QList<Step>{{rtu("010300000001"), rtu("018304"), 3, 2}, {rtu("010300010001"), rtu("018304"), 3, 2}}
        << Cells{} << Points{};
    QTest::newRow("byte count that fits neither layout: nothing changes, exception 3")
        << R << false << Cells{} << Points{}
        << QList<Step>{{rtu("01100000000203000A00"), rtu("019003"), 16, 4}} << Cells{{40001, 0}} << Points{};

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
    QTest::newRow("gateway odd register count for two-register values: exception 2")
        << R << true << Cells{} << Points{{"1;5000", 1}} << QList<Step>{{rtu("010313880003"), rtu("018302"), 3, 2}}
        << Cells{} << Points{};
    QTest::newRow("gateway bits at 1000 come from the image at the address itself")
        << R << true << Cells{{1000, 1}, {1002, 1}} << Points{}
        << QList<Step>{{rtu("010103E80003"), rtu("01010105"), 1, 2}} << Cells{} << Points{};
    QTest::newRow("gateway read of an address in no kind: exception 2")
        << R << true << Cells{} << Points{} << QList<Step>{{rtu("050307D00001"), rtu("058302"), 3, 2}} << Cells{}
        << Points{};
    QTest::newRow("gateway service value that is no register: exception 4")
        << R << true << Cells{} << Points{{"1;3000", 70000}} << QList<Step>{{rtu("01030BB80001"), rtu("018304"), 3, 2}}
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
    QFETCH(Framing, framing);
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

namespace {
constexpr int kNormalReply = 0;
constexpr int kNoReply = -1;

// A request body of a multiple write: header, byte count and `count` data bytes of 0x55.
QByteArray writeBody(const char* header, int byteCount, int dataBytes)
{
    return QByteArray::fromHex(header) + char(byteCount) + QByteArray(dataBytes, char(0x55));
}
} // namespace

// Exception replies and the standard's sizes, at and just past each limit, in both
// framings: a normal reply of the expected size, exception N (and then nothing
// changed), or no reply at all.
void TestSlaveServing::exceptionsAndLimits_data()
{
    QTest::addColumn<bool>("gateway");
    QTest::addColumn<QByteArray>("body");     // the request before its check
    QTest::addColumn<int>("expected");        // kNormalReply, kNoReply or the exception code
    QTest::addColumn<int>("replyDataBytes");  // normal read replies: the byte count

    const auto row = [](const char* name, bool gateway, const QByteArray& body, int expected, int bytes = 0) {
        QTest::newRow(name) << gateway << body << expected << bytes;
    };
    const auto hex = [](const char* h) { return QByteArray::fromHex(h); };

    row("read coils: 2000", false, hex("0101000007D0"), kNormalReply, 250);
    row("read coils: 2001", false, hex("0101000007D1"), 3);
    row("read coils: 0", false, hex("010100000000"), 3);
    row("read discrete inputs: 2000", false, hex("0102000007D0"), kNormalReply, 250);
    row("read discrete inputs: 2001", false, hex("0102000007D1"), 3);
    row("read holding registers: 125", false, hex("01030000007D"), kNormalReply, 250);
    row("read holding registers: 126", false, hex("01030000007E"), 3);
    row("read holding registers: 0", false, hex("010300000000"), 3);
    row("read input registers: 125", false, hex("01040000007D"), kNormalReply, 250);
    row("read input registers: 126", false, hex("01040000007E"), 3);
    row("write coils: 1968", false, writeBody("010F000007B0", 246, 246), kNormalReply);
    row("write coils: 1969", false, writeBody("010F000007B1", 247, 247), 3);
    row("write coils: 0", false, writeBody("010F00000000", 0, 0), 3);
    row("write registers: 123", false, writeBody("01100000007B", 246, 246), kNormalReply);
    row("write registers: 124", false, writeBody("01100000007C", 248, 248), 3);
    row("write registers: 0", false, writeBody("011000000000", 0, 0), 3);
    row("byte count disagrees with the register quantity", false, writeBody("011000000002", 2, 2), 3);
    row("byte count disagrees with the coil quantity", false, writeBody("010F0000000A", 1, 1), 3);
    row("fewer data bytes than the byte count", false, writeBody("011000000001", 2, 1), 3);
    row("read with a byte too many", false, hex("01030000000100"), 3);
    row("function 0x07", false, hex("0107"), 1);
    row("function 0x08", false, hex("010800001234"), 1);
    row("function 0x11", false, hex("0111"), 1);
    row("function 0x17", false, hex("01170000000100000001020000"), 1);
    row("function 0x2B", false, hex("012B0E0100"), 1);
    row("function 0x41", false, hex("0141"), 1);
    row("holding register at the image's end", false, hex("0103270F0001"), kNormalReply, 2);
    row("holding registers past the image's end", false, hex("0103270F0002"), 2);
    row("holding register at the last address", false, hex("0103FFFF0001"), 2);
    row("coil at the image's end", false, hex("0101C34F0001"), kNormalReply, 1);
    row("coils past the image's end", false, hex("0101C34F0002"), 2);
    row("write coil past the image's end", false, hex("0105C350FF00"), 2);
    row("write register past the image's end", false, hex("010627100001"), 2);
    row("write registers past the image's end", false, writeBody("0110270F0002", 4, 4), 2);
    row("quantity is checked before the address", false, hex("0103FFFF0000"), 3);
    row("another unit's unsupported function: no reply", false, hex("0207"), kNoReply);
    row("broadcast of an unsupported function: no reply", false, hex("0007"), kNoReply);
    row("broadcast read of too many: no reply", false, hex("00030000007E"), kNoReply);
    row("broadcast write past the image: no reply", false, hex("000627100001"), kNoReply);
    row("exception reply heard on the line: no reply", false, hex("018302"), kNoReply);

    row("gateway function 0x07 answers with the request's unit", true, hex("0907"), 1);
    row("gateway registers: 125", true, hex("01030BB8007D"), kNormalReply, 250);
    row("gateway registers: 126", true, hex("01030BB8007E"), 3);
    row("gateway registers: 0", true, hex("01030BB80000"), 3);
    row("gateway read of kind 2", true, hex("010307D00001"), 2);
    row("gateway bits: 2000", true, hex("010103E807D0"), kNormalReply, 250);
    row("gateway bits: 2001", true, hex("010103E807D1"), 3);
    row("gateway write of one register to a two-register kind", true, writeBody("011013880001", 2, 2), 2);
    row("gateway write to kind 2", true, writeBody("011007D00001", 2, 2), 2);
    row("gateway write registers: 124", true, writeBody("01100BB8007C", 248, 248), 3);
    row("gateway coil write past the image", true, hex("0105FFFFFF00"), 2);
}

void TestSlaveServing::exceptionsAndLimits()
{
    QFETCH(bool, gateway);
    QFETCH(QByteArray, body);
    QFETCH(int, expected);
    QFETCH(int, replyDataBytes);

    for (const Framing framing : {Framing::Rtu, Framing::Ascii}) {
        IntArray image(0, 50000);
        InMemoryIoDatabase service;
        const SlaveSetup setup{framing, gateway, 1};
        const QByteArray frame = framing == Framing::Rtu ? AppendCRC(body) : AsciiFrame(body);
        const SlaveOutcome outcome = ServeSlaveRequest(frame, setup, image, &service);
        QVERIFY(outcome.checkPassed);
        QCOMPARE(outcome.MAdd, qint32(quint8(body[1])));
        if (expected == kNoReply) {
            QCOMPARE(outcome.reply, QByteArray());
            continue;
        }
        QByteArray reply;
        if (framing == Framing::Rtu) {
            QVERIFY(HasGoodCRC(outcome.reply));
            reply = outcome.reply.chopped(2);
        } else {
            QVERIFY(DecodeAsciiFrame(outcome.reply, reply));
        }
        const char unit = gateway ? body[0] : char(1);
        if (expected != kNormalReply) {
            QCOMPARE(reply.toHex(' '), (QByteArray() + unit + char(body[1] | 0x80) + char(expected)).toHex(' '));
            QCOMPARE(outcome.exceptionCode, expected);
            QVERIFY2(std::all_of(image.values().begin(), image.values().end(), [](qint32 v) { return v == 0; }),
                     "an exception changed the image");
            continue;
        }
        QCOMPARE(outcome.exceptionCode, 0);
        QCOMPARE(reply[0], unit);
        QCOMPARE(reply[1], body[1]);
        if (body[1] <= 4) {
            QCOMPARE(int(quint8(reply[2])), replyDataBytes);
            QCOMPARE(int(reply.size()), 3 + replyDataBytes);
        } else {
            QCOMPARE(reply.mid(1).toHex(' '), body.mid(1, 5).toHex(' '));
        }
    }
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
    const SlaveSetup setup{Framing::Rtu, true, 1};
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
        const SlaveSetup setup{Framing::Rtu, gateway, 1};
        const SlaveOutcome outcome = ServeSlaveRequest(AppendCRC(body), setup, image, &service);
        if (!outcome.reply.isEmpty()) {
            QVERIFY(HasGoodCRC(outcome.reply));
            QCOMPARE(outcome.reply[1] & 0x7F, body[1] & 0x7F);
            QVERIFY(outcome.reply.size() <= kSlaveReplyBufferBytes + 2);
        }
        ServeSlaveRequest(AsciiFrame(body), SlaveSetup{Framing::Ascii, gateway, 1}, image, &service);
        ServeSlaveRequest(body, setup, image, &service);
    }
}

QTEST_GUILESS_MAIN(TestSlaveServing)
#include "test_slave_serving.moc"
