// The read scan and the write queue. The scan ticks are driven one by one and
// time-outs run on the clock seam; the line is a pseudo-terminal whose far end
// the test answers. One end-to-end run scans a libmodbus slave with the real
// timers.
#include "PeerProcess.h"
#include "PtyPair.h"
#include "ScanTestSupport.h"
#include "WaitUntil.h"
#include "protocol/FrameCodec.h"
#include "scan/IoDatabaseService.h"
#include "scan/ScanRoute.h"
#include "scan/StartupConfiguration.h"
#include "scan/TagTable.h"
#include "shell/Buslink.h"
#include "base/EventWait.h"
#include "base/WholeSecondClock.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

namespace buslink {
class BuslinkTestAccess {
public:
    static void readScanTick(Buslink& b) { b.ReadScanTick(); }
    static void writeQueueTick(Buslink& b) { b.WriteQueueTick(); }
    static qint16 elapsed(const Buslink& b, int i) { return b.ElapsedMs[i]; }
    static void stopTimers(Buslink& b)
    {
        b.Timer1.stop();
        b.Timer2.stop();
        b.Timer3.stop();
    }
    static void setWriteActive(Buslink& b, bool on) { b.WriteActive = on; }
    static bool writeActive(const Buslink& b) { return b.WriteActive; }
    static bool writeLock(const Buslink& b) { return b.WriteLock; }
    static qint16 lostReplies(const Buslink& b) { return b.LostReplies; }
    static QVariant lostUnit(const Buslink& b) { return b.LostUnit; }
};
} // namespace buslink

using namespace buslink;
using Access = BuslinkTestAccess;

namespace {

QByteArray rtu(const char* hex) { return AppendCRC(QByteArray::fromHex(hex)); }

void setRoute(const QList<ScanEntry>& entries)
{
    for (int i = 0; i < entries.size(); ++i) ScanRoute()[i + 1] = entries[i];
    ScanEntryCount() = int(entries.size());
}

ScanEntry entry(const QVariant& start, int quantity, int rate, int group = 1, int unit = -1)
{
    ScanEntry e;
    e.Unit = qint16(unit);
    e.StartReg = start;
    e.EndReg = start.toInt() + quantity - 1;
    e.Quantity = qint16(quantity);
    e.ScanRate = qint16(rate);
    e.ScanRegGroup = qint16(group);
    e.Active = true;
    return e;
}

// The far end of the line: reads requests and, when answering, replies like a
// device would (zero registers or bits, echoes of writes), every few milliseconds.
class FarEnd {
public:
    FarEnd(PtyPair& pty, bool answering) : pty(pty), answering(answering)
    {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this] { take(this->answering); });
        poll.start();
    }
    QList<QByteArray> requests;

    // Takes what arrived; answers it when `answer` is set.
    void take(bool answer)
    {
        buffer += pty.read(0, 1);
        while (buffer.size() >= 8) {
            const int fc = quint8(buffer[1]);
            const int length = fc == 16 ? 9 + quint8(buffer[6]) : 8;
            if (buffer.size() < length) break;
            const QByteArray request = buffer.left(length);
            buffer.remove(0, length);
            requests << request;
            if (!answer) continue;
            const int q = quint8(request[4]) * 256 + quint8(request[5]);
            QByteArray reply = request.left(2);
            if (fc <= 2) {
                reply.append(char((q + 7) / 8));
                reply.append(QByteArray((q + 7) / 8, '\0'));
            } else if (fc <= 4) {
                reply.append(char(2 * q));
                reply.append(QByteArray(2 * q, '\0'));
            } else {
                reply = request.left(6);
            }
            pty.write(AppendCRC(reply));
        }
    }
    // Lets the component run until `count` requests have come.
    bool waitFor(int count, int timeoutMs = 3000)
    {
        return waitUntil([&] { return requests.size() >= count; }, timeoutMs);
    }
    void quiet(int ms) { waitUntil([] { return false; }, ms); }
    void setAnswering(bool on) { answering = on; }

private:
    PtyPair& pty;
    bool answering;
    QTimer poll;
    QByteArray buffer;
};

struct Master {
    Buslink link;
    explicit Master(const QString& device)
    {
        link.InitProperties();
        link.setDevicePath(device);
        link.setSettings("9600,n,8,1");
        link.setPortOpen(true);
        link.setScanReadEnable(true);
        Access::stopTimers(link);  // the test drives the ticks
    }
    // One tick, then until the line is free again.
    void tick()
    {
        Access::readScanTick(link);
        waitUntil([&] { return !link.CommBusy().toBool(); }, 3000);
    }
};

} // namespace

class TestScanEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { EnsureStartupRoutineRan(); }
    void init();
    void entryIsPolledAtItsRate_data();
    void entryIsPolledAtItsRate();
    void pollFramesFollowTheEntry();
    void secondEntryWaitsForTheFirstReply();
    void blockedLineIsGivenUpAfterTwoSeconds();
    void hostReadAfterALostPollIsReported();
    void groupsSwitchEntriesOffAndOn();
    void reloadActivatesEveryEntry();
    void ticksThatDoNothing_data();
    void ticksThatDoNothing();
    void elapsedTimeSaturates();
    void onePassAtATime();
    void writeQueue();
    void writeQueueOfSeveralValues();
    void endToEndAgainstALibmodbusSlave();
    void aSilentUnitNeverStallsTheRoute();
    void scanResumesOnceTheLineIsBack();

private:
    PrivateConfigHome home;
    QTemporaryDir work;
};

void TestScanEngine::init()
{
    NoScanDatabase() = false;
    setRoute({});
}

void TestScanEngine::entryIsPolledAtItsRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QList<int>>("polledTicks");
    QTest::newRow("rate 1000 with interval 500: every second tick") << 1000 << QList<int>{2, 4, 6};
    QTest::newRow("rate 300: every tick") << 300 << QList<int>{1, 2, 3, 4, 5, 6};
    QTest::newRow("rate 0: every tick") << 0 << QList<int>{1, 2, 3, 4, 5, 6};
    QTest::newRow("negative rate: every tick") << -20 << QList<int>{1, 2, 3, 4, 5, 6};
    QTest::newRow("rate 1200: every third tick") << 1200 << QList<int>{3, 6};
}

void TestScanEngine::entryIsPolledAtItsRate()
{
    QFETCH(int, rate);
    QFETCH(QList<int>, polledTicks);
    PtyPair pty;
    FarEnd far(pty, true);
    Master m(pty.devicePath());
    QCOMPARE(m.link.ScanReadIOTimerInterval(), 500);
    setRoute({entry(40001, 2, rate)});
    QList<int> polled;
    for (int tick = 1; tick <= 6; ++tick) {
        const int before = int(far.requests.size());
        m.tick();
        if (far.requests.size() > before) polled << tick;
    }
    QCOMPARE(polled, polledTicks);
}

void TestScanEngine::pollFramesFollowTheEntry()
{
    PtyPair pty;
    FarEnd far(pty, true);
    Master m(pty.devicePath());
    m.link.setAddress(5);
    setRoute({entry(40001, 10, 0), entry(QString("30001"), 3, 0, 1, 3), entry(1, 16, 0, 1, 0)});
    m.tick();
    QVERIFY(far.waitFor(3));
    QCOMPARE(far.requests.value(0).toHex(' '), rtu("05030000000A").toHex(' '));  // no unit: the Address
    QCOMPARE(far.requests.value(1).toHex(' '), rtu("030400000003").toHex(' '));
    QCOMPARE(far.requests.value(2).toHex(' '), rtu("000100000010").toHex(' '));
}

void TestScanEngine::secondEntryWaitsForTheFirstReply()
{
    PtyPair pty;
    FarEnd far(pty, false);
    Master m(pty.devicePath());
    setRoute({entry(40001, 1, 0), entry(40101, 1, 0)});
    // The far end answers only after a while; the second poll must not overtake the first reply.
    int sentBeforeReply = -1;
    QTimer::singleShot(150, [&] {
        far.take(false);
        sentBeforeReply = int(far.requests.size());
        pty.write(rtu("0103020000"));
    });
    Access::readScanTick(m.link);
    QCOMPARE(sentBeforeReply, 1);
    QVERIFY(far.waitFor(2));
    QCOMPARE(far.requests.value(1).toHex(' '), rtu("010300640001").toHex(' '));
    QCOMPARE(Access::lostReplies(m.link), qint16(0));
}

void TestScanEngine::blockedLineIsGivenUpAfterTwoSeconds()
{
    ManualClock clock;
    PtyPair pty;
    FarEnd far(pty, false);
    Master m(pty.devicePath());
    m.link.setAddress(7);
    setRoute({entry(40001, 1, 0), entry(40101, 1, 0)});
    // Nobody answers: the pass waits on the clock seam, which moves on without real waiting.
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { clock.advanceMs(250); });
    timer.start(5);
    QElapsedTimer real;
    real.start();
    Access::readScanTick(m.link);
    timer.stop();
    QVERIFY(far.waitFor(2));
    QVERIFY(real.elapsed() < 1500);
    QCOMPARE(Access::lostReplies(m.link), qint16(1));
    QCOMPARE(Access::lostUnit(m.link).toInt(), 7);
    QCOMPARE(far.requests.value(1).toHex(' '), rtu("070300640001").toHex(' '));
}

void TestScanEngine::hostReadAfterALostPollIsReported()
{
    PtyPair pty;
    FarEnd far(pty, false);
    Master m(pty.devicePath());
    setRoute({entry(40001, 1, 0)});
    Access::readScanTick(m.link);
    QVERIFY(far.waitFor(1));  // the poll went out and nobody answers it
    m.link.setCommBusy(false);  // the host gives the poll up
    far.setAnswering(true);
    // The host's own read must not be taken for the lost poll: its completion is reported.
    QSignalSpy completions(&m.link, &Buslink::CommCompleteEx);
    VariantArray values(1, 2);
    QVariant size = 2;
    qint16 type = ioWord;
    QCOMPARE(m.link.ReadPLC(40011, values, size, type), qint16(-1));
    QCOMPARE(completions.size(), 1);
    QCOMPARE(completions.at(0).at(1).toInt(), 40011);
    // And so is a read that does not wait.
    QVariant one = 1;
    QCOMPARE(m.link.ReadPLCNW(40021, one), qint16(-1));
    QVERIFY(waitUntil([&] { return completions.size() == 2; }, 3000));
    QCOMPARE(completions.at(1).at(1).toInt(), 40021);
}

void TestScanEngine::groupsSwitchEntriesOffAndOn()
{
    PtyPair pty;
    FarEnd far(pty, true);
    Master m(pty.devicePath());
    setRoute({entry(40001, 1, 1000, 1), entry(40201, 1, 1000, 2)});
    m.tick();  // both at 500 ms
    m.link.SetScanRegGroup(2, false);
    QVERIFY(!ScanRoute()[2].Active);
    m.tick();  // group 1 polled; group 2 stands still
    m.tick();
    QCOMPARE(Access::elapsed(m.link, 2), qint16(500));
    m.link.SetScanRegGroup(2, true);
    m.tick();  // group 2 resumes where it stood: 1000, polled
    far.quiet(50);
    QCOMPARE(far.requests.size(), 3);
    QCOMPARE(far.requests[0].toHex(' '), rtu("010300000001").toHex(' '));
    QCOMPARE(far.requests[1].toHex(' '), rtu("010300000001").toHex(' '));
    QCOMPARE(far.requests[2].toHex(' '), rtu("010300C80001").toHex(' '));
    QCOMPARE(Access::elapsed(m.link, 2), qint16(0));
}

void TestScanEngine::reloadActivatesEveryEntry()
{
    DatabaseFolder() = work.path() + "/";
    QFile::remove(ScanDatabasePath());
    QVERIFY(makeScanDatabase(ScanDatabasePath(), {"40001, 40001, 0, 1, 0", "40002, 40002, 0, 2, 0"}));
    Buslink b;
    b.ReadScanDatabase();
    QCOMPARE(ScanEntryCount(), 2);
    b.SetScanRegGroup(2, false);
    b.SetScanRegGroup(9, true);  // no such group: nothing changes
    QVERIFY(ScanRoute()[1].Active && !ScanRoute()[2].Active);
    b.ReadScanDatabase();
    QVERIFY(ScanRoute()[1].Active && ScanRoute()[2].Active);
    QVERIFY(!Access::writeActive(b));
}

void TestScanEngine::ticksThatDoNothing_data()
{
    QTest::addColumn<QString>("why");
    QTest::newRow("port closed") << "port closed";
    QTest::newRow("scan not enabled") << "disabled";
    QTest::newRow("no scan database") << "no database";
    QTest::newRow("a write is running") << "write active";
    QTest::newRow("line busy") << "busy";
}

void TestScanEngine::ticksThatDoNothing()
{
    QFETCH(QString, why);
    PtyPair pty;
    FarEnd far(pty, false);
    Master m(pty.devicePath());
    // A rate no tick reaches: a tick that runs advances the entry's elapsed time without
    // polling, so an elapsed time still at 0 shows the tick did nothing at all.
    setRoute({entry(40001, 1, 32767)});
    if (why == "port closed") m.link.setPortOpen(false);
    if (why == "disabled") m.link.setScanReadEnable(false);
    if (why == "no database") NoScanDatabase() = true;
    if (why == "write active") Access::setWriteActive(m.link, true);
    if (why == "busy") {
        QVariant one = 1;
        m.link.ReadPLCNW(40001, one);  // outstanding, never answered
        QVERIFY(far.waitFor(1));
    }
    const int before = int(far.requests.size());
    Access::readScanTick(m.link);
    far.quiet(100);
    QCOMPARE(int(far.requests.size()), before);
    QCOMPARE(Access::elapsed(m.link, 1), qint16(0));
}

void TestScanEngine::elapsedTimeSaturates()
{
    PtyPair pty;
    FarEnd far(pty, true);
    Master m(pty.devicePath());
    m.link.setScanReadIOTimerInterval(30000);
    setRoute({entry(40001, 1, 32767)});
    m.tick();
    QCOMPARE(Access::elapsed(m.link, 1), qint16(30000));
    QCOMPARE(far.requests.size(), 0);
    m.tick();  // 60000 does not fit 16 bits: it stops at 32767 and the entry is due
    QVERIFY(far.waitFor(1));
    QCOMPARE(Access::elapsed(m.link, 1), qint16(0));
}

void TestScanEngine::onePassAtATime()
{
    PtyPair pty;
    FarEnd far(pty, false);
    Master m(pty.devicePath());
    setRoute({entry(40001, 1, 0), entry(40101, 1, 0)});
    // While the first pass waits for its first reply, the reply comes and another tick fires.
    bool freed = false;
    QTimer::singleShot(100, [&] {
        pty.write(rtu("0103020000"));
        freed = waitUntil([&] { return !m.link.CommBusy().toBool(); }, 2000);
        Access::readScanTick(m.link);
    });
    Access::readScanTick(m.link);
    QVERIFY(freed);
    far.quiet(200);
    QCOMPARE(far.requests.size(), 2);
    QCOMPARE(Access::elapsed(m.link, 2), qint16(0));
}

void TestScanEngine::writeQueue()
{
    PtyPair pty;
    FarEnd far(pty, true);
    Master m(pty.devicePath());
    InMemoryIoDatabase& db = m.link.ownIoDatabase();

    Access::writeQueueTick(m.link);  // nothing queued: nothing sent
    far.quiet(100);
    QCOMPARE(far.requests.size(), 0);

    db.queueWrite({QVariant(40010), QVariant(300), 1, 0});
    db.queueWrite({QVariant("2;00005"), QVariant(1), 1, 0});
    Access::writeQueueTick(m.link);  // one write per tick
    QCOMPARE(far.requests.size(), 1);
    QVERIFY(!Access::writeActive(m.link) && !Access::writeLock(m.link));
    m.link.WriteQueData();
    QCOMPARE(far.requests.size(), 2);
    QCOMPARE(far.requests[0].toHex(' '), rtu("01060009012C").toHex(' '));
    QCOMPARE(far.requests[1].toHex(' '), rtu("02050004FF00").toHex(' '));
    QCOMPARE(db.queuedWrites(), 0);
    QVERIFY(!Access::writeActive(m.link) && !Access::writeLock(m.link));
}

void TestScanEngine::writeQueueOfSeveralValues()
{
    PtyPair pty;
    FarEnd far(pty, true);
    Master m(pty.devicePath());
    m.link.ownIoDatabase().queueWrite({QVariant(40001), QVariantList{10, 11, 12}, 3, 0});
    m.link.WriteQueData();
    QCOMPARE(far.requests.value(0).toHex(' '), rtu("01100000000306000A000B000C").toHex(' '));
}

void TestScanEngine::endToEndAgainstALibmodbusSlave()
{
    SocatPair line;
    QVERIFY(line.isValid());
    PeerProcess slave;
    QVERIFY2(slave.start(PeerProcess::binaryDir() + "/tests/scan/scan_modbus_slave",
                         {"--device", line.endB(), "--unit", "2", "--holding", "0=111", "--holding", "1=222",
                          "--holding", "2=333", "--input", "4=44"}),
             qPrintable(slave.errorText()));
    DatabaseFolder() = work.path() + "/e2e/";
    QDir().mkpath(DatabaseFolder());
    QVERIFY(makeScanDatabase(ScanDatabasePath(), {"'2;40001', 40003, 100, 1, 0", "30005, 30005, 100, 1, 0"}));
    LoadScanRoute();
    QCOMPARE(ScanEntryCount(), 2);

    Buslink b;
    b.InitProperties();
    b.setAddress(2);
    b.setDevicePath(line.endA());
    b.setSettings("9600,n,8,1");
    b.setPortOpen(true);
    b.setScanReadIOTimerInterval(50);
    QSignalSpy updates(&b.ownIoDatabase(), &InMemoryIoDatabase::updated);
    QSignalSpy completions(&b, &Buslink::CommCompleteEx);
    b.setScanReadEnable(true);
    QVERIFY(waitUntil([&] { return b.ownIoDatabase().value("2;30005").isValid() &&
                                  b.ownIoDatabase().value("2;40003").isValid(); }, 10000));
    b.setScanReadEnable(false);
    waitUntil([&] { return !b.CommBusy().toBool(); }, 3000);
    QCOMPARE(b.ownIoDatabase().value("2;40001").toInt(), 111);
    QCOMPARE(b.ownIoDatabase().value("2;40003").toInt(), 333);
    QCOMPARE(b.ownIoDatabase().value("2;30005").toInt(), 44);
    QCOMPARE(updates.first().at(0).toString(), QString("2;40001"));
    QCOMPARE(completions.count(), 0);  // scan polls raise no completion

    // A host's own no-wait read after the scan is no scan poll.
    QVariant one = 1;
    QCOMPARE(b.ReadPLCNW(40002, one), qint16(-1));
    QVERIFY(waitUntil([&] { return completions.count() == 1; }, 3000));
    QCOMPARE(completions[0][1].toInt(), 40002);
    QVERIFY(slave.waitForOutput("REQUEST unit=2 function=4 address=4", 100));
}

// A fresh instance (InitProperties only, as command-line hosts make it) whose route
// starts with a unit that does not exist: every pass gives that poll up after the
// reply time-out, counts it, and polls the next entry.
void TestScanEngine::aSilentUnitNeverStallsTheRoute()
{
    SocatPair line;
    QVERIFY(line.isValid());
    PeerProcess slave;
    QVERIFY2(slave.start(PeerProcess::binaryDir() + "/tests/scan/scan_modbus_slave",
                         {"--device", line.endB(), "--unit", "2", "--holding", "0=7"}),
             qPrintable(slave.errorText()));
    DatabaseFolder() = work.path() + "/silent-unit/";
    QDir().mkpath(DatabaseFolder());
    QVERIFY(makeScanDatabase(ScanDatabasePath(), {"'9;40001', 40001, 100, 1, 0", "'2;40001', 40001, 100, 1, 0"}));
    LoadScanRoute();

    Buslink b;
    b.InitProperties();
    b.setDevicePath(line.endA());
    b.setSettings("9600,n,8,1");
    // libmodbus's slave drops what it receives for half a second after a request to
    // another unit, so the poll after the lost one must come later than that.
    b.setReplyTimeout(700);
    b.setPortOpen(true);
    b.setScanReadIOTimerInterval(50);
    int updates = 0;
    connect(&b.ownIoDatabase(), &InMemoryIoDatabase::updated, this, [&](const QString& key) {
        if (key == "2;40001") ++updates;
    });
    b.setScanReadEnable(true);
    QVERIFY2(waitUntil([&] { return updates >= 2 && b.RepliesLost() >= 2; }, 15000),
             qPrintable(QString("updates %1, lost %2").arg(updates).arg(b.RepliesLost())));
    b.setScanReadEnable(false);
    QCOMPARE(b.ownIoDatabase().value("2;40001").toInt(), 7);
    QCOMPARE(b.LastResult().outcome == Outcome::NoReply || b.LastResult().outcome == Outcome::Answered, true);
}

// The line vanishes under a running scan (socat and its slave ended) and comes back
// (both started again under the same names): the scan notices, costs nothing while
// the line is gone, and polls again on its own.
void TestScanEngine::scanResumesOnceTheLineIsBack()
{
    SocatPair line;
    QVERIFY(line.isValid());
    const QStringList slaveArguments{"--device", line.endB(), "--unit", "1", "--holding", "0=11"};
    auto slave = std::make_unique<PeerProcess>();
    QVERIFY2(slave->start(PeerProcess::binaryDir() + "/tests/scan/scan_modbus_slave", slaveArguments),
             qPrintable(slave->errorText()));
    DatabaseFolder() = work.path() + "/resume/";
    QDir().mkpath(DatabaseFolder());
    QVERIFY(makeScanDatabase(ScanDatabasePath(), {"40001, 40001, 100, 1, 0"}));
    LoadScanRoute();

    Buslink b;
    b.InitProperties();
    b.setDevicePath(line.endA());
    b.setSettings("9600,n,8,1");
    b.setReplyTimeout(300);
    b.setPortOpen(true);
    b.setScanReadIOTimerInterval(50);
    QSignalSpy lost(&b, &Buslink::LineLost);
    QSignalSpy restored(&b, &Buslink::LineRestored);
    QSignalSpy updates(&b.ownIoDatabase(), &InMemoryIoDatabase::updated);
    b.setScanReadEnable(true);
    QVERIFY(waitUntil([&] { return updates.count() > 0; }, 5000));

    slave.reset();
    line.stop();
    QVERIFY(waitUntil([&] { return lost.count() > 0; }, 5000));
    QVERIFY2(lost[0][0].toString().contains(line.endA()), qPrintable(lost[0][0].toString()));
    updates.clear();

    QVERIFY(line.start());
    slave = std::make_unique<PeerProcess>();
    QVERIFY2(slave->start(PeerProcess::binaryDir() + "/tests/scan/scan_modbus_slave", slaveArguments),
             qPrintable(slave->errorText()));
    QVERIFY(waitUntil([&] { return updates.count() > 0; }, 10000));
    QCOMPARE(restored.count(), 1);
    QCOMPARE(b.ownIoDatabase().value("1;40001").toInt(), 11);
    b.setScanReadEnable(false);
}

QTEST_GUILESS_MAIN(TestScanEngine)
#include "test_scan_engine.moc"
