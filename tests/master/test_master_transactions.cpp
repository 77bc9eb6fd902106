// Master transactions of the component against a device the test plays on a
// pseudo-terminal: results and values, the transaction flags, faults on the
// line (and that the next transaction succeeds after each), the reply
// watchdog, raw line access and the frame trace. Time-outs run on the manual
// clock where they can; one runs in real time to measure the CPU it costs.
#include "ErrorNumber.h"
#include "PtyPair.h"
#include "ScriptedDevice.h"
#include "protocol/FrameCodec.h"
#include "scan/IoDatabaseService.h"
#include "shell/Buslink.h"
#include "base/EventWait.h"
#include "base/WholeSecondClock.h"

#include <QElapsedTimer>
#include <QtTest>

#include <sys/resource.h>

namespace buslink {
// The transaction state the tests look at.
class BuslinkTestAccess {
public:
    static bool readDone(const Buslink& b) { return b.ReadDone; }
    static bool writeDone(const Buslink& b) { return b.WriteDone; }
    static bool writeLock(const Buslink& b) { return b.WriteLock; }
    static bool readWaiting(const Buslink& b) { return b.ReadWaiting; }
    static bool replyError(const Buslink& b) { return b.ReplyError; }
    static qint16 lostReplies(const Buslink& b) { return b.LostReplies; }
    static QString errorText(const Buslink& b) { return b.ErrorText; }
    static QTimer& watchdog(Buslink& b) { return b.Timer1; }
    static void watchdogTick(Buslink& b) { b.WatchdogTick(); }
    static const VariantArray& replyData(const Buslink& b) { return b.ReplyData; }
};
} // namespace buslink

using namespace buslink;
using Access = BuslinkTestAccess;
using Chunk = ScriptedDevice::Chunk;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// A component on one end of a pseudo-terminal and the test's device on the other.
struct Rig {
    explicit Rig(ScriptedDevice::Framing framing = ScriptedDevice::Rtu) : device(pty, framing)
    {
        link.InitProperties();
        link.setModBusMode(framing == ScriptedDevice::Ascii ? Ascii : Rtu);
        link.setDevicePath(pty.devicePath());
        link.setSettings("9600,n,8,1");
        link.setPortOpen(true);
        for (int i = 0; i < device.registers.size(); ++i) device.registers[i] = quint16(100 + i);
    }
    qint16 read(const QVariant& address, VariantArray& values, int count, qint16 type = ioWord)
    {
        QVariant size = count;
        return link.ReadPLC(address, values, size, type);
    }
    qint16 write(const QVariant& address, VariantArray& values, qint16 count, qint16 type = ioWord)
    {
        return link.WritePLC(address, values, count, type);
    }
    // A read of 40001 x3 that must succeed with the device's registers.
    bool nextReadSucceeds()
    {
        device.serveCorrectly();
        VariantArray v(1, 3);
        return read(40001, v, 3) == -1 && v[1] == QVariant(int(device.registers[0]))
               && v[3] == QVariant(int(device.registers[2]));
    }
    PtyPair pty;
    ScriptedDevice device;
    Buslink link;
};

// A manual clock that runs fast: `stepMs` of component time every `everyMs` of real time.
struct FastClock {
    explicit FastClock(qint64 startOffsetMs = 0, int stepMs = 100, int everyMs = 2)
    {
        clock.advanceMs(startOffsetMs);
        QObject::connect(&ticker, &QTimer::timeout, [this, stepMs] { clock.advanceMs(stepMs); });
        ticker.start(everyMs);
    }
    ManualClock clock;
    QTimer ticker;
};

double processCpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QByteArray damaged(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame[frame.size() - 1] ^ 0x5A);
    return frame;
}

} // namespace

class TestMasterTransactions : public QObject {
    Q_OBJECT
private slots:
    void readsRegisters();
    void addressFormsReachTheLine_data();
    void addressFormsReachTheLine();
    void valueTypes_data();
    void valueTypes();
    void plainVariableGetsTheFirstValue();
    void readValuesReplaceWhatTheArrayHeld();
    void readWhileNoWaitReadOutstandingIsBusy();
    void flagTable_data();
    void flagTable();
    void faults_data();
    void faults();
    void lateReplyIsNotTheNextAnswer();
    void lateReplyBeforeTheNextRequestIsDiscarded();
    void noReplyInRealTimeCostsNoCpu();
    void commBusyFalseEndsTheWaitAsFailure();
    void writes_data();
    void writes();
    void broadcastWriteAwaitsNothing();
    void signedWriteRewritesCallersValue();
    void fixedPointWriteIsTwoSingleWrites();
    void fixedPointWriteStopsAfterAFailedFirstHalf();
    void refusedOperationsSendNothing_data();
    void refusedOperationsSendNothing();
    void closedPortFailsAtOnce();
    void watchdogReportsFiveLostReplies();
    void noWaitReadRaisesCompletion();
    void errorTextIsEmptyAfterACrcFailure();
    void frameTraceVerdicts();
    void rawModeDeliversTextToTheHost();
    void clearCommPortDiscardsAPartialReply();
    void lineLostEndsTheTransactionAtOnce();
    void replyTimeoutIsTheHostsToSet();
    void silenceDropsAFragment();
};

void TestMasterTransactions::readsRegisters()
{
    Rig rig;
    rig.device.registers[0] = 0;
    rig.device.registers[1] = 65535;
    VariantArray v(1, 3);
    QCOMPARE(rig.read(40001, v, 3), qint16(-1));
    QCOMPARE(v[1], QVariant(0));
    QCOMPARE(v[2], QVariant(65535));
    QCOMPARE(v[3], QVariant(102));
    QCOMPARE(rig.device.requests.value(0).toHex(), AppendCRC(hex("010300000003")).toHex());
    QCOMPARE(rig.link.CommBusy().toBool(), false);
    // Into a single variable.
    QVariant one, size = 1;
    qint16 type = ioWord;
    QCOMPARE(rig.link.ReadPLC(40002, one, size, type), qint16(-1));
    QCOMPARE(one, QVariant(65535));
    // An array shorter than the read keeps what fits.
    VariantArray short2(1, 2);
    QCOMPARE(rig.read(40001, short2, 3), qint16(-1));
    QCOMPARE(short2[2], QVariant(65535));
}

void TestMasterTransactions::addressFormsReachTheLine_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<int>("defaultUnit");
    QTest::addColumn<QByteArray>("request");  // before the CRC
    QTest::newRow("number, default unit") << QVariant(40010) << 5 << hex("050300090001");
    QTest::newRow("text") << QVariant("40010") << 1 << hex("010300090001");
    QTest::newRow("six digits") << QVariant("400010") << 1 << hex("010300090001");
    QTest::newRow("unit text") << QVariant("3;40010") << 1 << hex("030300090001");
    QTest::newRow("unit text with extra fields") << QVariant("4;1;2;30002") << 1 << hex("040400010001");
}

void TestMasterTransactions::addressFormsReachTheLine()
{
    QFETCH(QVariant, address);
    QFETCH(int, defaultUnit);
    QFETCH(QByteArray, request);
    Rig rig;
    rig.link.setAddress(defaultUnit);
    VariantArray v(1, 1);
    QCOMPARE(rig.read(address, v, 1), qint16(-1));
    QCOMPARE(rig.device.requests.value(0).toHex(), AppendCRC(request).toHex());
}

void TestMasterTransactions::valueTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<int>>("registers");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("sizeAfter");
    QTest::newRow("ioWord") << 0 << 2 << QVector<int>{65535, 7} << QVariantList{65535, 7} << 2;
    QTest::newRow("ioFloat") << 2 << 2 << QVector<int>{12, 3456, 7, 5000} << QVariantList{12.3456, 7.5} << 4;
    QTest::newRow("ioDFloat") << 3 << 1 << QVector<int>{0x42C8, 0} << QVariantList{100.0} << 2;
    QTest::newRow("ioSignedWord") << 5 << 2 << QVector<int>{65535, 32768} << QVariantList{-1, -32768} << 2;
    QTest::newRow("scaled type reads as ioWord") << 20 << 1 << QVector<int>{65535} << QVariantList{65535} << 1;
}

void TestMasterTransactions::valueTypes()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(QVector<int>, registers);
    QFETCH(QVariantList, values);
    QFETCH(int, sizeAfter);
    Rig rig;
    for (int i = 0; i < registers.size(); ++i) rig.device.registers[i] = quint16(registers[i]);
    VariantArray v(1, 10);
    QVariant size = count;
    qint16 ioType = qint16(type);
    QCOMPARE(rig.link.ReadPLC(40001, v, size, ioType), qint16(-1));
    QCOMPARE(size.toInt(), sizeAfter);
    for (int i = 0; i < values.size(); ++i) QVERIFY2(qFuzzyCompare(v[i + 1].toDouble(), values[i].toDouble()), qPrintable(v[i + 1].toString()));
}

// A fixed-point or float value read into a plain variable delivers the value.
void TestMasterTransactions::plainVariableGetsTheFirstValue()
{
    Rig rig;
    rig.device.registers[0] = 12;
    rig.device.registers[1] = 3456;
    QVariant value, size = 1;
    qint16 type = ioFloat;
    QCOMPARE(rig.link.ReadPLC(40001, value, size, type), qint16(-1));
    QVERIFY(qFuzzyCompare(value.toDouble(), 12.3456));
    rig.device.registers[0] = 0x42C8;
    rig.device.registers[1] = 0;
    size = 1;
    type = ioDFloat;
    QCOMPARE(rig.link.ReadPLC(40001, value, size, type), qint16(-1));
    QCOMPARE(value.toDouble(), 100.0);
}

// The caller's array receives the values its bounds hold, whatever it held before;
// index 0 and the elements beyond the read keep theirs.
void TestMasterTransactions::readValuesReplaceWhatTheArrayHeld()
{
    Rig rig;
    for (int i = 0; i < 4; ++i) rig.device.registers[i] = quint16(100 + i);
    VariantArray v(0, 6);
    v[0] = QStringLiteral("zero");
    v[1] = QStringLiteral("text");
    v[2] = 2.5;
    v[3] = 9;
    v[4] = QVariant(QMetaType::fromType<int>());  // a null whole number
    QVERIFY(v[4].isNull());
    v[5] = QStringLiteral("kept");
    QVariant size = 4;
    qint16 type = ioWord;
    QCOMPARE(rig.link.ReadPLC(40001, v, size, type), qint16(-1));
    QCOMPARE(v[0], QVariant(QStringLiteral("zero")));
    for (int i = 1; i <= 4; ++i) QCOMPARE(v[i], QVariant(99 + i));
    QVERIFY(!v[4].isNull());
    QCOMPARE(v[5], QVariant(QStringLiteral("kept")));
    // An array from index 3 takes values 3 and 4 only; a copy taken before keeps its value.
    VariantArray from3(3, 8);
    from3[3] = 1;
    const QVariant held = from3[3];
    QCOMPARE(rig.link.ReadPLC(40001, from3, size, type), qint16(-1));
    QCOMPARE(from3[3], QVariant(102));
    QCOMPARE(from3[4], QVariant(103));
    QVERIFY(!from3[5].isValid());
    QCOMPARE(held, QVariant(1));
}

void TestMasterTransactions::readWhileNoWaitReadOutstandingIsBusy()
{
    Rig rig;
    rig.device.stayQuiet();
    QVariant size = 1;
    QCOMPARE(rig.link.ReadPLCNW(40001, size), qint16(-1));
    QVERIFY(rig.device.waitForRequests(1));
    VariantArray v(1, 1);
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(rig.read(40001, v, 1), qint16(966));
    QVERIFY(wall.elapsed() < 500);
    ScriptedDevice::runFor(30);
    QCOMPARE(rig.device.requests.size(), 1);
}

// ---- Transaction flags ----------------------------------------------------------------------

enum class FlagScenario {
    Created, NoWaitReadSent, GoodReadReply, WriteInFlight, ReadInFlight, ChecksumFailure, ReadReplyWaitRanOut,
    WriteReplyWaitRanOut, WatchdogGaveUp, CommBusySetFalse, ExceptionReply,
};
Q_DECLARE_METATYPE(FlagScenario)

void TestMasterTransactions::flagTable_data()
{
    QTest::addColumn<FlagScenario>("scenario");
    QTest::addColumn<bool>("readDone");
    QTest::addColumn<bool>("writeDone");
    QTest::addColumn<bool>("writeLock");
    QTest::addColumn<bool>("readWaiting");
    QTest::addColumn<bool>("busy");
    QTest::newRow("created") << FlagScenario::Created << true << true << false << false << false;
    QTest::newRow("no-wait read sent") << FlagScenario::NoWaitReadSent << false << true << false << false << true;
    QTest::newRow("good read reply") << FlagScenario::GoodReadReply << true << true << false << false << false;
    QTest::newRow("write in flight") << FlagScenario::WriteInFlight << true << false << true << false << true;
    QTest::newRow("read in flight") << FlagScenario::ReadInFlight << false << true << false << true << true;
    QTest::newRow("checksum failure") << FlagScenario::ChecksumFailure << true << true << false << false << false;
    QTest::newRow("read reply wait ran out") << FlagScenario::ReadReplyWaitRanOut << false << true << false << false << true;
    QTest::newRow("write reply wait ran out") << FlagScenario::WriteReplyWaitRanOut << true << true << false << false << false;
    QTest::newRow("watchdog gave the reply up") << FlagScenario::WatchdogGaveUp << true << true << false << false << false;
    QTest::newRow("CommBusy set false") << FlagScenario::CommBusySetFalse << true << true << false << false << false;
    QTest::newRow("exception reply") << FlagScenario::ExceptionReply << true << true << false << false << false;
}

void TestMasterTransactions::flagTable()
{
    QFETCH(FlagScenario, scenario);
    QFETCH(bool, readDone);
    QFETCH(bool, writeDone);
    QFETCH(bool, writeLock);
    QFETCH(bool, readWaiting);
    QFETCH(bool, busy);
    Rig rig;
    std::unique_ptr<FastClock> clock;
    struct Flags { bool rd, wd, wl, rw, busy; } seen{};
    const auto look = [&] {
        seen = {Access::readDone(rig.link), Access::writeDone(rig.link), Access::writeLock(rig.link),
                Access::readWaiting(rig.link), rig.link.CommBusy().toBool()};
    };
    QVariant size = 1;
    VariantArray v(1, 1);
    switch (scenario) {
    case FlagScenario::Created:
        break;
    case FlagScenario::NoWaitReadSent:
        rig.device.stayQuiet();
        QCOMPARE(rig.link.ReadPLCNW(40001, size), qint16(-1));
        break;
    case FlagScenario::GoodReadReply:
        QCOMPARE(rig.link.ReadPLCNW(40001, size), qint16(-1));
        QVERIFY(rig.device.waitForRequests(1));
        QTRY_VERIFY(Access::readDone(rig.link));
        break;
    case FlagScenario::WriteInFlight:
    case FlagScenario::ReadInFlight:
        rig.device.onRequest([&](const QByteArray&) { look(); });
        if (scenario == FlagScenario::WriteInFlight) QCOMPARE(rig.write(40001, v, 1), qint16(-1));
        else QCOMPARE(rig.read(40001, v, 1), qint16(-1));
        QCOMPARE(seen.rd, readDone);
        QCOMPARE(seen.wd, writeDone);
        QCOMPARE(seen.wl, writeLock);
        QCOMPARE(seen.rw, readWaiting);
        QCOMPARE(seen.busy, busy);
        return;
    case FlagScenario::ChecksumFailure:
        rig.device.setScript([&](const QByteArray& r) { return QList<Chunk>{{damaged(rig.device.correctAnswer(r)), 0}}; });
        QCOMPARE(rig.read(40001, v, 1), qint16(0));
        QVERIFY(Access::replyError(rig.link));
        break;
    case FlagScenario::ReadReplyWaitRanOut:
        clock = std::make_unique<FastClock>();
        rig.device.stayQuiet();
        QCOMPARE(rig.read(40001, v, 1), qint16(0));
        break;
    case FlagScenario::WriteReplyWaitRanOut:
        clock = std::make_unique<FastClock>();
        rig.device.stayQuiet();
        QCOMPARE(rig.write(40001, v, 1), qint16(0));
        break;
    case FlagScenario::WatchdogGaveUp: {
        clock = std::make_unique<FastClock>();
        rig.device.stayQuiet();
        QCOMPARE(rig.link.ReadPLCNW(40001, size), qint16(-1));
        Access::watchdog(rig.link).start(5);
        QTRY_COMPARE(Access::lostReplies(rig.link), qint16(1));
        Access::watchdog(rig.link).stop();
        break;
    }
    case FlagScenario::CommBusySetFalse:
        rig.device.stayQuiet();
        QCOMPARE(rig.link.ReadPLCNW(40001, size), qint16(-1));
        rig.link.setCommBusy(false);
        break;
    case FlagScenario::ExceptionReply:
        rig.device.setScript([&](const QByteArray&) { return QList<Chunk>{{rig.device.frame(hex("018302")), 0}}; });
        QCOMPARE(rig.read(40001, v, 1), qint16(0));
        break;
    }
    look();
    QCOMPARE(seen.rd, readDone);
    QCOMPARE(seen.wd, writeDone);
    QCOMPARE(seen.wl, writeLock);
    QCOMPARE(seen.rw, readWaiting);
    QCOMPARE(seen.busy, busy);
}

// ---- Faults on the line -------------------------------------------------------------------

enum class Fault {
    CorruptedChecksum, GarbageBefore, SplitWithGaps, Exception, OtherUnitThenAnswer, OtherFunctionThenAnswer,
    OtherUnitOnly, NoReply, Incomplete, LrcError, AsciiException, AsciiGarbage, AsciiSplit,
    OtherFunctionOnly, BadByteCountOnly, StrayAndAnswerInOneBurst, CutOffThenAnswer,
    AsciiLfOnlyThenAnswer, AsciiNoiseLineThenAnswer, AsciiCutOffThenAnswer,
};
Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(buslink::Outcome)

void TestMasterTransactions::faults_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("ascii");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<int>("exceptionCode");
    QTest::addColumn<bool>("timesOut");  // runs on the fast manual clock
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("cause");    // LastResult().text

    const auto ok = Outcome::Answered;
    QTest::newRow("corrupted CRC") << Fault::CorruptedChecksum << false << 0 << "CRC error" << 0 << false
                                   << Outcome::ChecksumError << "checksum error (CRC) in the reply from unit 1";
    QTest::newRow("garbage before the reply") << Fault::GarbageBefore << false << -1 << "" << 0 << false << ok << "";
    QTest::newRow("reply split with gaps") << Fault::SplitWithGaps << false << -1 << "" << 0 << false << ok << "";
    QTest::newRow("exception reply") << Fault::Exception << false << 0 << "" << 2 << false << Outcome::Exception
                                     << "exception 2: illegal data address";
    QTest::newRow("another unit's frame, then the reply") << Fault::OtherUnitThenAnswer << false << -1 << "" << 0 << false << ok << "";
    QTest::newRow("another function's frame, then the reply") << Fault::OtherFunctionThenAnswer << false << -1 << "" << 0 << false << ok << "";
    QTest::newRow("a stray frame and the reply in one burst") << Fault::StrayAndAnswerInOneBurst << false << -1 << "" << 0 << false << ok << "";
    QTest::newRow("a cut-off reply, then the reply") << Fault::CutOffThenAnswer << false << -1 << "" << 0 << false << ok << "";
    QTest::newRow("only another unit answers") << Fault::OtherUnitOnly << false << 0 << "" << 0 << true
                                               << Outcome::OtherUnitOrFunction << "reply from unit 2, expected unit 1";
    QTest::newRow("only another function's answer") << Fault::OtherFunctionOnly << false << 0 << "" << 0 << true
                                                    << Outcome::OtherUnitOrFunction << "reply for function 4, expected function 3";
    QTest::newRow("an answer with a bad byte count") << Fault::BadByteCountOnly << false << 0 << "" << 0 << true
                                                     << Outcome::BadReply << "bad byte count: 4, expected 6";
    QTest::newRow("no reply") << Fault::NoReply << false << 0 << "" << 0 << true << Outcome::NoReply
                              << "no reply from unit 1 within 2000 ms";
    QTest::newRow("incomplete reply") << Fault::Incomplete << false << 0 << "" << 0 << true << Outcome::BadReply
                                      << "reply too short: 5 of 11 bytes from unit 1";
    QTest::newRow("ASCII bad LRC") << Fault::LrcError << true << 0 << "" << 0 << false << Outcome::ChecksumError
                                   << "checksum error (LRC) in the reply from unit 1";
    QTest::newRow("ASCII exception") << Fault::AsciiException << true << 0 << "" << 3 << false << Outcome::Exception
                                     << "exception 3: illegal data value";
    QTest::newRow("ASCII garbage before the reply") << Fault::AsciiGarbage << true << -1 << "" << 0 << false << ok << "";
    QTest::newRow("ASCII reply split with gaps") << Fault::AsciiSplit << true << -1 << "" << 0 << false << ok << "";
    QTest::newRow("ASCII frame ending in LF alone, then the reply") << Fault::AsciiLfOnlyThenAnswer << true << -1 << "" << 0 << false << ok << "";
    QTest::newRow("ASCII noise line, then the reply") << Fault::AsciiNoiseLineThenAnswer << true << -1 << "" << 0 << false << ok << "";
    QTest::newRow("ASCII cut-off frame, then the reply") << Fault::AsciiCutOffThenAnswer << true << -1 << "" << 0 << false << ok << "";
}

void TestMasterTransactions::faults()
{
    QFETCH(Fault, fault);
    QFETCH(bool, ascii);
    QFETCH(int, result);
    QFETCH(QString, errorText);
    QFETCH(int, exceptionCode);
    QFETCH(bool, timesOut);
    QFETCH(Outcome, outcome);
    QFETCH(QString, cause);

    Rig rig(ascii ? ScriptedDevice::Ascii : ScriptedDevice::Rtu);
    ScriptedDevice& d = rig.device;
    std::unique_ptr<FastClock> clock;
    if (timesOut) clock = std::make_unique<FastClock>(700);  // start 0.7 s into a second
    const auto split = [](const QByteArray& a) {
        return QList<Chunk>{{a.left(2), 0}, {a.mid(2, 3), 40}, {a.mid(5), 40}};
    };
    d.setScript([&](const QByteArray& r) -> QList<Chunk> {
        const QByteArray good = d.correctAnswer(r);
        switch (fault) {
        case Fault::CorruptedChecksum: return {{damaged(good), 0}};
        case Fault::GarbageBefore: return {{hex("ff0013"), 0}, {good, 20}};
        case Fault::SplitWithGaps: case Fault::AsciiSplit: return split(good);
        case Fault::Exception: return {{d.frame(hex("018302")), 0}};
        case Fault::OtherUnitThenAnswer: return {{d.frame(hex("020306000100020003")), 0}, {good, 20}};
        case Fault::OtherFunctionThenAnswer: return {{d.frame(hex("010406000100020003")), 0}, {good, 20}};
        case Fault::OtherUnitOnly: return {{d.frame(hex("020306000100020003")), 0}};
        case Fault::NoReply: return {};
        case Fault::Incomplete: return {{good.left(5), 0}};
        case Fault::LrcError: { QByteArray b = good; b[b.size() - 3] = b[b.size() - 3] == '0' ? '1' : '0'; return {{b, 0}}; }
        case Fault::AsciiException: return {{d.frame(hex("018303")), 0}};
        case Fault::AsciiGarbage: return {{"\x13garbage:zz", 0}, {good, 20}};
        case Fault::OtherFunctionOnly: return {{d.frame(hex("010406000100020003")), 0}};
        case Fault::BadByteCountOnly: return {{d.frame(hex("01030400010002")), 0}};
        case Fault::StrayAndAnswerInOneBurst: return {{d.frame(hex("020306000100020003")) + good, 0}};
        case Fault::CutOffThenAnswer: return {{good.left(4), 0}, {good, 20}};
        case Fault::AsciiLfOnlyThenAnswer: { QByteArray b = good; b.remove(b.size() - 2, 1); return {{b, 0}, {good, 20}}; }
        case Fault::AsciiNoiseLineThenAnswer: return {{"xyz\r\n", 0}, {good, 20}};
        case Fault::AsciiCutOffThenAnswer: return {{good.left(7), 0}, {good, 20}};
        }
        return {};
    });

    VariantArray v(1, 3);
    QElapsedTimer wall;
    wall.start();
    const qint64 startMs = WholeSecondClock::nowMilliseconds();
    QCOMPARE(int(rig.read(40001, v, 3)), result);
    if (result == -1) {
        QCOMPARE(v[1], QVariant(100));
        QCOMPARE(v[3], QVariant(102));
    }
    QCOMPARE(Access::errorText(rig.link), errorText);
    QCOMPARE(int(rig.link.LastExceptionCode()), exceptionCode);
    QCOMPARE(rig.link.LastResult().outcome, outcome);
    QCOMPARE(rig.link.LastResult().text, cause);
    if (timesOut) {
        // Component time: between one and two seconds.
        const qint64 took = WholeSecondClock::nowMilliseconds() - startMs;
        QVERIFY2(took >= 1000 && took <= 2300, qPrintable(QString::number(took)));
        // The read leaves the line busy until the watchdog gives the reply up.
        QCOMPARE(rig.link.CommBusy().toBool(), true);
        VariantArray w(1, 1);
        QCOMPARE(rig.read(40001, w, 1), qint16(966));
        Access::watchdog(rig.link).start(5);
        QTRY_COMPARE(rig.link.CommBusy().toBool(), false);
        Access::watchdog(rig.link).stop();
    } else {
        QVERIFY2(wall.elapsed() < 1000, "a fault that needs no time-out ends the transaction at once");
    }
    QVERIFY(rig.nextReadSucceeds());
    QCOMPARE(rig.link.LastExceptionCode(), qint16(0));
}

// A reply that comes after its read timed out, once the next request is out,
// must not be taken for that request's answer.
void TestMasterTransactions::lateReplyIsNotTheNextAnswer()
{
    Rig rig;
    ScriptedDevice& d = rig.device;
    QByteArray late;
    {
        FastClock clock;
        d.setScript([&](const QByteArray& r) {
            late = d.correctAnswer(r);
            return QList<Chunk>{};
        });
        VariantArray v(1, 3);
        QCOMPARE(rig.read(40001, v, 3), qint16(0));
    }
    rig.link.setCommBusy(false);  // as the host does after its busy wait
    d.registers[0] = 4242;
    d.setScript([&](const QByteArray& r) { return QList<Chunk>{{late, 0}, {d.correctAnswer(r), 20}}; });
    VariantArray v(1, 1);
    QCOMPARE(rig.read(40001, v, 1), qint16(-1));
    QCOMPARE(v[1], QVariant(4242));
    // Even the same request shape: the stray bytes are gone with the next request.
    QVERIFY(rig.nextReadSucceeds());
}

void TestMasterTransactions::lateReplyBeforeTheNextRequestIsDiscarded()
{
    Rig rig;
    ScriptedDevice& d = rig.device;
    QByteArray late;
    {
        FastClock clock;
        d.setScript([&](const QByteArray& r) {
            late = d.correctAnswer(r);
            return QList<Chunk>{};
        });
        VariantArray v(1, 3);
        QCOMPARE(rig.read(40001, v, 3), qint16(0));
    }
    // The late answer is waiting on the line, unread, when the next request is built.
    rig.link.setCommBusy(false);
    QVERIFY(rig.pty.write(late));
    d.registers[0] = 7;
    d.registers[1] = 8;
    d.registers[2] = 9;
    d.serveCorrectly();
    VariantArray v(1, 3);
    QCOMPARE(rig.read(40001, v, 3), qint16(-1));
    QCOMPARE(v[1], QVariant(7));
    QCOMPARE(v[3], QVariant(9));
}

void TestMasterTransactions::noReplyInRealTimeCostsNoCpu()
{
    Rig rig;
    rig.device.stayQuiet();
    VariantArray v(1, 1);
    QElapsedTimer wall;
    const double cpuBefore = processCpuSeconds();
    wall.start();
    QCOMPARE(rig.read(40001, v, 1), qint16(0));
    const qint64 ms = wall.elapsed();
    const double cpuMs = (processCpuSeconds() - cpuBefore) * 1000.0;
    qInfo("no reply: %lld ms wall, %.1f ms CPU", ms, cpuMs);
    QVERIFY2(ms >= 950 && ms <= 2300, qPrintable(QString::number(ms)));
    QVERIFY2(cpuMs < 0.1 * double(ms), qPrintable(QString("%1 ms CPU in %2 ms").arg(cpuMs).arg(ms)));
    QCOMPARE(rig.link.CommBusy().toBool(), true);
    QCOMPARE(rig.read(40001, v, 1), qint16(966));
    rig.link.setCommBusy(false);
    QVERIFY(rig.nextReadSucceeds());
}

// Setting CommBusy to false ends a wait at its next check; a wait ended without
// the answer delivers no values.
void TestMasterTransactions::commBusyFalseEndsTheWaitAsFailure()
{
    Rig rig;
    rig.device.stayQuiet();
    QTimer::singleShot(50, &rig.link, [&] { rig.link.setCommBusy(false); });
    VariantArray v(1, 1);
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(rig.read(40001, v, 1), qint16(0));
    QVERIFY(wall.elapsed() < 900);
    QVERIFY(!v[1].isValid());
    QVERIFY(rig.nextReadSucceeds());
}

// ---- Writes -----------------------------------------------------------------------------------

void TestMasterTransactions::writes_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("request");  // before the CRC
    QTest::newRow("40001 = 300") << QVariant(40001) << QVariantList{300} << 0 << hex("01060000012c");
    QTest::newRow("three registers") << QVariant(40001) << QVariantList{1, 2, 3} << 0 << hex("01100000000306000100020003");
    QTest::newRow("ioDFloat 100.0") << QVariant(40001) << QVariantList{100.0} << 3 << hex("0110000000020442c80000");
    QTest::newRow("coil 5 on") << QVariant(5) << QVariantList{1} << 0 << hex("01050004ff00");
    QTest::newRow("ten coils") << QVariant(1) << QVariantList{1, 0, 1, 1, 0, 0, 0, 0, 1, 1} << 0 << hex("010f0000000a020d03");
    QTest::newRow("unit text") << QVariant("2;40003") << QVariantList{9} << 0 << hex("020600020009");
}

void TestMasterTransactions::writes()
{
    QFETCH(QVariant, address);
    QFETCH(QVariantList, values);
    QFETCH(int, type);
    QFETCH(QByteArray, request);
    Rig rig;
    VariantArray a(1, int(values.size()));
    for (int i = 0; i < values.size(); ++i) a[i + 1] = values[i];
    QCOMPARE(rig.write(address, a, qint16(values.size()), qint16(type)), qint16(-1));
    QCOMPARE(rig.device.requests.value(0).toHex(), AppendCRC(request).toHex());
    QCOMPARE(rig.link.CommBusy().toBool(), false);
    QVERIFY(rig.nextReadSucceeds());
}

void TestMasterTransactions::broadcastWriteAwaitsNothing()
{
    Rig rig;
    rig.device.stayQuiet();
    VariantArray a(1, 1);
    a[1] = 77;
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(rig.write("0;40001", a, 1), qint16(-1));
    QVERIFY(wall.elapsed() < 500);
    QCOMPARE(rig.link.CommBusy().toBool(), false);
    QVERIFY(rig.device.waitForRequests(1));
    QCOMPARE(rig.device.requests[0].toHex(), AppendCRC(hex("00060000004d")).toHex());
}

void TestMasterTransactions::signedWriteRewritesCallersValue()
{
    Rig rig;
    VariantArray a(1, 1);
    a[1] = -2;
    QCOMPARE(rig.write(40001, a, 1, ioSignedWord), qint16(-1));
    QCOMPARE(a[1], QVariant(65534));
    QCOMPARE(rig.device.registers[0], quint16(65534));
}

void TestMasterTransactions::fixedPointWriteIsTwoSingleWrites()
{
    Rig rig;
    VariantArray a(1, 1);
    a[1] = 12.3456;
    QCOMPARE(rig.write(40011, a, 1, ioFloat), qint16(-1));
    QCOMPARE(rig.device.requests.size(), 2);
    QCOMPARE(rig.device.requests[0].toHex(), AppendCRC(hex("0106000a000c")).toHex());
    QCOMPARE(rig.device.requests[1].toHex(), AppendCRC(hex("0106000b0d80")).toHex());
}

void TestMasterTransactions::fixedPointWriteStopsAfterAFailedFirstHalf()
{
    Rig rig;
    rig.device.setScript([&](const QByteArray&) { return QList<Chunk>{{rig.device.frame(hex("018602")), 0}}; });
    VariantArray a(1, 1);
    a[1] = 1.5;
    QCOMPARE(rig.write(40001, a, 1, ioFloat), qint16(0));
    ScriptedDevice::runFor(30);
    QCOMPARE(rig.device.requests.size(), 1);
    QCOMPARE(rig.link.LastExceptionCode(), qint16(2));
}

void TestMasterTransactions::refusedOperationsSendNothing_data()
{
    QTest::addColumn<bool>("isWrite");
    QTest::addColumn<int>("plcType");
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<int>("count");
    QTest::newRow("unknown tag") << false << 1 << QVariant("NoSuchTag") << 1;
    QTest::newRow("unit text that does not parse") << false << 1 << QVariant(";40001") << 1;
    QTest::newRow("reference 20001") << false << 1 << QVariant(20001) << 1;
    QTest::newRow("126 registers") << false << 1 << QVariant(40001) << 126;
    QTest::newRow("PLCType EnType5") << false << 5 << QVariant(40001) << 1;
    QTest::newRow("write to an input register") << true << 1 << QVariant(30001) << 1;
    QTest::newRow("EnType2 write to range 4") << true << 2 << QVariant(4001) << 1;
    QTest::newRow("more values than the array holds") << true << 1 << QVariant(40001) << 3;
    QTest::newRow("128 registers") << true << 1 << QVariant(40001) << 128;
    QTest::newRow("unknown tag written") << true << 1 << QVariant("NoSuchTag") << 1;
}

void TestMasterTransactions::refusedOperationsSendNothing()
{
    QFETCH(bool, isWrite);
    QFETCH(int, plcType);
    QFETCH(QVariant, address);
    QFETCH(int, count);
    Rig rig;
    rig.link.setPLCType(plcType);
    VariantArray a(1, count == 3 ? 2 : count);
    for (int i = 1; i <= a.upperBound(); ++i) a[i] = i;
    QElapsedTimer wall;
    wall.start();
    if (isWrite) QCOMPARE(rig.write(address, a, qint16(count)), qint16(0));
    else QCOMPARE(rig.read(address, a, count), qint16(0));
    QVERIFY(wall.elapsed() < 500);
    QCOMPARE(rig.link.CommBusy().toBool(), false);
    ScriptedDevice::runFor(30);
    QCOMPARE(rig.device.requests.size(), 0);
}

void TestMasterTransactions::closedPortFailsAtOnce()
{
    Rig rig;
    rig.link.setPortOpen(false);
    VariantArray v(1, 1);
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(rig.read(40001, v, 1), qint16(0));
    QCOMPARE(rig.write(40001, v, 1), qint16(0));
    QVariant size = 1;
    QCOMPARE(rig.link.ReadPLCNW(40001, size), qint16(0));
    QVERIFY(wall.elapsed() < 500);
    QCOMPARE(rig.link.CommBusy().toBool(), false);
    rig.link.setPortOpen(true);
    QVERIFY(rig.nextReadSucceeds());
}

// ---- Watchdog and completions ------------------------------------------------------------------

void TestMasterTransactions::watchdogReportsFiveLostReplies()
{
    Rig rig;
    ManualClock clock;
    rig.device.stayQuiet();
    rig.link.setAddress(9);
    struct Completion { QVariant unit; qint32 MAdd; qint16 quan; QString error; qint16 status; };
    QList<Completion> completions;
    connect(&rig.link, &Buslink::CommCompleteEx, this,
            [&](const VariantArray& MData, qint32 MAdd, qint16 quan, const QString& ErrorStr, qint16 RespStatus) {
                completions.append({MData[1], MAdd, quan, ErrorStr, RespStatus});
            });
    for (int lost = 1; lost <= 5; ++lost) {
        QVariant size = 1;
        QCOMPARE(rig.link.ReadPLCNW(40010, size), qint16(-1));
        clock.advanceSeconds(1);
        Access::watchdogTick(rig.link);  // one second is not yet two
        QCOMPARE(rig.link.CommBusy().toBool(), true);
        clock.advanceSeconds(1);
        Access::watchdogTick(rig.link);
        QCOMPARE(Access::lostReplies(rig.link), qint16(lost));
        QCOMPARE(rig.link.CommBusy().toBool(), false);
        QVERIFY(completions.isEmpty());
    }
    Access::watchdogTick(rig.link);
    QCOMPARE(completions.size(), 1);
    QCOMPARE(completions[0].error, QString("Read error"));
    QCOMPARE(completions[0].quan, qint16(1));
    QCOMPARE(completions[0].status, qint16(0));
    QCOMPARE(completions[0].MAdd, 40010);
    QCOMPARE(completions[0].unit.toInt(), 9);
    QCOMPARE(Access::lostReplies(rig.link), qint16(0));
    const auto lost = rig.link.ownIoDatabase().lostReports();
    QCOMPARE(lost.size(), 1);
    QCOMPARE(lost[0].unit.toInt(), 9);
    QCOMPARE(lost[0].code, 66);
    QCOMPARE(lost[0].status, 9666);
    // The watchdog runs on Timer1 once the properties are loaded.
    MemoryPropertyBag bag;
    bag.values["Settings"] = "9600,n,8,1";
    rig.link.setPortOpen(false);
    rig.link.ReadProperties(bag);
    QVERIFY(Access::watchdog(rig.link).isActive());
    QCOMPARE(Access::watchdog(rig.link).interval(), 2000);
}

void TestMasterTransactions::noWaitReadRaisesCompletion()
{
    Rig rig;
    rig.device.registers[9] = 42;
    QList<QPair<qint32, qint16>> completions;
    QVariant first;
    connect(&rig.link, &Buslink::CommCompleteEx, this,
            [&](const VariantArray& MData, qint32 MAdd, qint16 quan, const QString&, qint16) {
                completions.append({MAdd, quan});
                first = MData[1];
            });
    QVariant size = 2;
    QCOMPARE(rig.link.ReadPLCNW("5;40010", size), qint16(-1));
    QTRY_COMPARE(completions.size(), 1);
    QCOMPARE(completions[0].first, 40010);
    QCOMPARE(completions[0].second, qint16(2));
    QCOMPARE(first, QVariant(42));
    QCOMPARE(rig.link.ownIoDatabase().value("5;40010"), QVariant(42));
}

void TestMasterTransactions::errorTextIsEmptyAfterACrcFailure()
{
    Rig rig;
    QStringList errors;
    QList<qint16> statuses;
    connect(&rig.link, &Buslink::CommCompleteEx, this,
            [&](const VariantArray&, qint32, qint16, const QString& ErrorStr, qint16 RespStatus) {
                errors << ErrorStr;
                statuses << RespStatus;
            });
    rig.device.setScript([&](const QByteArray& r) { return QList<Chunk>{{damaged(rig.device.correctAnswer(r)), 0}}; });
    QVariant size = 1;
    QCOMPARE(rig.link.ReadPLCNW(40001, size), qint16(-1));
    QTRY_VERIFY(Access::readDone(rig.link));
    QCOMPARE(Access::errorText(rig.link), QString("CRC error"));
    QVERIFY(errors.isEmpty());  // no completion for a failed reply
    rig.device.serveCorrectly();
    QCOMPARE(rig.link.ReadPLCNW(40001, size), qint16(-1));
    QTRY_COMPARE(errors.size(), 1);
    QCOMPARE(errors[0], QString());
    QCOMPARE(statuses[0], qint16(-1));
}

// ---- Frame trace ----------------------------------------------------------------------------------

void TestMasterTransactions::frameTraceVerdicts()
{
    Rig rig;
    QList<FrameTraceEntry> trace;
    rig.link.setFrameTrace([&](const FrameTraceEntry& e) { trace.append(e); });
    ScriptedDevice& d = rig.device;
    VariantArray v(1, 1);

    QCOMPARE(rig.read(40001, v, 1), qint16(-1));
    QCOMPARE(trace.size(), 2);
    QVERIFY(trace[0].sent);
    QCOMPARE(trace[0].bytes, d.requests[0]);
    QVERIFY(!trace[1].sent);
    QCOMPARE(trace[1].verdict, QString("ok"));
    QVERIFY(trace[1].timestampMs > 0);

    const auto verdictsOf = [&](std::function<QList<Chunk>(const QByteArray&)> script) {
        trace.clear();
        d.setScript(std::move(script));
        rig.read(40001, v, 1);
        QStringList verdicts;
        for (const FrameTraceEntry& e : trace)
            if (!e.sent) verdicts << e.verdict;
        return verdicts;
    };
    QCOMPARE(verdictsOf([&](const QByteArray& r) { return QList<Chunk>{{damaged(d.correctAnswer(r)), 0}}; }),
             QStringList{"CRC error"});
    QCOMPARE(verdictsOf([&](const QByteArray&) { return QList<Chunk>{{d.frame(hex("018302")), 0}}; }),
             QStringList{"exception 2 (illegal data address)"});
    QCOMPARE(verdictsOf([&](const QByteArray& r) { return QList<Chunk>{{d.frame(hex("0203020001")), 0}, {d.correctAnswer(r), 20}}; }),
             (QStringList{"reply from unit 2, expected unit 1", "ok"}));
    {
        FastClock clock;
        QCOMPARE(verdictsOf([&](const QByteArray& r) { return QList<Chunk>{{d.correctAnswer(r).left(4), 0}}; }),
                 QStringList{"incomplete"});
    }
    // Off again: nothing is called.
    rig.link.setCommBusy(false);
    rig.link.setFrameTrace({});
    trace.clear();
    QVERIFY(rig.nextReadSucceeds());
    QVERIFY(trace.isEmpty());
}

// ---- Raw line access ------------------------------------------------------------------------------

void TestMasterTransactions::rawModeDeliversTextToTheHost()
{
    Rig rig;
    QStringList texts;
    QList<qint16> codes;
    connect(&rig.link, &Buslink::CommEventModem, this, [&](qint16 code, const VariantArray& MData, bool) {
        codes << code;
        texts << MData[MData.lowerBound()].toString();
    });
    QString command = "ATZ\r";
    rig.link.SendToComm(command);
    QCOMPARE(rig.pty.read(4, 1000), QByteArray("ATZ\r"));
    QVERIFY(rig.pty.write("OK\r\n"));
    QTRY_VERIFY(texts.join(QString()) == "OK\r\n");
    QVERIFY(codes.contains(2));
    // A Modbus read leaves raw mode; its reply goes to the protocol, not to the host.
    texts.clear();
    QVERIFY(rig.nextReadSucceeds());
    QVERIFY(texts.isEmpty());
}

void TestMasterTransactions::clearCommPortDiscardsAPartialReply()
{
    Rig rig;
    FastClock clock(0, 10, 2);  // two seconds take 400 ms; the reply would be complete after 45 ms
    ScriptedDevice& d = rig.device;
    d.setScript([&](const QByteArray& r) {
        QTimer::singleShot(15, &rig.link, [&] { rig.link.ClearCommPort(); });
        const QByteArray a = d.correctAnswer(r);
        return QList<Chunk>{{a.left(6), 0}, {a.mid(6), 45}};
    });
    VariantArray v(1, 3);
    QCOMPARE(rig.read(40001, v, 3), qint16(0));
    rig.link.setCommBusy(false);
    QVERIFY(rig.nextReadSucceeds());
}

// ---- A line that vanishes, the reply time-out, silence ----------------------------------------

void TestMasterTransactions::lineLostEndsTheTransactionAtOnce()
{
    Rig rig;
    rig.device.stayQuiet();
    QSignalSpy lost(&rig.link, &Buslink::LineLost);
    QTimer::singleShot(200, [&] { rig.pty.closeMaster(); });
    VariantArray v(1, 1);
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(rig.read(40001, v, 1), qint16(0));
    QVERIFY2(wall.elapsed() < 1500, "the loss ends the wait, not the time-out");
    QCOMPARE(rig.link.LastResult().outcome, Outcome::LineLost);
    QVERIFY2(rig.link.LastResult().text.contains(rig.pty.devicePath()), qPrintable(rig.link.LastResult().text));
    QCOMPARE(lost.count(), 1);
    QCOMPARE(rig.link.CommBusy().toBool(), false);
    // Still gone: the next read fails at once and says so.
    wall.restart();
    QCOMPARE(rig.read(40001, v, 1), qint16(0));
    QVERIFY(wall.elapsed() < 1500);
    QCOMPARE(rig.link.LastResult().outcome, Outcome::LineLost);
}

void TestMasterTransactions::replyTimeoutIsTheHostsToSet()
{
    Rig rig;
    QCOMPARE(rig.link.ReplyTimeout(), 2000);
    QCOMPARE(errorNumberOf([&] { rig.link.setReplyTimeout(0); }), int(ErrInvalidPropertyValue));
    QCOMPARE(errorNumberOf([&] { rig.link.setReplyTimeout(60001); }), int(ErrInvalidPropertyValue));
    rig.link.setReplyTimeout(300);
    rig.device.stayQuiet();
    VariantArray v(1, 1);
    QElapsedTimer wall;
    wall.start();
    QCOMPARE(rig.read(40001, v, 1), qint16(0));
    QVERIFY2(wall.elapsed() >= 290 && wall.elapsed() < 1500, qPrintable(QString::number(wall.elapsed())));
    QCOMPARE(rig.link.LastResult().text, QString("no reply from unit 1 within 300 ms"));
    // The watchdog gives the reply up after the same time.
    QCOMPARE(Access::watchdog(rig.link).interval(), 300);
    QTRY_COMPARE_WITH_TIMEOUT(rig.link.CommBusy().toBool(), false, 2000);
    QVERIFY(rig.nextReadSucceeds());

    // Kept with the other properties.
    MemoryPropertyBag bag;
    rig.link.WriteProperties(bag);
    QCOMPARE(bag.values.value("ReplyTimeout").toInt(), 300);
    Buslink other;
    other.ReadProperties(bag);
    QCOMPARE(other.ReplyTimeout(), 300);
}

// On a real line a silence ends what was received: a fragment before it is dropped
// and traced, never joined to the answer that follows.
void TestMasterTransactions::silenceDropsAFragment()
{
    Rig rig;
    rig.link.port().setSilenceDetection(SerialPortService::SilenceDetection::Always);
    QList<FrameTraceEntry> trace;
    rig.link.setFrameTrace([&](const FrameTraceEntry& e) { trace.append(e); });
    ScriptedDevice& d = rig.device;
    d.setScript([&](const QByteArray& r) { return QList<Chunk>{{d.correctAnswer(r).left(3), 0}, {d.correctAnswer(r), 150}}; });
    VariantArray v(1, 3);
    QCOMPARE(rig.read(40001, v, 3), qint16(-1));
    QCOMPARE(v[3], QVariant(102));
    QStringList verdicts;
    for (const FrameTraceEntry& e : trace)
        if (!e.sent) verdicts << e.verdict;
    QCOMPARE(verdicts, (QStringList{"incomplete", "ok"}));
}

QTEST_GUILESS_MAIN(TestMasterTransactions)
#include "test_master_transactions.moc"
