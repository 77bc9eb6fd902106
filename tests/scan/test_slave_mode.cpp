// The component in its slave modes on real serial ends: frames found among noise
// (the noise table, and silences on the line), replies and events, exception
// replies, the register image methods, and independent masters (libmodbus and
// mbpoll over RTU, pymodbus over ASCII) for every function code the slave serves,
// the standard's largest requests, exceptions they report, and a long run of
// requests back to back.
#include "ErrorNumber.h"
#include "NoiseTable.h"
#include "PeerProcess.h"
#include "PtyPair.h"
#include "ScanTestSupport.h"
#include "WaitUntil.h"
#include "protocol/FrameCodec.h"
#include "scan/IoDatabaseService.h"
#include "shell/Buslink.h"
#include "base/BuslinkError.h"
#include "base/EventWait.h"
#include "base/WholeSecondClock.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>
#include <functional>
#include <unistd.h>

namespace buslink {
class BuslinkTestAccess {
public:
    static void setWriteLock(Buslink& b, bool on) { b.WriteLock = on; }
    static VariantArray& replyData(Buslink& b) { return b.ReplyData; }
};
} // namespace buslink

using namespace buslink;
using Access = BuslinkTestAccess;

namespace {

QByteArray rtu(const char* hex) { return AppendCRC(QByteArray::fromHex(hex)); }

// The line as the master on the other end of a pseudo-terminal sees it, read
// while the component keeps running.
QByteArray readLine(PtyPair& pty, int want, int timeoutMs)
{
    QByteArray got;
    waitUntil([&] {
        got += pty.read(0, 1);
        return want > 0 && got.size() >= want;
    }, timeoutMs);
    return got;
}

// Runs an independent master to its end while the component serves it.
QStringList runMaster(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess master;
    master.setProcessChannelMode(QProcess::MergedChannels);
    master.start(program, args);
    if (!master.waitForStarted(5000)) return {"START ERROR " + master.errorString()};
    waitUntil([&] { return master.state() == QProcess::NotRunning; }, timeoutMs);
    if (master.state() != QProcess::NotRunning) {
        master.kill();
        master.waitForFinished(2000);
    }
    return QString::fromLocal8Bit(master.readAll()).split('\n', Qt::SkipEmptyParts);
}

qint64 residentBytes()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

struct Slave {
    Buslink link;
    explicit Slave(const QString& device, qint16 mode, qint32 plcType = EnStdModbus)
    {
        link.InitProperties();
        link.setDevicePath(device);
        link.setSettings("9600,n,8,1");
        link.setPLCType(plcType);
        link.setPortOpen(true);
        link.setModBusMode(mode);
    }
    void set(int index, int value)
    {
        VariantArray v(1, 1);
        v[1] = value;
        link.SetModData(index, v);
    }
    int get(int index)
    {
        VariantArray v(1, 1);
        qint16 n = 1;
        link.ReadModData(index, v, n);
        return v[1].toInt();
    }
};

// The operations every master runs, with what each must print; the slave's image is prepared to match.
struct Exchange {
    QString operation;  // for the master: name and arguments
    QString expected;   // the line the master prints
};

QString numbers(int count, const std::function<int(int)>& value, const char* separator)
{
    QStringList out;
    for (int i = 0; i < count; ++i) out << QString::number(value(i));
    return out.join(separator);
}

QList<Exchange> everyFunctionCode(bool longBitRequests)
{
    const auto word = [](int i) { return 1000 + i; };
    const auto bit = [](int i) { return i % 3 == 0 ? 1 : 0; };
    QList<Exchange> exchanges{
        {"read-coils 0 10", "read-coils 0 10 OK 1 0 1 0 0 0 0 0 0 1"},
        {"read-inputs 4 3", "read-inputs 4 3 OK 0 1 1"},
        {"read-holding 9 2", "read-holding 9 2 OK 1234 0"},
        {"read-input-registers 0 3", "read-input-registers 0 3 OK 7 65535 300"},
        {"write-coil 20 1", "write-coil 20 1 OK"},
        {"write-register 100 4321", "write-register 100 4321 OK"},
        {"write-coils 30 1,0,1,1,0,0,1,1,1", "write-coils 30 1,0,1,1,0,0,1,1,1 OK"},
        {"write-registers 200 11,22,33", "write-registers 200 11,22,33 OK"},
        {"read-holding 200 3", "read-holding 200 3 OK 11 22 33"},
        {"read-coils 30 9", "read-coils 30 9 OK 1 0 1 1 0 0 1 1 1"},
        // The standard's largest register requests, and exceptions the master must report.
        {"write-registers 300 " + numbers(123, word, ","), "write-registers 300 " + numbers(123, word, ",") + " OK"},
        {"read-holding 300 125", "read-holding 300 125 OK " + numbers(123, word, " ") + " 0 0"},
        {"read-holding 9999 2", "read-holding 9999 2 EXCEPTION 2"},
        {"report-slave-id", "report-slave-id EXCEPTION 1"},
    };
    if (longBitRequests) {
        exchanges << Exchange{"write-coils 400 " + numbers(1968, bit, ","), "write-coils 400 " + numbers(1968, bit, ",") + " OK"}
                  << Exchange{"read-coils 400 2000", "read-coils 400 2000 OK " + numbers(1968, bit, " ") +
                                                         QString(" 0").repeated(32)};
    }
    return exchanges;
}

void prepareImage(Slave& s)
{
    s.set(1, 1);
    s.set(3, 1);
    s.set(10, 1);
    s.set(10006, 1);
    s.set(10007, 1);
    s.set(40010, 1234);
    s.set(30001, 7);
    s.set(30002, 65535);
    s.set(30003, 300);
}

void checkImageAfterWrites(Slave& s)
{
    QCOMPARE(s.get(21), 1);
    QCOMPARE(s.get(40101), 4321);
    const int coils[] = {1, 0, 1, 1, 0, 0, 1, 1, 1};
    for (int i = 0; i < 9; ++i) QCOMPARE(s.get(31 + i), coils[i]);
    QCOMPARE(s.get(40201), 11);
    QCOMPARE(s.get(40203), 33);
}

} // namespace

class TestSlaveMode : public QObject {
    Q_OBJECT
private slots:
    void requestAnsweredWithEvent();
    void otherUnitGetsNothingUnsupportedFunctionAnException();
    void badCrcDropsOnlyItsOwnBytes();
    void twoFramesInOneBurstAreBothServed();
    void frameInPiecesIsCollected();
    void fragmentWaitsForTheRest();
    void noiseTable_data();
    void noiseTable();
    void silenceOnTheLine_data();
    void silenceOnTheLine();
    void portClosedByTheHostMidBurst();
    void hostLettingEventsRunInItsHandler();
    void broadcastWriteIsNotAnswered();
    void noReplyWhileTheHostWrites();
    void asciiRequestOverPty();
    void gatewayReadsTheService();
    void registerImageMethods();
    void registerImageFollowsTheMode();
    void replyCopy();
    void independentMasterEveryFunction_data();
    void independentMasterEveryFunction();
    void tenThousandRequestsBackToBack();

private:
    PrivateConfigHome home;
};

void TestSlaveMode::requestAnsweredWithEvent()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    s.set(40010, 1234);
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    QVERIFY(pty.write(rtu("010300090002")));
    QCOMPARE(readLine(pty, 9, 3000).toHex(' '), rtu("01030404D20000").toHex(' '));
    QVERIFY(waitUntil([&] { return events.count() == 1; }, 1000));
    QCOMPARE(events[0][1].toInt(), 3);   // MAdd: the function code
    QCOMPARE(events[0][2].toInt(), 2);   // quan
    QCOMPARE(events[0][4].toInt(), -1);  // RespStatus as the reply handling left it
    QCOMPARE(s.link.CommBusy().toBool(), false);
}

void TestSlaveMode::otherUnitGetsNothingUnsupportedFunctionAnException()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    QVERIFY(pty.write(rtu("020300090002")));
    QVERIFY(waitUntil([&] { return events.count() == 1; }, 3000));
    QVERIFY(pty.write(rtu("0107")));
    QCOMPARE(readLine(pty, 5, 3000).toHex(' '), rtu("018701").toHex(' '));
    QVERIFY(waitUntil([&] { return events.count() == 2; }, 3000));
    QCOMPARE(events[0][1].toInt(), 3);
    QCOMPARE(events[1][1].toInt(), 7);
}

void TestSlaveMode::badCrcDropsOnlyItsOwnBytes()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    QList<FrameTraceEntry> traced;
    s.link.setFrameTrace([&](const FrameTraceEntry& e) { traced << e; });
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    QByteArray bad = rtu("010300090002");
    bad[7] = char(bad[7] ^ 0x55);
    QVERIFY(pty.write(bad + rtu("010300000001")));
    QCOMPARE(readLine(pty, 7, 3000).toHex(' '), rtu("0103020000").toHex(' '));
    QVERIFY(waitUntil([&] { return events.count() == 2; }, 3000));
    QCOMPARE(events[0][1].toInt(), -2);  // the damaged frame is still reported
    QCOMPARE(events[1][1].toInt(), 3);
    QVERIFY(!traced.isEmpty());
    QCOMPARE(traced[0].bytes.toHex(' '), bad.toHex(' '));
    QCOMPARE(traced[0].verdict, QString("CRC error"));
}

void TestSlaveMode::twoFramesInOneBurstAreBothServed()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    s.set(40001, 5);
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    QVERIFY(pty.write(rtu("01060001000A") + rtu("010300000002")));
    const QByteArray expected = rtu("01060001000A") + rtu("0103040005000A");
    QCOMPARE(readLine(pty, int(expected.size()), 3000).toHex(' '), expected.toHex(' '));
    QCOMPARE(events.count(), 2);
}

void TestSlaveMode::frameInPiecesIsCollected()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    const QByteArray request = rtu("01100000000204000A000B");
    QVERIFY(pty.write(request.left(9)));
    QTimer::singleShot(300, [&] { pty.write(request.mid(9)); });
    QCOMPARE(readLine(pty, 8, 3000).toHex(' '), rtu("011000000002").toHex(' '));
    QCOMPARE(events.count(), 1);
    QCOMPARE(s.get(40002), 11);
}

void TestSlaveMode::fragmentWaitsForTheRest()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    const QByteArray request = rtu("010300000001");
    QVERIFY(pty.write(request.left(5)));
    waitUntil([] { return false; }, 300);
    QCOMPARE(events.count(), 0);  // nothing given up, nothing read past
    QVERIFY(pty.write(request.mid(5)));
    QCOMPARE(readLine(pty, 7, 3000).toHex(' '), rtu("0103020000").toHex(' '));
    QCOMPARE(events.count(), 1);
}

void TestSlaveMode::noiseTable_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("delivery");
    const QList<noise::Row> rows = noise::rows();
    for (const int mode : {int(SlaveRtu), int(SlaveAscii)})
        for (int i = 0; i < rows.size(); ++i)
            for (const auto d : {noise::Delivery::Whole, noise::Delivery::Halves, noise::Delivery::ByteByByte})
                QTest::addRow("%s, %s, %s", mode == SlaveRtu ? "rtu" : "ascii", rows[i].name, noise::deliveryName(d))
                    << mode << i << int(d);
}

// The noise table on a pseudo-terminal (no silence is signalled there): every request
// is served in order, every other byte is traced with its verdict, damaged frames
// are reported with MAdd -2, and only the requests' writes reach the image.
void TestSlaveMode::noiseTable()
{
    QFETCH(int, mode);
    QFETCH(int, row);
    QFETCH(int, delivery);
    const Framing framing = mode == SlaveRtu ? Framing::Rtu : Framing::Ascii;
    const noise::Row r = noise::rows()[row];
    PtyPair pty;
    Slave s(pty.devicePath(), qint16(mode));
    s.set(noise::kInitialIndex, noise::kInitialValue);
    s.set(40010, 1234);
    QList<noise::Seen> traced;
    s.link.setFrameTrace([&](const FrameTraceEntry& e) {
        if (!e.sent) traced << noise::Seen{false, e.bytes, e.verdict};
    });
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);

    QByteArray replies;
    int requests = 0, watched = 0;
    for (const noise::Part& p : r.parts) {
        if (p.kind != noise::Part::Request) continue;
        ++requests;
        if (!p.reply.isEmpty()) replies += noise::framed(p.reply, framing);
        if (p.effectIndex == noise::kWatchedIndex) watched = p.effectValue;
    }
    const QList<QByteArray> pieces = noise::pieces(noise::lineOf(r, framing), noise::Delivery(delivery));
    for (const QByteArray& piece : pieces) {
        QVERIFY(pty.write(piece));
        if (pieces.size() > 1) LetPendingEventsRun(1);
    }
    QCOMPARE(readLine(pty, int(replies.size()), 5000).toHex(' '), replies.toHex(' '));
    QVERIFY(waitUntil([&] { return events.count() >= requests; }, 3000));
    // Every request raised its event; so did every drop traced as a failed check (which
    // the table demands of damaged requests and allows of garbage), and nothing else.
    int served = 0, damaged = 0, tracedDamaged = 0;
    for (const QList<QVariant>& e : events) (e[1].toInt() == -2 ? damaged : served) += 1;
    for (const noise::Seen& t : traced) tracedDamaged += t.verdict.endsWith(" error") ? 1 : 0;
    QCOMPARE(served, requests);
    QCOMPARE(damaged, tracedDamaged);

    QList<noise::Seen> seen;
    for (const noise::Seen& t : traced) seen << noise::Seen{t.verdict == "ok", t.bytes, t.verdict};
    const QList<noise::Seen> merged = noise::mergedDrops(seen);
    QStringList shown;
    for (const noise::Seen& t : merged) shown << t.bytes.toHex(' ') + " (" + t.verdict + ")";
    QVERIFY2(noise::matches(merged, noise::expectedSeen(r, framing)), qPrintable(shown.join("\n")));

    QCOMPARE(s.get(noise::kInitialIndex), noise::kInitialValue);
    QCOMPARE(s.get(noise::kWatchedIndex), watched);
}

void TestSlaveMode::silenceOnTheLine_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");    // sent once the silence after the first was handled
    QTest::addColumn<QByteArray>("reply");     // expected after the second; empty: none
    QTest::addColumn<QStringList>("verdicts");  // the received frames' trace verdicts, in order
    const QByteArray g = rtu("010300090001");
    QTest::newRow("three stray bytes, a pause, a request")
        << QByteArray::fromHex("55AA13") << g << rtu("01030204D2") << QStringList{"noise", "ok"};
    QTest::newRow("a request cut by a pause is not joined to what follows")
        << g.left(4) << g.mid(4) << QByteArray() << QStringList{"incomplete", "incomplete"};
    QTest::newRow("a damaged request, a pause, a request")
        << g.left(7) + char(g[7] ^ 1) << g << rtu("01030204D2") << QStringList{"CRC error", "ok"};
}

// Silence detection switched on for a pseudo-terminal: what a silence ends is settled
// then and there, never joined to the bytes after it.
void TestSlaveMode::silenceOnTheLine()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, verdicts);
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    s.set(40010, 1234);
    s.link.port().setSilenceDetection(SerialPortService::SilenceDetection::Always);
    QList<FrameTraceEntry> received;
    s.link.setFrameTrace([&](const FrameTraceEntry& e) {
        if (!e.sent) received << e;
    });
    QVERIFY(pty.write(first));
    // The silence, not the next bytes, disposes of the first ones.
    QVERIFY(waitUntil([&] { return received.size() == 1; }, 3000));
    QCOMPARE(received[0].bytes.toHex(' '), first.toHex(' '));
    QVERIFY(pty.write(second));
    QVERIFY(waitUntil([&] { return received.size() == verdicts.size(); }, 3000));
    QCOMPARE(readLine(pty, int(reply.size()), reply.isEmpty() ? 100 : 3000).toHex(' '), reply.toHex(' '));
    QStringList seen;
    for (const FrameTraceEntry& e : received) seen << e.verdict;
    QCOMPARE(seen, verdicts);
}

// The port may be closed at any moment, here by the host's handler of the first
// frame's event: the rest of the burst is not served and nothing fails; once the
// port is open again the next request is served alone.
void TestSlaveMode::portClosedByTheHostMidBurst()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    bool closeOnEvent = true;
    connect(&s.link, &Buslink::CommCompleteEx, &s.link, [&] {
        if (closeOnEvent) s.link.setPortOpen(false);
    });
    QVERIFY(pty.write(rtu("010600010005") + rtu("010600020006")));
    QCOMPARE(readLine(pty, 8, 3000).toHex(' '), rtu("010600010005").toHex(' '));
    waitUntil([] { return false; }, 200);
    QCOMPARE(events.count(), 1);
    QCOMPARE(s.get(40003), 0);
    closeOnEvent = false;
    s.link.setPortOpen(true);
    QVERIFY(pty.write(rtu("010300000002")));
    QCOMPARE(readLine(pty, 9, 3000).toHex(' '), rtu("01030400000005").toHex(' '));
    QCOMPARE(events.count(), 2);
}

// A host whose event handler lets events run while the next request arrives: that
// request is served after the handler returns, in order.
void TestSlaveMode::hostLettingEventsRunInItsHandler()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    bool first = true;
    connect(&s.link, &Buslink::CommCompleteEx, &s.link, [&] {
        if (!first) return;
        first = false;
        pty.write(rtu("010300000001"));
        waitUntil([] { return false; }, 200);
    });
    QVERIFY(pty.write(rtu("010600000009")));
    const QByteArray expected = rtu("010600000009") + rtu("0103020009");
    QCOMPARE(readLine(pty, int(expected.size()), 3000).toHex(' '), expected.toHex(' '));
    QCOMPARE(events.count(), 2);
}

void TestSlaveMode::broadcastWriteIsNotAnswered()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    QVERIFY(pty.write(rtu("000600000063")));
    QVERIFY(waitUntil([&] { return events.count() == 1; }, 3000));
    QCOMPARE(readLine(pty, 0, 200), QByteArray());
    QCOMPARE(s.get(40001), 99);
}

void TestSlaveMode::noReplyWhileTheHostWrites()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu);
    QSignalSpy events(&s.link, &Buslink::CommCompleteEx);
    Access::setWriteLock(s.link, true);
    QVERIFY(pty.write(rtu("010600000007")));
    QVERIFY(waitUntil([&] { return events.count() == 1; }, 3000));
    QCOMPARE(readLine(pty, 0, 200), QByteArray());
    QCOMPARE(s.get(40001), 7);
}

void TestSlaveMode::asciiRequestOverPty()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveAscii);
    s.set(40010, 0);
    QVERIFY(pty.write(":010300090001F2\r\n"));
    QCOMPARE(readLine(pty, 15, 3000), QByteArray(":0103020000FA\r\n"));
    // The ASCII text of a multiple write, split over two writes.
    const QByteArray write = AsciiFrame(QByteArray::fromHex("0110000400020400640065"));
    QVERIFY(pty.write(write.left(20)));
    QTimer::singleShot(200, [&] { pty.write(write.mid(20)); });
    QCOMPARE(readLine(pty, 17, 3000), AsciiFrame(QByteArray::fromHex("011000040002")));
    QCOMPARE(s.get(40006), 101);
}

void TestSlaveMode::gatewayReadsTheService()
{
    PtyPair pty;
    Slave s(pty.devicePath(), SlaveRtu, EnType2);
    s.link.ownIoDatabase().setValue("4;3000", 0x1234);
    s.link.ownIoDatabase().setValue("4;3001", 0x0056);
    QVERIFY(pty.write(rtu("04030BB80002")));
    QCOMPARE(readLine(pty, 9, 3000).toHex(' '), rtu("04030412340056").toHex(' '));
    QVERIFY(pty.write(rtu("07060BB90009")));
    QCOMPARE(readLine(pty, 8, 3000).toHex(' '), rtu("07060BB90009").toHex(' '));
    QCOMPARE(s.link.ownIoDatabase().value("7;3001").toInt(), 9);
}

void TestSlaveMode::registerImageMethods()
{
    Buslink b;
    b.InitProperties();
    // No image before the mode is first set.
    VariantArray one(1, 1);
    qint16 n = 1;
    QCOMPARE(errorNumberOf([&] { b.ReadModData(40001, one, n); }), int(ErrSubscriptOutOfRange));
    b.setModBusMode(SlaveRtu);

    one[1] = 1234;
    QVERIFY(!b.SetModData(QString("40010"), one).isValid());
    n = 0;  // left out
    VariantArray got(1, 3);
    QVERIFY(!b.ReadModData(40010, got, n).isValid());
    QCOMPARE(n, qint16(1));
    QCOMPARE(got[1], QVariant(qint32(1234)));

    one[1] = 9;
    b.SetModData(50000, one);
    n = 3;
    got[1] = got[2] = got[3] = QVariant();
    QCOMPARE(errorNumberOf([&] { b.ReadModData(49999, got, n); }), int(ErrSubscriptOutOfRange));
    QCOMPARE(got[1], QVariant(qint32(0)));
    QCOMPARE(got[2], QVariant(qint32(9)));
    QVERIFY(!got[3].isValid());

    n = 2;
    VariantArray tooSmall(1, 1);
    QCOMPARE(errorNumberOf([&] { b.ReadModData(1, tooSmall, n); }), int(ErrSubscriptOutOfRange));
    QCOMPARE(errorNumberOf([&] { b.ReadModData(QString("coil"), got, n); }), int(ErrTypeMismatch));
    one[1] = QString("lots");
    QCOMPARE(errorNumberOf([&] { b.SetModData(1, one); }), int(ErrTypeMismatch));
    VariantArray empty(1, 0);
    QCOMPARE(errorNumberOf([&] { b.SetModData(1, empty); }), int(ErrSubscriptOutOfRange));

    b.ForceModData(40010, 77);
    n = 1;
    b.ReadModData(40010, got, n);
    QCOMPARE(got[1].toInt(), 1234);
}

void TestSlaveMode::registerImageFollowsTheMode()
{
    Buslink b;
    b.InitProperties();
    b.setModBusMode(SlaveAscii);
    VariantArray v(1, 1);
    v[1] = 5;
    b.SetModData(40001, v);
    b.setModBusMode(SlaveAscii);  // a new image, every element 0
    qint16 n = 1;
    b.ReadModData(40001, v, n);
    QCOMPARE(v[1].toInt(), 0);
    b.setModBusMode(Rtu);  // master modes keep six elements
    v[1] = 3;
    b.SetModData(5, v);
    QCOMPARE(errorNumberOf([&] { b.ReadModData(6, v, n); }), int(ErrSubscriptOutOfRange));
    QCOMPARE(errorNumberOf([&] { b.SetModData(6, v); }), int(ErrSubscriptOutOfRange));
}

void TestSlaveMode::replyCopy()
{
    Buslink b;
    Access::replyData(b)[1] = 42;
    Access::replyData(b)[2] = QString("text");
    Access::replyData(b)[2000] = 7;  // the largest read's last value
    VariantArray out(1, 2001);
    b.IOData(out, 2);
    QCOMPARE(out[1], QVariant(42));
    QCOMPARE(out[2], QVariant(QString("text")));
    b.IOData(out, 0);
    b.IOData(out, -3);
    QCOMPARE(errorNumberOf([&] { b.IOData(out, 2001); }), int(ErrSubscriptOutOfRange));
    QCOMPARE(out[2000], QVariant(7));  // copied before the failing index
    VariantArray small(1, 1);
    QCOMPARE(errorNumberOf([&] { b.IOData(small, 2); }), int(ErrSubscriptOutOfRange));
}

void TestSlaveMode::independentMasterEveryFunction_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("leading");  // the arguments before the line's device and the operations
    QTest::addColumn<bool>("deviceAsOption");
    QTest::addColumn<bool>("longBitRequests");  // the master reads 2000 and writes 1968 coils at once
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("libmodbus RTU master") << int(SlaveRtu) << PeerProcess::binaryDir() + "/tests/scan/scan_modbus_master"
                                          << QStringList{} << true << true << 30000;
    QTest::newRow("pymodbus ASCII master") << int(SlaveAscii) << PeerProcess::python()
                                           << QStringList{PeerProcess::sourceDir() + "/scan/peers/ascii_master.py"}
                                           << false << true << 60000;
    QTest::newRow("mbpoll RTU master") << int(SlaveRtu) << PeerProcess::python()
                                       << QStringList{PeerProcess::sourceDir() + "/scan/peers/mbpoll_master.py"}
                                       << false << false << 60000;
}

void TestSlaveMode::independentMasterEveryFunction()
{
    QFETCH(int, mode);
    QFETCH(QString, program);
    QFETCH(QStringList, leading);
    QFETCH(bool, deviceAsOption);
    QFETCH(bool, longBitRequests);
    QFETCH(int, timeoutMs);
    SocatPair line;
    QVERIFY(line.isValid());
    Slave s(line.endA(), qint16(mode));
    prepareImage(s);
    QStringList ops;
    QStringList expected;
    for (const Exchange& e : everyFunctionCode(longBitRequests)) {
        ops << e.operation.split(' ');
        expected << e.expected;
    }
    expected << "DONE";
    const QStringList device = deviceAsOption ? QStringList{"--device", line.endB()} : QStringList{line.endB(), "1"};
    const QStringList printed = runMaster(program, leading + device + ops, timeoutMs);
    for (int i = 0; i < qMax(printed.size(), expected.size()); ++i)
        QCOMPARE(printed.value(i).left(200), expected.value(i).left(200));
    QCOMPARE(printed, expected);
    checkImageAfterWrites(s);
}

void TestSlaveMode::tenThousandRequestsBackToBack()
{
    SocatPair line;
    QVERIFY(line.isValid());
    Slave s(line.endA(), SlaveRtu);
    const QString master = PeerProcess::binaryDir() + "/tests/scan/scan_modbus_master";
    // A first run settles the allocations that stay for the life of the process.
    QCOMPARE(runMaster(master, {"--device", line.endB(), "load", "1000"}, 60000).value(0).section(' ', 0, 2),
             QString("LOAD total=1000 ok=1000"));
    const qint64 before = residentBytes();
    const QStringList printed = runMaster(master, {"--device", line.endB(), "load", "10000"}, 240000);
    const qint64 after = residentBytes();
    QVERIFY2(!printed.isEmpty(), "the master printed nothing");
    qInfo("%s; resident memory %lld -> %lld KiB", qPrintable(printed.first()), before / 1024, after / 1024);
    QCOMPARE(printed.first().section(' ', 0, 2), QString("LOAD total=10000 ok=10000"));
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine, so resident memory says nothing here.
    Q_UNUSED(before);
    Q_UNUSED(after);
#else
    QVERIFY2(after - before < 1024 * 1024, qPrintable(QString("grew by %1 KiB").arg((after - before) / 1024)));
#endif
}

QTEST_GUILESS_MAIN(TestSlaveMode)
#include "test_slave_mode.moc"
