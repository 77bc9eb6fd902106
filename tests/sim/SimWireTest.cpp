// actuator-sim end to end: the simulator process on its pseudo-terminal, driven by
// an independent master (libmodbus as client, or raw bytes from the test).
#include "PtyPair.h"
#include "SimHarness.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <modbus.h>

#include <csignal>

using Values = std::vector<int>;
Q_DECLARE_METATYPE(Values)

namespace {
// Discrete inputs (offset = reference - 10001).
constexpr int kMoving = 0, kFullyClosed = 1, kFullyOpen = 2, kRunningClosed = 3, kRunningOpen = 4;
constexpr int kRemote = 5, kStop = 6, kLocal = 7, kMonitorRelay = 9, kObstructed = 10, kPositioning = 14;
// Coils (offset = reference - 1).
constexpr int kStopCoil = 0, kCloseCoil = 1, kOpenCoil = 2, kEsdCoil = 3;

int input(LibModbusMaster& m, int offset)
{
    const auto v = m.discreteInputs(offset, 1);
    return v ? (*v)[0] : -1;
}

int inputRegister(LibModbusMaster& m, int offset)
{
    const auto v = m.inputRegisters(offset, 1);
    return v ? (*v)[0] : -1;
}

bool stopped(LibModbusMaster& m) { return input(m, kMoving) == 0; }

std::vector<int> tagRegisters(const QByteArray& tag)
{
    QByteArray padded = tag.leftJustified(12, ' ', true);
    std::vector<int> regs;
    for (int k = 0; k < 6; ++k) regs.push_back(quint8(padded[2 * k]) | (quint8(padded[2 * k + 1]) << 8));
    return regs;
}

QString reference(int holdingOffset) { return QString::asprintf("%06d", 400001 + holdingOffset); }
}  // namespace

class SimWireTest : public QObject {
    Q_OBJECT

private slots:
    void outputContractAndSettings();
    void portOptionServesGivenDevice();
    void registerMap_data();
    void registerMap();
    void mk1ConversionTakesEffectAtPowerCycle_data();
    void mk1ConversionTakesEffectAtPowerCycle();
    void mk2BackToMk1ThroughDataBaseRegister();
    void configurationBlockRoundTrip();
    void communicationSettingsAfterPowerCycle();
    void configurationValidation_data();
    void configurationValidation();
    void multipleWriteIsAllOrNothing();
    void strokeUpdatesStatusProfileAndCounts();
    void idleTimeIsNotChargedToTheNextCommand();
    void setPointPositionsValve();
    void relays_data();
    void relays();
    void selectorSwitch_data();
    void selectorSwitch();
    void alarmIndications_data();
    void alarmIndications();
    void alarmsFromCommandLine();
    void esdClosesFromLocal();
    void obstructionStopsValve();
    void communicationLossAction();
    void dropIsSeededAndCounted();
    void corruptReplyHasWrongCrc();
    void delayHoldsReply();
    void exceptionInjection_data();
    void exceptionInjection();
    void exceptionInjectionFromConsole();
    void silenceAndComeBack();
    void dumpFileOnSignalAndExit();
    void masterCanReopenLine();
    void endsWhenItsInputPipeCloses();
    void otherUnitsAndBroadcast();
    void framing_data();
    void framing();
    void badOptionsAreRefused_data();
    void badOptionsAreRefused();
};

void SimWireTest::outputContractAndSettings()
{
    PeerProcess peer;
    QVERIFY2(peer.start(simulatorPath(), {"--settings", "19200,e,8,2", "--unit", "9"}), qPrintable(peer.errorText()));
    const QList<QByteArray> lines = peer.output().split('\n');
    QVERIFY(lines.size() >= 2);
    QVERIFY2(lines[0].startsWith("PORT /dev/"), lines[0].constData());
    QCOMPARE(lines[1], QByteArray("READY"));
    const QString port = QString::fromLatin1(lines[0].mid(5));
    QVERIFY(QFileInfo(port).exists());

    LibModbusMaster master(port, 9);
    QVERIFY(master.isOpen());
    const auto regs = master.holding(22, 4);  // 40023 address, 40024 baud, 40025 parity/stop, 40026 format
    QVERIFY(regs);
    QCOMPARE(*regs, (Values{9, 7, 3, 1}));

    // A link name, when asked for, is the path printed.
    QTemporaryDir dir;
    const QString link = dir.filePath("actuator");
    PeerProcess linked;
    QVERIFY(linked.start(simulatorPath(), {"--link", link}));
    QVERIFY(linked.output().startsWith("PORT " + link.toLocal8Bit() + "\nREADY\n"));
    LibModbusMaster viaLink(link);
    QVERIFY(viaLink.holding(5, 1));
    linked.stop();
    QVERIFY(!QFileInfo::exists(link));  // removed on exit
}

void SimWireTest::portOptionServesGivenDevice()
{
    // The simulator opens the device side of the test's own pseudo-terminal pair.
    PtyPair pair;
    QVERIFY(pair.isValid());
    SimProcess sim;
    QVERIFY2(sim.start({"--port", pair.devicePath(), "--settings", "9600,e,8,1"}), qPrintable(sim.errorText()));
    QCOMPARE(sim.port(), pair.devicePath());
    QVERIFY(pair.write(withCrc("010300050001")));
    QCOMPARE(pair.read(7, 1000), withCrc("0103020001"));
    // Its line settings follow a power cycle.
    const QByteArray set = sim.command("set 400024 8");
    QVERIFY2(set.startsWith("OK"), set.constData());
    QVERIFY(sim.command("power-cycle").startsWith("OK power-cycle format mk2 unit 1 settings 38400,e,8,1"));
    QVERIFY(pair.write(withCrc("010300050001")));
    QCOMPARE(pair.read(7, 1000), withCrc("0103020001"));
}

void SimWireTest::registerMap_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("exception");

    QTest::newRow("mk2 presence 400006") << "mk2" << "holding" << 5 << 1 << 0;
    QTest::newRow("mk2 format probe 400026") << "mk2" << "holding" << 25 << 1 << 0;
    QTest::newRow("mk2 configuration 40008 x25") << "mk2" << "holding" << 7 << 25 << 0;
    QTest::newRow("mk2 tag by 40009 x24") << "mk2" << "holding" << 8 << 24 << 0;
    QTest::newRow("mk2 torque switches 400033 x2") << "mk2" << "holding" << 32 << 2 << 0;
    QTest::newRow("mk2 open profile 400035 x11") << "mk2" << "holding" << 34 << 11 << 0;
    QTest::newRow("mk2 closed profile 400046 x11") << "mk2" << "holding" << 45 << 11 << 0;
    QTest::newRow("mk2 operations 400057 x4") << "mk2" << "holding" << 56 << 4 << 0;
    QTest::newRow("mk2 past the map 400061") << "mk2" << "holding" << 60 << 1 << 2;
    QTest::newRow("mk2 block over the end") << "mk2" << "holding" << 56 << 5 << 2;
    QTest::newRow("status 10001 x16") << "mk2" << "input" << 0 << 16 << 0;
    QTest::newRow("alarms 10009 x16") << "mk2" << "input" << 8 << 16 << 0;
    QTest::newRow("past the inputs 10025") << "mk2" << "input" << 24 << 1 << 2;
    QTest::newRow("torque 30003") << "mk2" << "inreg" << 2 << 1 << 0;
    QTest::newRow("position 30004") << "mk2" << "inreg" << 3 << 1 << 0;
    QTest::newRow("analog 30005") << "mk2" << "inreg" << 4 << 1 << 0;
    QTest::newRow("past the input registers 30006") << "mk2" << "inreg" << 5 << 1 << 2;
    QTest::newRow("relays 5 x4") << "mk2" << "coil" << 4 << 4 << 0;
    QTest::newRow("past coil 8") << "mk2" << "coil" << 8 << 1 << 2;
    QTest::newRow("mk1 presence 400006") << "mk1" << "holding" << 5 << 1 << 0;
    QTest::newRow("mk1 format probe 400026") << "mk1" << "holding" << 25 << 1 << 2;
    QTest::newRow("mk1 configuration 40008 x25") << "mk1" << "holding" << 7 << 25 << 2;
    QTest::newRow("mk1 40008 to 40025") << "mk1" << "holding" << 7 << 18 << 0;
    QTest::newRow("mk1 torque switches") << "mk1" << "holding" << 32 << 2 << 2;
    QTest::newRow("mk1 status") << "mk1" << "input" << 0 << 16 << 0;
    QTest::newRow("mk1 relays") << "mk1" << "coil" << 4 << 4 << 0;
}

void SimWireTest::registerMap()
{
    QFETCH(QString, format);
    QFETCH(QString, table);
    QFETCH(int, offset);
    QFETCH(int, count);
    QFETCH(int, exception);
    SimProcess sim;
    QVERIFY2(sim.start({"--format", format}), qPrintable(sim.errorText()));
    LibModbusMaster master(sim.port());
    std::optional<Values> got;
    if (table == "holding") got = master.holding(offset, count);
    else if (table == "input") got = master.discreteInputs(offset, count);
    else if (table == "inreg") got = master.inputRegisters(offset, count);
    else got = master.coils(offset, count);
    if (exception == 0) {
        QVERIFY2(got, modbus_strerror(master.lastError));
        QCOMPARE(int(got->size()), count);
    } else {
        QVERIFY(!got);
        QCOMPARE(master.lastError, LibModbusMaster::exceptionError(exception));
    }
}

void SimWireTest::mk1ConversionTakesEffectAtPowerCycle_data()
{
    QTest::addColumn<bool>("bySignal");
    QTest::newRow("SIGHUP") << true;
    QTest::newRow("power-cycle command") << false;
}

void SimWireTest::mk1ConversionTakesEffectAtPowerCycle()
{
    QFETCH(bool, bySignal);
    SimProcess sim;
    QVERIFY(sim.start({"--format", "mk1"}));
    LibModbusMaster master(sim.port());
    QVERIFY(master.holding(5, 1));
    QVERIFY(!master.holding(25, 1));
    QCOMPARE(master.lastError, LibModbusMaster::exceptionError(2));

    QVERIFY(!master.writeRegister(6, 2));  // only 0 and 1 mean something in register 7
    QCOMPARE(master.lastError, LibModbusMaster::exceptionError(3));
    QVERIFY(master.writeRegister(6, 1));
    QVERIFY(!master.holding(25, 1));  // not before the power cycle
    QCOMPARE(sim.dump().keys.value("next-format"), QString("mk2"));

    if (bySignal) {
        ::kill(pid_t(sim.pid()), SIGHUP);
        const QByteArray line = sim.waitForLine("POWER-CYCLE");
        QVERIFY2(line.contains("format mk2"), line.constData());
    } else {
        QVERIFY(sim.command("power-cycle").startsWith("OK power-cycle format mk2 unit 1"));
    }
    const auto format = master.holding(25, 1);
    QVERIFY2(format, modbus_strerror(master.lastError));
    QCOMPARE((*format)[0], 1);
    QVERIFY(master.holding(7, 25));
    QCOMPARE(sim.dump().keys.value("format"), QString("mk2"));
}

void SimWireTest::mk2BackToMk1ThroughDataBaseRegister()
{
    SimProcess sim;
    QVERIFY(sim.start());
    LibModbusMaster master(sim.port());
    QVERIFY(master.writeRegister(25, 0));  // "MK 1" in the data base arrangement register
    QVERIFY(master.holding(25, 1));
    QVERIFY(sim.command("power-cycle").startsWith("OK power-cycle format mk1"));
    QVERIFY(!master.holding(25, 1));
    QCOMPARE(master.lastError, LibModbusMaster::exceptionError(2));
}

void SimWireTest::configurationBlockRoundTrip()
{
    SimProcess sim;
    QVERIFY(sim.start());
    LibModbusMaster master(sim.port());

    const auto defaults = master.holding(7, 25);
    QVERIFY(defaults);
    QByteArray tag;
    for (int k = 19; k < 25; ++k) tag += char((*defaults)[std::size_t(k)] & 0xFF) + QByteArray(1, char((*defaults)[std::size_t(k)] >> 8));
    QCOMPARE(tag, QByteArray("SIM ACTUATOR"));

    // One register at a time, in block order, as a configuration download does.
    Values block = {7, 5, 95, 25, 12, 170, 40, 15, 20, 30, 10, 60, 1, 1000, 45, 12, 8, 3, 1};
    for (int r : tagRegisters("VALVE 12")) block.push_back(r);
    for (std::size_t i = 0; i < block.size(); ++i)
        QVERIFY2(master.writeRegister(7 + int(i), block[i]), qPrintable(reference(7 + int(i))));
    const auto back = master.holding(7, 25);
    QVERIFY(back);
    QCOMPARE(*back, block);
    QCOMPARE(block[19], 0x4156);  // "VA": low byte first

    const SimDump dump = sim.dump();
    QCOMPARE(dump.writes.size(), 25);
    for (int i = 0; i < 25; ++i) {
        QCOMPARE(dump.writes[i].first, reference(7 + i));
        QCOMPARE(dump.writes[i].second, block[std::size_t(i)]);
    }
    // Address 12, 38400 baud, even parity with 2 stop bits wait for the power cycle.
    QCOMPARE(dump.keys.value("unit"), QString("1"));
    QCOMPARE(dump.keys.value("next-unit"), QString("12"));
    QCOMPARE(dump.keys.value("next-settings"), QString("38400,e,8,2"));
}

void SimWireTest::communicationSettingsAfterPowerCycle()
{
    SimProcess sim;
    QVERIFY(sim.start());
    LibModbusMaster master(sim.port(), 1, 150);
    QVERIFY(master.writeRegister(22, 7));
    QVERIFY(master.writeRegister(23, 8));
    QVERIFY(master.writeRegister(24, 0));
    QVERIFY(master.holding(5, 1));  // still unit 1 until the power cycle
    QCOMPARE(sim.command("power-cycle"), QByteArray("OK power-cycle format mk2 unit 7 settings 38400,n,8,1\n"));
    QVERIFY(!master.holding(5, 1));
    QCOMPARE(master.lastError, ETIMEDOUT);
    master.setUnit(7);
    QVERIFY(master.holding(5, 1));
    QCOMPARE(sim.dump().keys.value("settings"), QString("38400,n,8,1"));
}

void SimWireTest::configurationValidation_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("exception");
    QTest::newRow("action code 7 Goto Position") << 7 << 7 << 0;
    QTest::newRow("action code 2 unknown") << 7 << 2 << 3;
    QTest::newRow("minimum position 0") << 8 << 0 << 0;
    QTest::newRow("minimum position 101") << 8 << 101 << 3;
    QTest::newRow("maximum position 0") << 9 << 0 << 3;
    QTest::newRow("deadband 255") << 10 << 255 << 0;
    QTest::newRow("deadband 256") << 10 << 256 << 3;
    QTest::newRow("manual travel 0") << 17 << 0 << 3;
    QTest::newRow("analog maximum 1023") << 20 << 1023 << 0;
    QTest::newRow("analog maximum 1024") << 20 << 1024 << 3;
    QTest::newRow("address 0") << 22 << 0 << 3;
    QTest::newRow("address 247") << 22 << 247 << 0;
    QTest::newRow("address 248") << 22 << 248 << 3;
    QTest::newRow("baud code 0") << 23 << 0 << 3;
    QTest::newRow("baud code 10") << 23 << 10 << 0;
    QTest::newRow("baud code 11") << 23 << 11 << 3;
    QTest::newRow("parity code 6") << 24 << 6 << 3;
    QTest::newRow("data base 2") << 25 << 2 << 3;
    QTest::newRow("tag any value") << 26 << 0xFFFF << 0;
    QTest::newRow("torque switch 121") << 32 << 121 << 3;
    QTest::newRow("set-point 1001") << 6 << 1001 << 3;
    QTest::newRow("identity 40001 read-only") << 0 << 5 << 2;
    QTest::newRow("profile 400035 read-only") << 34 << 5 << 2;
    QTest::newRow("operation count writable") << 56 << 0 << 0;
}

void SimWireTest::configurationValidation()
{
    QFETCH(int, offset);
    QFETCH(int, value);
    QFETCH(int, exception);
    SimProcess sim;
    QVERIFY(sim.start());
    LibModbusMaster master(sim.port());
    const auto before = master.holding(offset, 1);
    QVERIFY(before);
    const bool written = master.writeRegister(offset, value);
    const int writeError = master.lastError;
    const auto after = master.holding(offset, 1);
    QVERIFY(after);
    if (exception == 0) {
        QVERIFY2(written, modbus_strerror(writeError));
        QCOMPARE((*after)[0], value);
    } else {
        QVERIFY(!written);
        QCOMPARE(writeError, LibModbusMaster::exceptionError(exception));
        QCOMPARE(*after, *before);
    }
}

void SimWireTest::multipleWriteIsAllOrNothing()
{
    SimProcess sim;
    QVERIFY(sim.start());
    LibModbusMaster master(sim.port());
    const auto before = master.holding(7, 4);
    QVERIFY(!master.writeRegisters(7, {1, 50, 300, 30}));  // 300 % is no maximum position
    QCOMPARE(master.lastError, LibModbusMaster::exceptionError(3));
    QCOMPARE(*master.holding(7, 4), *before);
    QVERIFY(master.writeRegisters(7, {1, 50, 90, 30}));
    QCOMPARE(*master.holding(7, 4), (Values{1, 50, 90, 30}));
}

void SimWireTest::strokeUpdatesStatusProfileAndCounts()
{
    SimProcess sim;
    QVERIFY(sim.start({"--stroke-seconds", "0.4"}));
    LibModbusMaster master(sim.port());
    QCOMPARE(*master.discreteInputs(0, 5), (Values{0, 1, 0, 0, 0}));

    QVERIFY(master.writeCoil(kOpenCoil, true));
    const auto running = master.discreteInputs(0, 5);
    QCOMPARE((*running)[kMoving], 1);
    QCOMPARE((*running)[kRunningOpen], 1);
    QCOMPARE((*running)[kRunningClosed], 0);
    QVERIFY(inputRegister(master, 2) > 0);  // torque while running
    QVERIFY(eventually([&] { return stopped(master); }, 3000));
    QCOMPARE(*master.discreteInputs(0, 5), (Values{0, 0, 1, 0, 0}));
    QCOMPARE(inputRegister(master, 3), 1000);
    QCOMPARE(inputRegister(master, 2), 0);

    const auto open = master.holding(34, 11);
    QVERIFY(open);
    for (int t : *open) QVERIFY(t > 0 && t <= 120);
    QVERIFY((*open)[0] > (*open)[5]);   // break-out
    QVERIFY((*open)[10] > (*open)[5]);  // end of travel
    QCOMPARE(*master.holding(45, 11), Values(11, 0));  // no closing stroke yet
    QCOMPARE(*master.holding(56, 4), (Values{0, 0, 1, 0}));

    QVERIFY(master.writeCoil(kCloseCoil, true));
    QCOMPARE(input(master, kRunningClosed), 1);
    QVERIFY(eventually([&] { return stopped(master); }, 3000));
    QCOMPARE(*master.discreteInputs(0, 5), (Values{0, 1, 0, 0, 0}));
    QCOMPARE(inputRegister(master, 3), 0);
    const auto closed = master.holding(45, 11);
    QVERIFY((*closed)[0] > (*closed)[5]);  // seating
    QCOMPARE(*master.holding(34, 11), *open);
    QCOMPARE(*master.holding(56, 4), (Values{1, 0, 1, 0}));
    QCOMPARE(*master.coils(0, 4), (Values{0, 1, 0, 0}));  // the last command given
}

// A command after a long quiet spell starts the stroke at that moment: the time the
// simulator spent waiting for it is no travel. (Raw frames: a master that flushes the
// line before each request would wake the simulator early and hide the fault.)
void SimWireTest::idleTimeIsNotChargedToTheNextCommand()
{
    SimProcess sim;
    QVERIFY(sim.start({"--stroke-seconds", "20"}));
    RawLine line(sim.port());
    QTest::qWait(1500);  // 1.5 s of a 20 s stroke would be 7.5 % of travel
    const QByteArray open = withCrc("01050002FF00");
    QVERIFY(line.write(open));
    QCOMPARE(line.read(open.size(), 1000), open);
    QVERIFY(line.write(withCrc("010400030001")));
    const QByteArray reply = line.read(7, 1000);
    QVERIFY(crcIsValid(reply) && reply.size() == 7);
    const int travel = quint8(reply[3]) * 256 + quint8(reply[4]);
    QVERIFY2(travel < 20, qPrintable(QString("travel %1 tenths of a percent").arg(travel)));
}

void SimWireTest::setPointPositionsValve()
{
    SimProcess sim;
    QVERIFY(sim.start({"--stroke-seconds", "1"}));
    LibModbusMaster master(sim.port());
    QVERIFY(master.writeRegister(6, 400));
    QCOMPARE(input(master, kPositioning), 1);
    QCOMPARE(input(master, kRunningOpen), 1);
    QVERIFY(eventually([&] { return stopped(master); }, 3000));
    QCOMPARE(inputRegister(master, 3), 400);
    QCOMPARE(input(master, kPositioning), 0);
    QCOMPARE(*master.discreteInputs(0, 3), (Values{0, 0, 0}));

    QVERIFY(master.writeRegister(6, 405));  // within the deadband of 1 %
    QCOMPARE(input(master, kMoving), 0);
    QVERIFY(master.writeRegister(6, 250));
    QCOMPARE(input(master, kRunningClosed), 1);
    QVERIFY(eventually([&] { return stopped(master); }, 3000));
    QCOMPARE(inputRegister(master, 3), 250);
    QCOMPARE(*master.holding(56, 4), (Values{1, 0, 1, 0}));
}

void SimWireTest::relays_data()
{
    QTest::addColumn<int>("relay");
    for (int relay = 1; relay <= 4; ++relay) QTest::addRow("relay %d (coil %d)", relay, relay + 4) << relay;
}

void SimWireTest::relays()
{
    QFETCH(int, relay);
    SimProcess sim;
    QVERIFY(sim.start());
    LibModbusMaster master(sim.port());
    const int coil = relay + 3;
    QVERIFY(master.writeCoil(coil, true));
    Values expected(4, 0);
    expected[std::size_t(relay - 1)] = 1;
    QCOMPARE(*master.coils(4, 4), expected);
    QVERIFY(master.writeCoil(coil, false));
    QCOMPARE(*master.coils(4, 4), Values(4, 0));
    QCOMPARE(input(master, kMoving), 0);  // relays are not commands
    const SimDump dump = sim.dump();
    const QString ref = QString::asprintf("%06d", coil + 1);
    QCOMPARE(dump.writes, (QList<QPair<QString, int>>{{ref, 1}, {ref, 0}}));
}

void SimWireTest::selectorSwitch_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<Values>("bits");  // remote, stop, local, monitor relay
    QTest::addColumn<bool>("remoteOpenMoves");
    QTest::addColumn<bool>("localOpenAccepted");
    QTest::newRow("remote") << "remote" << Values{1, 0, 0, 0} << true << false;
    QTest::newRow("stop") << "stop" << Values{0, 1, 0, 1} << false << false;
    QTest::newRow("local") << "local" << Values{0, 0, 1, 1} << false << true;
}

void SimWireTest::selectorSwitch()
{
    QFETCH(QString, selector);
    QFETCH(Values, bits);
    QFETCH(bool, remoteOpenMoves);
    QFETCH(bool, localOpenAccepted);
    SimProcess sim;
    QVERIFY(sim.start({"--stroke-seconds", "5"}));
    LibModbusMaster master(sim.port());
    QVERIFY(sim.command("selector " + selector.toLatin1()).startsWith("OK selector"));
    const auto inputs = master.discreteInputs(0, 10);
    QCOMPARE((Values{(*inputs)[kRemote], (*inputs)[kStop], (*inputs)[kLocal], (*inputs)[kMonitorRelay]}), bits);

    QVERIFY(master.writeCoil(kOpenCoil, true));  // acknowledged in every position
    QCOMPARE(input(master, kMoving), remoteOpenMoves ? 1 : 0);
    QVERIFY(master.writeCoil(kStopCoil, true));

    const QByteArray reply = sim.command("open");
    QVERIFY2(reply.startsWith(localOpenAccepted ? "OK open" : "ERROR open refused"), reply.constData());
    QCOMPARE(input(master, kRunningOpen), localOpenAccepted ? 1 : 0);
    if (localOpenAccepted) {
        QVERIFY(sim.command("stop").startsWith("OK stop"));
        QCOMPARE(*master.holding(56, 4), (Values{0, 0, 0, 1}));  // a local open operation
    }
}

void SimWireTest::alarmIndications_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("offset");
    const char* names[] = {"thermostat", "monitor-relay", "obstructed", "jammed", "manual", "motion-inhibit",
                           "positioning", "watchdog", "low-battery", "open-interlock", "closed-interlock",
                           "di1", "di2", "di3", "di4", "slow-mode"};
    for (int k = 0; k < 16; ++k) QTest::addRow("%s (1%04d)", names[k], 9 + k) << names[k] << 8 + k;
}

void SimWireTest::alarmIndications()
{
    QFETCH(QString, name);
    QFETCH(int, offset);
    SimProcess sim;
    QVERIFY(sim.start());
    LibModbusMaster master(sim.port());
    QCOMPARE(*master.discreteInputs(8, 16), Values(16, 0));
    QVERIFY(sim.command("alarm " + name.toLatin1() + " on").startsWith("OK alarm"));
    Values expected(16, 0);
    expected[std::size_t(offset - 8)] = 1;
    QCOMPARE(*master.discreteInputs(8, 16), expected);
    QVERIFY(sim.command("alarm " + name.toLatin1() + " off").startsWith("OK alarm"));
    QCOMPARE(*master.discreteInputs(8, 16), Values(16, 0));
}

void SimWireTest::alarmsFromCommandLine()
{
    SimProcess sim;
    QVERIFY(sim.start({"--alarm", "low-battery", "--alarm", "10019", "--selector", "local", "--analog", "42.5",
                       "--position", "30", "--tag", "PUMP 7"}));
    LibModbusMaster master(sim.port());
    const auto alarms = master.discreteInputs(16, 3);  // 10017 to 10019
    QCOMPARE(*alarms, (Values{1, 0, 1}));
    QCOMPARE(input(master, kLocal), 1);
    QCOMPARE(inputRegister(master, 4), 425);
    QCOMPARE(inputRegister(master, 3), 300);
    const Values tag = tagRegisters("PUMP 7");
    QCOMPARE(*master.holding(26, 6), tag);

    SimProcess longTag;
    QVERIFY(longTag.start({"--tag", "VALVE 12 EAST"}));  // the module keeps twelve characters
    LibModbusMaster second(longTag.port());
    QCOMPARE(*second.holding(26, 6), tagRegisters("VALVE 12 EAS"));
    QVERIFY(sim.command("alarm nonsense on").startsWith("ERROR"));
}

void SimWireTest::esdClosesFromLocal()
{
    SimProcess sim;
    QVERIFY(sim.start({"--position", "100", "--selector", "local", "--stroke-seconds", "0.4"}));
    LibModbusMaster master(sim.port());
    QVERIFY(master.writeCoil(kCloseCoil, true));
    QCOMPARE(input(master, kMoving), 0);  // local: network commands are ignored ...
    QVERIFY(master.writeCoil(kEsdCoil, true));
    QCOMPARE(input(master, kRunningClosed), 1);  // ... but not ESD
    QVERIFY(eventually([&] { return stopped(master); }, 3000));
    QCOMPARE(input(master, kFullyClosed), 1);
    QCOMPARE(*master.coils(0, 4), (Values{0, 0, 0, 1}));
}

void SimWireTest::obstructionStopsValve()
{
    SimProcess sim;
    QVERIFY(sim.start({"--stroke-seconds", "0.4"}));
    LibModbusMaster master(sim.port());
    QVERIFY(sim.command("obstruct 50").startsWith("OK obstruct 500"));
    QVERIFY(master.writeCoil(kOpenCoil, true));
    QVERIFY(eventually([&] { return stopped(master); }, 3000));
    QCOMPARE(inputRegister(master, 3), 500);
    QCOMPARE(input(master, kObstructed), 1);
    QCOMPARE(*master.holding(34, 11), Values(11, 0));  // no full stroke, no profile
    QCOMPARE(*master.holding(56, 4), (Values{0, 0, 1, 0}));
    QVERIFY(master.writeCoil(kOpenCoil, true));  // still blocked
    QCOMPARE(input(master, kMoving), 0);
    QVERIFY(master.writeCoil(kCloseCoil, true));
    QCOMPARE(input(master, kObstructed), 0);
    QVERIFY(eventually([&] { return stopped(master); }, 3000));
    QCOMPARE(input(master, kFullyClosed), 1);
}

void SimWireTest::communicationLossAction()
{
    SimProcess sim;
    QVERIFY(sim.start({"--stroke-seconds", "10"}));
    LibModbusMaster master(sim.port());
    QVERIFY(master.writeRegister(7, 1));   // action on loss: open
    QVERIFY(master.writeRegister(21, 1));  // after 1 s without requests
    QElapsedTimer quiet;
    quiet.start();
    // Watch through the console: a Modbus read would restart the timer.
    QVERIFY(eventually([&] { return sim.dump().keys.value("motion") == "opening"; }, 3000));
    QVERIFY(quiet.elapsed() >= 900);
}

void SimWireTest::dropIsSeededAndCounted()
{
    auto pattern = [](const QString& seed, int* dropped) {
        SimProcess sim;
        if (!sim.start({"--drop", "0.5", "--seed", seed})) return QString("no start");
        LibModbusMaster master(sim.port(), 1, 120);
        QString marks;
        for (int i = 0; i < 16; ++i) marks += master.holding(5, 1) ? '+' : '-';
        *dropped = sim.dump().counter("dropped");
        return marks;
    };
    int dropped = 0, droppedAgain = 0, droppedOther = 0;
    const QString first = pattern("7", &dropped);
    QVERIFY2(first.contains('+') && first.contains('-'), qPrintable(first));
    QCOMPARE(dropped, int(first.count('-')));
    QCOMPARE(pattern("7", &droppedAgain), first);
    QVERIFY(pattern("8", &droppedOther) != first);
}

void SimWireTest::corruptReplyHasWrongCrc()
{
    SimProcess sim;
    QVERIFY(sim.start({"--corrupt", "1"}));
    RawLine line(sim.port());
    QVERIFY(line.write(withCrc("010300050001")));
    const QByteArray reply = line.read(7, 1000);
    QCOMPARE(reply.size(), 7);
    QCOMPARE(reply.left(5), QByteArray::fromHex("0103020001"));
    QVERIFY(!crcIsValid(reply));

    QVERIFY(sim.command("corrupt 0").startsWith("OK"));
    LibModbusMaster master(sim.port());
    QVERIFY(master.holding(5, 1));
    QVERIFY(sim.command("corrupt 1").startsWith("OK"));
    QVERIFY(!master.holding(5, 1));
    QCOMPARE(master.lastError, EMBBADCRC);
    QCOMPARE(sim.dump().counter("corrupted"), 2);
}

void SimWireTest::delayHoldsReply()
{
    SimProcess sim;
    QVERIFY(sim.start({"--delay", "250"}));
    LibModbusMaster master(sim.port(), 1, 1500);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(master.holding(5, 1));
    QVERIFY(clock.elapsed() >= 240);
    QVERIFY(sim.command("delay 0").startsWith("OK delay 0"));
    clock.restart();
    QVERIFY(master.holding(5, 1));
    QVERIFY(clock.elapsed() < 200);
}

void SimWireTest::exceptionInjection_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("exception");
    QTest::newRow("block read touching 400015") << "400015:4" << "holding" << 7 << 25 << 4;
    QTest::newRow("block read short of it") << "400015:4" << "holding" << 7 << 7 << 0;
    QTest::newRow("write of it") << "400015:4" << "write holding" << 14 << 1 << 4;
    QTest::newRow("range, presence outside") << "40008-40032:2" << "holding" << 5 << 1 << 0;
    QTest::newRow("range, tag inside") << "40008-40032:2" << "holding" << 31 << 2 << 2;
    QTest::newRow("open command coil") << "000003:6" << "write coil" << 2 << 1 << 6;
    QTest::newRow("alarms, default code") << "10009" << "input" << 8 << 16 << 4;
    QTest::newRow("status beside the alarms") << "10009" << "input" << 0 << 8 << 0;
}

void SimWireTest::exceptionInjection()
{
    QFETCH(QString, rule);
    QFETCH(QString, table);
    QFETCH(int, offset);
    QFETCH(int, count);
    QFETCH(int, exception);
    SimProcess sim;
    QVERIFY(sim.start({"--exception", rule, "--stroke-seconds", "5"}));
    LibModbusMaster master(sim.port());
    bool ok = false;
    if (table == "holding") ok = bool(master.holding(offset, count));
    else if (table == "input") ok = bool(master.discreteInputs(offset, count));
    else if (table == "write holding") ok = master.writeRegister(offset, 10);
    else ok = master.writeCoil(offset, true);
    if (exception == 0) {
        QVERIFY2(ok, modbus_strerror(master.lastError));
    } else {
        QVERIFY(!ok);
        QCOMPARE(master.lastError, LibModbusMaster::exceptionError(exception));
        QCOMPARE(input(master, kMoving), 0);  // a refused request is not served
        QCOMPARE(sim.dump().writes.size(), 0);
    }
}

void SimWireTest::exceptionInjectionFromConsole()
{
    SimProcess sim;
    QVERIFY(sim.start());
    LibModbusMaster master(sim.port());
    QCOMPARE(sim.command("exception 30004:3"), QByteArray("OK exception 300004:3\n"));
    QVERIFY(!master.inputRegisters(3, 1));
    QCOMPARE(master.lastError, LibModbusMaster::exceptionError(3));
    QVERIFY(master.inputRegisters(2, 1));
    QVERIFY(sim.command("exception clear").startsWith("OK"));
    QVERIFY(master.inputRegisters(3, 1));
    QVERIFY(sim.command("exception 400001-300001").startsWith("ERROR"));
}

void SimWireTest::silenceAndComeBack()
{
    SimProcess sim;
    QVERIFY(sim.start({"--silent-after", "2", "--silent-for", "400"}));
    LibModbusMaster master(sim.port(), 1, 120);
    QVERIFY(master.holding(5, 1));
    QVERIFY(master.holding(5, 1));
    QVERIFY(!master.holding(5, 1));
    QCOMPARE(master.lastError, ETIMEDOUT);
    QVERIFY(eventually([&] { return bool(master.holding(5, 1)); }, 2000));

    QVERIFY(sim.command("silent").startsWith("OK silent"));
    QVERIFY(!master.writeCoil(4, true));
    QCOMPARE(sim.dump().keys.value("silent"), QString("yes"));
    QVERIFY(sim.command("resume").startsWith("OK resume"));
    QCOMPARE(*master.coils(4, 1), Values{0});  // what was sent while silent was never heard
    const SimDump dump = sim.dump();
    QVERIFY(dump.counter("ignored") >= 2);
    QCOMPARE(dump.keys.value("silent"), QString("no"));
}

void SimWireTest::dumpFileOnSignalAndExit()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("state.txt");
    SimProcess sim;
    QVERIFY(sim.start({"--dump", file}));
    LibModbusMaster master(sim.port());
    QVERIFY(master.writeRegister(12, 170));
    ::kill(pid_t(sim.pid()), SIGUSR1);
    QCOMPARE(sim.waitForLine("DUMPED"), ("DUMPED " + file).toLocal8Bit());
    auto readDump = [&file] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? parseDump(f.readAll()) : SimDump{};
    };
    SimDump dump = readDump();
    QVERIFY(dump.complete);
    QCOMPARE(dump.value("400013"), 170);
    QCOMPARE(dump.value("000001"), 0);
    QCOMPARE(dump.value("100002"), 1);
    QCOMPARE(dump.value("300004"), 0);
    QCOMPARE(dump.values.size(), 8 + 24 + 5 + 60);

    QVERIFY(master.writeRegister(13, 33));
    sim.stop();
    dump = readDump();
    QVERIFY(dump.complete);
    QCOMPARE(dump.value("400014"), 33);
    QCOMPARE(dump.writes.last(), (QPair<QString, int>("400014", 33)));
}

void SimWireTest::masterCanReopenLine()
{
    SimProcess sim;
    QVERIFY(sim.start());
    for (int round = 0; round < 3; ++round) {
        LibModbusMaster master(sim.port());
        QVERIFY2(master.holding(5, 1), modbus_strerror(master.lastError));
    }
    {
        // A master that leaves before the reply arrives does not upset the next one.
        RawLine line(sim.port());
        QVERIFY(line.write(withCrc("010300070019")));
    }
    LibModbusMaster master(sim.port());
    QVERIFY(master.holding(7, 25));
}

void SimWireTest::endsWhenItsInputPipeCloses()
{
    // A crashed driver must not leave the simulator behind.
    QTemporaryDir dir;
    const QString file = dir.filePath("state.txt");
    SimProcess sim;
    QVERIFY(sim.start({"--dump", file}));
    sim.process().process().closeWriteChannel();
    QVERIFY(sim.process().process().waitForFinished(3000));
    QCOMPARE(sim.process().process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().process().exitCode(), 0);
    QVERIFY(QFileInfo::exists(file));
}

void SimWireTest::otherUnitsAndBroadcast()
{
    SimProcess sim;
    QVERIFY(sim.start());
    RawLine line(sim.port());
    QVERIFY(line.write(withCrc("020300050001")));  // for unit 2
    QVERIFY(line.read(1, 150).isEmpty());
    QVERIFY(line.write(withCrc("00050004FF00")));  // broadcast: relay 1 on
    QVERIFY(line.read(1, 150).isEmpty());
    QVERIFY(line.write(withCrc("010100040001")));  // unit 1 answers straight after
    QCOMPARE(line.read(6, 1000), withCrc("01010101"));
    const SimDump dump = sim.dump();
    QCOMPARE(dump.counter("foreign"), 1);
    QCOMPARE(dump.value("000005"), 1);
}

void SimWireTest::framing_data()
{
    QTest::addColumn<QList<QByteArray>>("parts");
    QTest::addColumn<bool>("answered");
    const QByteArray request = withCrc("010300050001");
    QTest::newRow("whole") << QList<QByteArray>{request} << true;
    QTest::newRow("garbage in front") << QList<QByteArray>{QByteArray::fromHex("FF1337") + request} << true;
    QTest::newRow("split in two writes") << QList<QByteArray>{request.left(3), request.mid(3)} << true;
    QByteArray badCrc = request;
    badCrc[7] = char(badCrc[7] ^ 0x01);
    QTest::newRow("wrong CRC") << QList<QByteArray>{badCrc} << false;
    QTest::newRow("unknown function") << QList<QByteArray>{withCrc("0141")} << true;
}

void SimWireTest::framing()
{
    QFETCH(QList<QByteArray>, parts);
    QFETCH(bool, answered);
    SimProcess sim;
    QVERIFY(sim.start());
    RawLine line(sim.port());
    for (const QByteArray& part : parts) {
        QVERIFY(line.write(part));
        QThread::msleep(5);
    }
    const QByteArray reply = line.read(0, 300);
    if (!answered) {
        QVERIFY(reply.isEmpty());
        QVERIFY(sim.dump().counter("bad-bytes") > 0);
        // The count carries on over a power cycle, as the other counters do.
        const int bad = sim.dump().counter("bad-bytes");
        QVERIFY(sim.command("power-cycle").startsWith("OK power-cycle"));
        QCOMPARE(sim.dump().counter("bad-bytes"), bad);
        return;
    }
    QVERIFY(crcIsValid(reply));
    if (parts.last().startsWith(QByteArray::fromHex("0141")))
        QCOMPARE(reply, withCrc("01C101"));  // illegal function
    else
        QCOMPARE(reply, withCrc("0103020001"));
}

void SimWireTest::badOptionsAreRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unit 0") << QStringList{"--unit", "0"};
    QTest::newRow("unit 248") << QStringList{"--unit", "248"};
    QTest::newRow("parity x") << QStringList{"--settings", "9600,x,8,1"};
    QTest::newRow("7 data bits") << QStringList{"--settings", "9600,n,7,1"};
    QTest::newRow("baud 1234") << QStringList{"--settings", "1234,n,8,1"};
    QTest::newRow("format mk3") << QStringList{"--format", "mk3"};
    QTest::newRow("stroke 0") << QStringList{"--stroke-seconds", "0"};
    QTest::newRow("drop 1.5") << QStringList{"--drop", "1.5"};
    QTest::newRow("exception across tables") << QStringList{"--exception", "400001-300001"};
    QTest::newRow("tag with a control character") << QStringList{"--tag", "AB\tC"};
    QTest::newRow("unknown alarm") << QStringList{"--alarm", "fire"};
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("missing value") << QStringList{"--unit"};
    QTest::newRow("missing device") << QStringList{"--port", "/nonexistent/tty"};
}

void SimWireTest::badOptionsAreRefused()
{
    QFETCH(QStringList, args);
    QProcess sim;
    sim.start(simulatorPath(), args);
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY(sim.exitCode() != 0);
    QVERIFY(sim.readAllStandardOutput().isEmpty());  // no PORT, no READY
    QVERIFY(sim.readAllStandardError().startsWith("actuator-sim: "));
}

QTEST_GUILESS_MAIN(SimWireTest)
#include "SimWireTest.moc"
