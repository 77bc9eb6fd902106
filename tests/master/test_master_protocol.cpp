// Master requests and replies as pure functions over bytes: the request frames
// each reference maps to, the requests that are refused, finding the answer
// among received bytes, and decoding read answers. No port, no event loop.
#include "protocol/FrameCodec.h"
#include "protocol/ReplyHandling.h"
#include "protocol/RequestBuilding.h"
#include "shell/Buslink.h"

#include <QtTest>

using namespace buslink;

Q_DECLARE_METATYPE(buslink::Framing)
Q_DECLARE_METATYPE(buslink::RequestKind)
Q_DECLARE_METATYPE(buslink::ReplyVerdict)

namespace {

VariantArray arrayOf(const QVariantList& values)
{
    VariantArray a(1, int(values.size()));
    for (int i = 0; i < values.size(); ++i) a[i + 1] = values[i];
    return a;
}

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

} // namespace

class TestMasterProtocol : public QObject {
    Q_OBJECT
private slots:
    void requestFrames_data();
    void requestFrames();
    void refusedRequests_data();
    void refusedRequests();
    void rtuFieldsThatDoNotFitAreErrors();
    void findReply_data();
    void findReply();
    void findReplyInPieces();
    void decodeReadReply_data();
    void decodeReadReply();
    void decodeRejectsUnrepresentableFloat();
};

void TestMasterProtocol::requestFrames_data()
{
    QTest::addColumn<int>("plcType");
    QTest::addColumn<RequestKind>("kind");
    QTest::addColumn<Framing>("framing");
    QTest::addColumn<QVariant>("reference");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("quantityOrValue");   // reads: quantity; single writes: the value
    QTest::addColumn<QVariantList>("values");   // multiple writes
    QTest::addColumn<int>("ioType");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("replyLength");        // on the line

    const auto R = RequestKind::Read;
    const auto S = RequestKind::SingleWrite;
    const auto M = RequestKind::MultipleWrite;
    const auto rtu = Framing::Rtu;
    const auto ascii = Framing::Ascii;
    const QVariantList none;
    // Reads.
    QTest::newRow("holding 40001 x1") << 1 << R << rtu << QVariant(40001) << 1 << 1 << none << 0 << hex("010300000001840a") << 7;
    QTest::newRow("holding 40001 x1, ASCII") << 1 << R << ascii << QVariant(40001) << 1 << 1 << none << 0 << QByteArray(":010300000001FB\r\n") << 15;
    QTest::newRow("six-digit 400001") << 1 << R << rtu << QVariant("400001") << 1 << 1 << none << 0 << hex("010300000001840a") << 7;
    QTest::newRow("text with blanks ' 40001 '") << 1 << R << rtu << QVariant(" 40001 ") << 1 << 1 << none << 0 << hex("010300000001840a") << 7;
    QTest::newRow("10 coils from 1") << 1 << R << rtu << QVariant(1) << 1 << 10 << none << 0 << hex("01010000000abc0d") << 7;
    QTest::newRow("input register 30010") << 1 << R << rtu << QVariant(30010) << 1 << 1 << none << 0 << hex("010400090001e1c8") << 7;
    QTest::newRow("discrete input 100001") << 1 << R << rtu << QVariant(100001) << 1 << 1 << none << 0 << hex("010200000001b9ca") << 6;
    QTest::newRow("unit 17, 40108 x3, ASCII") << 1 << R << ascii << QVariant(40108) << 17 << 3 << none << 0 << QByteArray(":1103006B00037E\r\n") << 23;
    QTest::newRow("negative unit reads its absolute value") << 1 << R << rtu << QVariant(40001) << -3 << 1 << none << 0 << hex("03030000000185e8") << 7;
    QTest::newRow("EnType2 5001 x1 (32-bit)") << 2 << R << rtu << QVariant(5001) << 1 << 1 << none << 0 << hex("0103138900015164") << 9;
    QTest::newRow("EnType2 bits 1005 x3") << 2 << R << rtu << QVariant(1005) << 1 << 3 << none << 0 << hex("010103ed0003ec7a") << 6;
    QTest::newRow("EnType2 floats 7010 x2") << 2 << R << rtu << QVariant(7010) << 1 << 2 << none << 0 << hex("01031b6200026331") << 13;
    // Single writes.
    QTest::newRow("coil 00005 on") << 1 << S << rtu << QVariant("00005") << 1 << 1 << none << 0 << hex("01050004ff00cdfb") << 8;
    QTest::newRow("coil 00005 off") << 1 << S << rtu << QVariant("00005") << 1 << 0 << none << 0 << hex("0105000400008c0b") << 8;
    QTest::newRow("coil 00005, any non-zero is on") << 1 << S << rtu << QVariant(5) << 1 << 7 << none << 0 << hex("01050004ff00cdfb") << 8;
    QTest::newRow("40010 = 300") << 1 << S << rtu << QVariant(40010) << 1 << 300 << none << 0 << hex("01060009012c5985") << 8;
    QTest::newRow("40001 = -2, ASCII keeps the low digits") << 1 << S << ascii << QVariant(40001) << 1 << -2 << none << 0 << QByteArray(":01060000FFFEFC\r\n") << 17;
    QTest::newRow("broadcast 40001 = 1") << 1 << S << rtu << QVariant(40001) << 0 << 1 << none << 0 << hex("00060000000149db") << 8;
    QTest::newRow("EnType2 coil 1010 on") << 2 << S << rtu << QVariant(1010) << 1 << 1 << none << 0 << hex("010503f2ff002d8d") << 8;
    QTest::newRow("EnType2 register 3005 = 9") << 2 << S << rtu << QVariant(3005) << 1 << 9 << none << 0 << hex("01060bbd0009dbcc") << 8;
    // Multiple writes.
    QTest::newRow("three registers to 40001") << 1 << M << rtu << QVariant(40001) << 1 << 0 << QVariantList{1, 2, 3} << 0 << hex("011000000003060001000200033a81") << 8;
    QTest::newRow("three registers to 40001, ASCII") << 1 << M << ascii << QVariant(40001) << 1 << 0 << QVariantList{1, 2, 3} << 0 << QByteArray(":01100000000306000100020003E0\r\n") << 17;
    QTest::newRow("ioDFloat 100.0 to 40001") << 1 << M << rtu << QVariant(40001) << 1 << 0 << QVariantList{100.0} << 3 << hex("0110000000020442c800006629") << 8;
    QTest::newRow("ten coils from 00001, packed") << 1 << M << rtu << QVariant("00001") << 1 << 0 << QVariantList{1, 0, 1, 1, 0, 0, 0, 0, 1, 5} << 0 << hex("010f0000000a020d03a1a9") << 8;
    QTest::newRow("EnType2 32-bit -2 at 5010") << 2 << M << rtu << QVariant(5010) << 1 << 0 << QVariantList{-2} << 0 << hex("01101392000204fffffffe627e") << 8;
    QTest::newRow("EnType2 float 1.0 at 7001") << 2 << M << rtu << QVariant(7001) << 1 << 0 << QVariantList{1.0} << 0 << hex("01101b590002043f80000085f5") << 8;
}

void TestMasterProtocol::requestFrames()
{
    QFETCH(int, plcType);
    QFETCH(RequestKind, kind);
    QFETCH(Framing, framing);
    QFETCH(QVariant, reference);
    QFETCH(int, unit);
    QFETCH(int, quantityOrValue);
    QFETCH(QVariantList, values);
    QFETCH(int, ioType);
    QFETCH(QByteArray, line);
    QFETCH(int, replyLength);

    RequestFrame frame;
    RequestPlan plan;
    if (kind == RequestKind::Read) {
        plan = PlanRequest(plcType, kind, reference, quantityOrValue);
        QVERIFY2(plan.ok, qPrintable(plan.refusal));
        frame = ReadRequestFrame(framing, unit, plan);
    } else if (kind == RequestKind::SingleWrite) {
        plan = PlanRequest(plcType, kind, reference, 1);
        QVERIFY2(plan.ok, qPrintable(plan.refusal));
        frame = SingleWriteFrame(framing, unit, plan, quantityOrValue);
    } else {
        const VariantArray work = arrayOf(values);
        const int n = WriteCount(plcType, reference, int(values.size()));
        QVERIFY(UsesMultipleWrite(qint16(ioType), n));
        std::vector<qint32> words;
        plan = PlanMultipleWrite(plcType, reference, qint16(ioType), work, n, words);
        QVERIFY2(plan.ok, qPrintable(plan.refusal));
        frame = MultipleWriteFrame(framing, unit, plan, words);
    }
    QCOMPARE(framing == Framing::Rtu ? frame.line.toHex() : frame.line, framing == Framing::Rtu ? line.toHex() : line);
    QCOMPARE(LineLength(framing, plan.expectedReplyLength), replyLength);
    // The bytes the answer is matched against are the frame without its check.
    if (framing == Framing::Rtu) QCOMPARE(frame.bytes, line.left(line.size() - 2));
}

void TestMasterProtocol::refusedRequests_data()
{
    QTest::addColumn<int>("plcType");
    QTest::addColumn<RequestKind>("kind");
    QTest::addColumn<QVariant>("reference");
    QTest::addColumn<int>("quantity");

    const auto R = RequestKind::Read;
    const auto S = RequestKind::SingleWrite;
    const auto M = RequestKind::MultipleWrite;
    QTest::newRow("range 2 has no table") << 1 << R << QVariant(20001) << 1;
    QTest::newRow("range 5 has no table") << 1 << R << QVariant(50001) << 1;
    QTest::newRow("six-digit range 9") << 1 << R << QVariant(900001) << 1;
    QTest::newRow("discrete inputs are read-only") << 1 << S << QVariant(10001) << 1;
    QTest::newRow("input registers are read-only") << 1 << M << QVariant(30001) << 2;
    QTest::newRow("coil 0 has no offset") << 1 << R << QVariant(0) << 1;
    QTest::newRow("negative reference") << 1 << R << QVariant(-40001) << 1;
    QTest::newRow("not a number") << 1 << R << QVariant("4000l") << 1;
    QTest::newRow("empty reference") << 1 << R << QVariant() << 1;
    QTest::newRow("zero registers") << 1 << R << QVariant(40001) << 0;
    QTest::newRow("126 registers") << 1 << R << QVariant(40001) << 126;
    QTest::newRow("2001 coils") << 1 << R << QVariant(1) << 2001;
    QTest::newRow("2001 discrete inputs") << 1 << R << QVariant(10001) << 2001;
    QTest::newRow("124 registers written") << 1 << M << QVariant(40001) << 124;
    QTest::newRow("1969 coils written") << 1 << M << QVariant(1) << 1969;
    QTest::newRow("EnType2 read of range 0") << 2 << R << QVariant(5) << 1;
    QTest::newRow("EnType2 read of range 4") << 2 << R << QVariant(4001) << 1;
    QTest::newRow("EnType2 read of range 6") << 2 << R << QVariant(6001) << 1;
    QTest::newRow("EnType2 63 floats") << 2 << R << QVariant(7001) << 63;
    QTest::newRow("EnType2 single write to range 4") << 2 << S << QVariant(4001) << 1;
    QTest::newRow("EnType2 multiple write to range 4") << 2 << M << QVariant(4001) << 2;
    QTest::newRow("EnType2 single write to range 5") << 2 << S << QVariant(5001) << 1;
    QTest::newRow("EnType3 has no mapping") << 3 << R << QVariant(40001) << 1;
    QTest::newRow("EnType10 has no mapping") << 10 << S << QVariant(40001) << 1;
}

void TestMasterProtocol::refusedRequests()
{
    QFETCH(int, plcType);
    QFETCH(RequestKind, kind);
    QFETCH(QVariant, reference);
    QFETCH(int, quantity);
    const RequestPlan plan = PlanRequest(plcType, kind, reference, quantity);
    QVERIFY(!plan.ok);
    QVERIFY(!plan.refusal.isEmpty());
}

void TestMasterProtocol::rtuFieldsThatDoNotFitAreErrors()
{
    const RequestPlan plan = PlanRequest(EnStdModbus, RequestKind::SingleWrite, 40001, 1);
    QVERIFY(plan.ok);
    QVERIFY_THROWS_EXCEPTION(BuslinkError, SingleWriteFrame(Framing::Rtu, 1, plan, -2));
    QVERIFY_THROWS_EXCEPTION(BuslinkError, SingleWriteFrame(Framing::Rtu, 1, plan, 65536));
    QVERIFY_THROWS_EXCEPTION(BuslinkError, SingleWriteFrame(Framing::Rtu, 256, plan, 1));
    // A value that is no number refuses the whole write.
    std::vector<qint32> words;
    QVERIFY(!PlanMultipleWrite(EnStdModbus, 40001, ioWord, arrayOf({1, "x"}), 2, words).ok);
    // Missing values refuse it too.
    QVERIFY(!PlanMultipleWrite(EnStdModbus, 40001, ioWord, arrayOf({1}), 3, words).ok);
    // 61 ioDFloat values are 122 registers; 62 would be 124, beyond the 123 of one write.
    QVariantList floats;
    for (int i = 0; i < 62; ++i) floats << 1.5;
    QVERIFY(PlanMultipleWrite(EnStdModbus, 40001, ioDFloat, arrayOf(floats), 61, words).ok);
    QCOMPARE(int(words.size()), 122);
    QVERIFY(!PlanMultipleWrite(EnStdModbus, 40001, ioDFloat, arrayOf(floats), 62, words).ok);
}

void TestMasterProtocol::findReply_data()
{
    QTest::addColumn<Framing>("framing");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("expectedLength");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<ReplyVerdict>("verdict");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("exceptionCode");
    QTest::addColumn<int>("bytesNeeded");  // -1: not checked

    const auto rtu = Framing::Rtu;
    const auto ascii = Framing::Ascii;
    const auto ok = ReplyVerdict::Ok;
    const auto more = ReplyVerdict::Incomplete;
    const auto bad = ReplyVerdict::ChecksumError;
    const auto exc = ReplyVerdict::Exception;
    const QByteArray read1 = hex("010300000001");
    const QByteArray write300 = hex("01060009012c");

    QTest::newRow("complete answer") << rtu << read1 << 7 << hex("010302002a399b") << ok << 0 << 7 << 0 << -1;
    QTest::newRow("nothing yet") << rtu << read1 << 7 << QByteArray() << more << 0 << 0 << 0 << 5;
    QTest::newRow("answer still arriving") << rtu << read1 << 7 << hex("010302") << more << 0 << 0 << 0 << 4;
    QTest::newRow("bad CRC") << rtu << read1 << 7 << hex("010302002a399c") << bad << 0 << 7 << 0 << -1;
    QTest::newRow("garbage before the answer") << rtu << read1 << 7 << hex("ff00010302002a399b") << ok << 2 << 7 << 0 << -1;
    QTest::newRow("bytes after the answer") << rtu << read1 << 7 << hex("010302002a399b0000") << ok << 0 << 7 << 0 << -1;
    QTest::newRow("exception answer") << rtu << read1 << 7 << hex("018302c0f1") << exc << 0 << 5 << 2 << -1;
    QTest::newRow("exception, one byte short") << rtu << read1 << 7 << hex("018302c0") << more << 0 << 0 << 0 << 1;
    QTest::newRow("exception with bad CRC") << rtu << read1 << 7 << hex("018302c0f2") << bad << 0 << 5 << 0 << -1;
    QTest::newRow("answer of another unit") << rtu << read1 << 7 << hex("020302002a7d9b") << more << 7 << 0 << 0 << -1;
    QTest::newRow("answer for another function") << rtu << read1 << 7 << hex("010402002a38ef") << more << 7 << 0 << 0 << -1;
    QTest::newRow("late answer to a 2-register read, then the answer") << rtu << read1 << 7
        << hex("010304000100022a32010302002a399b") << ok << 9 << 7 << 0 << -1;
    QTest::newRow("stray frame of another unit, then the answer") << rtu << read1 << 7
        << hex("020302002a7d9b010302002a399b") << ok << 7 << 7 << 0 << -1;
    QTest::newRow("write echo") << rtu << write300 << 8 << hex("01060009012c5985") << ok << 0 << 8 << 0 << -1;
    QTest::newRow("echo of another register") << rtu << write300 << 8 << hex("0106000a012ca985") << more << 8 << 0 << 0 << -1;
    QTest::newRow("exception to a write") << rtu << write300 << 8 << hex("0186030261") << exc << 0 << 5 << 3 << -1;
    QTest::newRow("exception to a multiple write") << rtu << hex("011000000003") << 8 << hex("019002cdc1") << exc << 0 << 5 << 2 << -1;
    QTest::newRow("ASCII answer") << ascii << read1 << 15 << QByteArray(":010302002AD0\r\n") << ok << 0 << 15 << 0 << -1;
    QTest::newRow("ASCII lower-case digits") << ascii << read1 << 15 << QByteArray(":010302002ad0\r\n") << ok << 0 << 15 << 0 << -1;
    QTest::newRow("ASCII garbage before") << ascii << read1 << 15 << QByteArray("x:zz:010302002AD0\r\n") << ok << 4 << 15 << 0 << -1;
    QTest::newRow("ASCII bad LRC") << ascii << read1 << 15 << QByteArray(":010302002AD1\r\n") << bad << 0 << 15 << 0 << -1;
    QTest::newRow("ASCII exception") << ascii << read1 << 15 << QByteArray(":0183027A\r\n") << exc << 0 << 11 << 2 << -1;
    QTest::newRow("ASCII still arriving") << ascii << read1 << 15 << QByteArray(":010302") << more << 0 << 0 << 0 << 8;
    QTest::newRow("ASCII cut-off frame, then the answer") << ascii << read1 << 15
        << QByteArray(":01030200\r\n:010302002AD0\r\n") << ok << 11 << 15 << 0 << -1;
    QTest::newRow("ASCII without CR LF is no frame") << ascii << read1 << 15 << QByteArray(":010302002AD0xx") << more << 15 << 0 << 0 << -1;
}

void TestMasterProtocol::findReply()
{
    QFETCH(Framing, framing);
    QFETCH(QByteArray, request);
    QFETCH(int, expectedLength);
    QFETCH(QByteArray, received);
    QFETCH(ReplyVerdict, verdict);
    QFETCH(int, skipped);
    QFETCH(int, length);
    QFETCH(int, exceptionCode);
    QFETCH(int, bytesNeeded);

    const FoundReply found = FindReply(received, ReplyExpectation{framing, request, expectedLength});
    QCOMPARE(found.verdict, verdict);
    QCOMPARE(found.skipped, skipped);
    QCOMPARE(found.length, length);
    QCOMPARE(found.exceptionCode, exceptionCode);
    if (bytesNeeded >= 0) QCOMPARE(found.bytesNeeded, bytesNeeded);
    if (verdict == ReplyVerdict::Ok) QCOMPARE(quint8(found.bytes[0]), quint8(request[0]));
}

// Fed one byte at a time, the answer is found exactly when its last byte is in,
// and the count of bytes still needed never overshoots.
void TestMasterProtocol::findReplyInPieces()
{
    const QByteArray request = hex("010300000003");
    const QByteArray answer = AppendCRC(hex("010306000100020003"));
    const QByteArray line = hex("ee") + answer;  // one stray byte first
    QByteArray buffer;
    for (int i = 0; i < line.size(); ++i) {
        buffer.append(line[i]);
        const FoundReply found = FindReply(buffer, ReplyExpectation{Framing::Rtu, request, 11});
        if (i + 1 < line.size()) {
            QCOMPARE(found.verdict, ReplyVerdict::Incomplete);
            QVERIFY(found.bytesNeeded >= 1 && found.bytesNeeded <= line.size() - (i + 1));
            buffer.remove(0, found.skipped);
        } else {
            QCOMPARE(found.verdict, ReplyVerdict::Ok);
            QCOMPARE(found.bytes, answer.left(answer.size() - 2));
        }
    }
}

void TestMasterProtocol::decodeReadReply_data()
{
    QTest::addColumn<QByteArray>("bytes");  // before the check
    QTest::addColumn<int>("plcType");
    QTest::addColumn<int>("startOffset");
    QTest::addColumn<bool>("sixDigits");
    QTest::addColumn<int>("pointKind");
    QTest::addColumn<int>("requestedQuantity");
    QTest::addColumn<int>("valueType");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("MAdd");
    QTest::addColumn<QString>("key");

    QTest::newRow("one register 42 at 40001") << hex("010302002a") << 1 << 0 << false << 0 << 0 << 0 << QVariantList{42} << 1 << 40001 << "1;40001";
    QTest::newRow("six-digit form") << hex("010302002a") << 1 << 0 << true << 0 << 0 << 0 << QVariantList{42} << 1 << 400001 << "1;400001";
    QTest::newRow("three registers 0..65535") << hex("030306ffff00010100") << 1 << 9 << false << 0 << 0 << 0 << QVariantList{65535, 1, 256} << 3 << 40010 << "3;40010";
    QTest::newRow("input register 30010") << hex("010402002a") << 1 << 9 << false << 0 << 0 << 0 << QVariantList{42} << 1 << 30010 << "1;30010";
    QTest::newRow("three coils, byte 05") << hex("01010105") << 1 << 0 << false << 0 << 3 << 0 << QVariantList{1, 0, 1, 0, 0, 0, 0, 0} << 3 << 1 << "1;1";
    QTest::newRow("inputs 10001") << hex("01020102") << 1 << 0 << false << 0 << 2 << 0 << QVariantList{0, 1} << 2 << 10001 << "1;10001";
    QTest::newRow("inputs 100001") << hex("01020102") << 1 << 0 << true << 0 << 2 << 0 << QVariantList{0, 1} << 2 << 100001 << "1;100001";
    QTest::newRow("ioFloat 12, 3456") << hex("010304000c0d80") << 1 << 0 << false << 0 << 0 << 2 << QVariantList{12.3456} << 1 << 40001 << "1;40001";
    QTest::newRow("ioFloat two values") << hex("010308000c0d8000071388") << 1 << 0 << false << 0 << 0 << 2 << QVariantList{12.3456, 7.5} << 2 << 40001 << "1;40001";
    QTest::newRow("ioSignedWord 65535") << hex("010302ffff") << 1 << 0 << false << 0 << 0 << 5 << QVariantList{-1} << 1 << 40001 << "1;40001";
    QTest::newRow("ioDFloat 100.0, raw second half kept") << hex("01030442c80000") << 1 << 0 << false << 0 << 0 << 3 << QVariantList{100.0f, 0} << 2 << 40001 << "1;40001";
    QTest::newRow("EnType2 32-bit -2") << hex("010304fffffffe") << 2 << 5001 << false << 5 << 0 << 0 << QVariantList{-2} << 1 << 5001 << "1;5001";
    QTest::newRow("EnType2 float 1.0") << hex("0103043f800000") << 2 << 7001 << false << 7 << 0 << 0 << QVariantList{1.0f} << 1 << 7001 << "1;7001";
    QTest::newRow("EnType2 bits report the quantity") << hex("01010105") << 2 << 1005 << false << 1 << 3 << 0 << QVariantList{1, 0, 1} << 3 << 1006 << "1;1006";
}

void TestMasterProtocol::decodeReadReply()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, plcType);
    QFETCH(int, startOffset);
    QFETCH(bool, sixDigits);
    QFETCH(int, pointKind);
    QFETCH(int, requestedQuantity);
    QFETCH(int, valueType);
    QFETCH(QVariantList, values);
    QFETCH(int, count);
    QFETCH(int, MAdd);
    QFETCH(QString, key);

    VariantArray ReplyData(0, 500);
    ReplyData[values.size() + 1] = QStringLiteral("older value");
    DecodeContext c;
    c.plcType = plcType;
    c.StartOffset = startOffset;
    c.SixDigitForm = sixDigits;
    c.PointKind = qint16(pointKind);
    c.RequestedQuantity = qint16(requestedQuantity);
    c.LastValueType = qint16(valueType);
    const DecodedReply d = DecodeReadReply(bytes, c, ReplyData);
    QCOMPARE(d.count, count);
    QCOMPARE(d.MAdd, MAdd);
    QCOMPARE(d.key, key);
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].typeId() == QMetaType::Double) QVERIFY(qFuzzyCompare(ReplyData[i + 1].toDouble(), values[i].toDouble()));
        else QCOMPARE(ReplyData[i + 1].toDouble(), values[i].toDouble());
    }
    QVERIFY(!ReplyData[0].isValid());
    // Bit replies fill whole bytes; other entries beyond the reply keep older values.
    if (plcType == EnStdModbus && valueType == 0 && bytes[1] > 2)
        QCOMPARE(ReplyData[values.size() + 1].toString(), QStringLiteral("older value"));
}

void TestMasterProtocol::decodeRejectsUnrepresentableFloat()
{
    VariantArray ReplyData(0, 500);
    DecodeContext c;
    c.plcType = EnType2;
    c.PointKind = 7;
    QVERIFY_THROWS_EXCEPTION(BuslinkError, DecodeReadReply(hex("0103047f800000"), c, ReplyData));
}

QTEST_GUILESS_MAIN(TestMasterProtocol)
#include "test_master_protocol.moc"
