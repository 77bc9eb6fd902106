// The serial port service over real pseudo-terminals.
#include "ErrorNumber.h"
#include "PtyPair.h"
#include "WaitUntil.h"
#include "base/BuslinkError.h"
#include "base/ConfigFolder.h"
#include "base/EventWait.h"
#include "line/LineTiming.h"
#include "line/PortMap.h"
#include "line/SerialPortService.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>

using namespace buslink;

namespace {

QByteArray everyByteValue()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i) all.append(char(i));
    return all;
}
} // namespace

class TestSerialPortService : public QObject {
    Q_OBJECT
private slots:
    void init();
    void everyByteValuePassesBothWays();
    void notifiesOnceThresholdIsReached();
    void inputLengthLimitsOneRead();
    void discardsEmptyTheBuffers();
    void settingsTexts_data();
    void settingsTexts();
    void malformedSettingsAreRefusedAndKept();
    void openingMissingDeviceIsAnError();
    void portNumbersMapThroughTheIniFile();
    void closedPortRefusesOutput();
    void vanishedLineIsClosedReportedAndReopened();
    void silenceFollowsTheBaudRate_data();
    void silenceFollowsTheBaudRate();
    void silenceIsSignalledOnceTheLineIsQuiet();
};

void TestSerialPortService::init()
{
    QFile::remove(IniFilePath());
}

void TestSerialPortService::everyByteValuePassesBothWays()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    SerialPortService port;
    port.setDevicePath(pty.devicePath());
    port.setSettings("9600,e,8,1");
    port.setPortOpen(true);
    QVERIFY(port.portOpen());

    port.output(everyByteValue());
    QCOMPARE(pty.read(256, 3000), everyByteValue());

    QVERIFY(pty.write(everyByteValue()));
    QVERIFY(waitUntil([&] { return port.inBufferCount() >= 256; }));
    QCOMPARE(port.input(), everyByteValue());
}

void TestSerialPortService::notifiesOnceThresholdIsReached()
{
    PtyPair pty;
    SerialPortService port;
    port.setDevicePath(pty.devicePath());
    port.setPortOpen(true);
    port.setRThreshold(7);
    QSignalSpy notifications(&port, &SerialPortService::onComm);

    QVERIFY(pty.write(QByteArray::fromHex("010302")));
    QVERIFY(waitUntil([&] { return port.inBufferCount() == 3; }));
    for (int i = 0; i < 10; ++i) LetPendingEventsRun(10);
    QCOMPARE(notifications.count(), 0);

    QVERIFY(pty.write(QByteArray::fromHex("002a399b")));
    QVERIFY(waitUntil([&] { return notifications.count() > 0; }));
    QCOMPARE(port.commEvent(), int(SerialPortService::EvReceive));
    QCOMPARE(port.inBufferCount(), 7);

    port.setRThreshold(0);  // 0: no receive notifications at all
    notifications.clear();
    QVERIFY(pty.write("x"));
    QVERIFY(waitUntil([&] { return port.inBufferCount() == 8; }));
    QCOMPARE(notifications.count(), 0);
}

void TestSerialPortService::inputLengthLimitsOneRead()
{
    PtyPair pty;
    SerialPortService port;
    port.setDevicePath(pty.devicePath());
    port.setPortOpen(true);
    QVERIFY(pty.write("abcdefgh"));
    QVERIFY(waitUntil([&] { return port.inBufferCount() == 8; }));
    port.setInputLen(3);
    QCOMPARE(port.input(), QByteArray("abc"));
    port.setInputLen(0);
    QCOMPARE(port.input(), QByteArray("defgh"));
}

void TestSerialPortService::discardsEmptyTheBuffers()
{
    PtyPair pty;
    SerialPortService port;
    port.setDevicePath(pty.devicePath());
    port.setPortOpen(true);
    QVERIFY(pty.write("stale reply"));
    QVERIFY(waitUntil([&] { return port.inBufferCount() == 11; }));
    port.setInBufferCount(0);
    QCOMPARE(port.inBufferCount(), 0);
    QCOMPARE(port.input(), QByteArray());
    port.setOutBufferCount(0);  // nothing pending: must simply succeed
    QCOMPARE(errorNumberOf([&] { port.setInBufferCount(5); }), int(ErrInvalidPropertyValue));
}

void TestSerialPortService::settingsTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("9600,e,8,1") << "9600,e,8,1" << true;
    QTest::newRow("19200,N,8,2") << "19200,N,8,2" << true;
    QTest::newRow("1200,o,7,1.5") << "1200,o,7,1.5" << true;
    QTest::newRow("blanks") << " 9600 , n , 8 , 1 " << true;
    QTest::newRow("three fields") << "9600,e,8" << false;
    QTest::newRow("parity x") << "9600,x,8,1" << false;
    QTest::newRow("baud text") << "fast,e,8,1" << false;
    QTest::newRow("baud zero") << "0,e,8,1" << false;
    QTest::newRow("data bits 9") << "9600,e,9,1" << false;
    QTest::newRow("stop bits 3") << "9600,e,8,3" << false;
    QTest::newRow("empty") << "" << false;
}

void TestSerialPortService::settingsTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    SerialPortService port;
    const int error = errorNumberOf([&] { port.setSettings(text); });
    QCOMPARE(error == 0, valid);
    if (valid) QCOMPARE(port.settings(), text);
    else QCOMPARE(error, int(ErrInvalidPropertyValue));
}

void TestSerialPortService::malformedSettingsAreRefusedAndKept()
{
    PtyPair pty;
    SerialPortService port;
    port.setDevicePath(pty.devicePath());
    port.setSettings("19200,n,8,1");
    port.setPortOpen(true);
    QCOMPARE(errorNumberOf([&] { port.setSettings("19200;n;8;1"); }), int(ErrInvalidPropertyValue));
    QCOMPARE(port.settings(), QStringLiteral("19200,n,8,1"));
    QVERIFY(port.portOpen());
}

void TestSerialPortService::openingMissingDeviceIsAnError()
{
    SerialPortService port;
    port.setDevicePath("/dev/no-such-serial-device");
    QCOMPARE(errorNumberOf([&] { port.setPortOpen(true); }), int(ErrInvalidPortNumber));
    QVERIFY(!port.portOpen());
    // Opening twice is refused; closing a closed port is harmless.
    PtyPair pty;
    port.setDevicePath(pty.devicePath());
    port.setPortOpen(true);
    QCOMPARE(errorNumberOf([&] { port.setPortOpen(true); }), int(ErrPortAlreadyOpen));
    port.setPortOpen(false);
    port.setPortOpen(false);
    QVERIFY(!port.portOpen());
}

void TestSerialPortService::portNumbersMapThroughTheIniFile()
{
    QCOMPARE(DevicePathForPort(1), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(DevicePathForPort(3), QStringLiteral("/dev/ttyUSB2"));
    PtyPair pty;
    {
        QSettings ini(IniFilePath(), QSettings::IniFormat);
        ini.setValue("Ports/2", pty.devicePath());
    }
    QCOMPARE(DevicePathForPort(2), pty.devicePath());
    SerialPortService port;
    port.setCommPort(2);
    QCOMPARE(port.devicePath(), pty.devicePath());
    port.setPortOpen(true);
    port.output("via port 2");
    QCOMPARE(pty.read(10, 3000), QByteArray("via port 2"));
    QCOMPARE(errorNumberOf([&] { port.setCommPort(1); }), int(ErrPortAlreadyOpen));
    QCOMPARE(errorNumberOf([] { SerialPortService().setCommPort(0); }), int(ErrInvalidPortNumber));
}

void TestSerialPortService::closedPortRefusesOutput()
{
    SerialPortService port;
    QCOMPARE(errorNumberOf([&] { port.output("x"); }), int(ErrPortNotOpen));
    QCOMPARE(errorNumberOf([&] { port.input(); }), int(ErrPortNotOpen));
    QCOMPARE(port.inBufferCount(), 0);
    QVERIFY(!port.cdHolding());
}

// The far end goes away (socat ended: both pseudo-terminals vanish, as when a USB
// adapter is pulled): the port is closed at once, the loss is reported once with the
// device's name, nothing spins while the line is gone, and the port opens again once
// the line is back.
void TestSerialPortService::vanishedLineIsClosedReportedAndReopened()
{
    SocatPair line;
    QVERIFY(line.isValid());
    SerialPortService port;
    port.setDevicePath(line.endA());
    port.setSettings("9600,n,8,1");
    port.setPortOpen(true);
    QSignalSpy lost(&port, &SerialPortService::lineLost);
    QSignalSpy restored(&port, &SerialPortService::lineRestored);

    line.stop();
    QVERIFY(waitUntil([&] { return lost.count() > 0; }, 5000));
    QVERIFY(!port.portOpen());
    QVERIFY(port.isLineLost());
    QVERIFY2(lost[0][0].toString().contains(line.endA()), qPrintable(lost[0][0].toString()));
    QCOMPARE(port.lineLostReason(), lost[0][0].toString());

    rusage before {}, after {};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < 1000) LetPendingEventsRun(50);
    getrusage(RUSAGE_SELF, &after);
    const auto seconds = [](const rusage& u) {
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    QVERIFY2(seconds(after) - seconds(before) < 0.2, "a lost line must cost no CPU");
    QCOMPARE(lost.count(), 1);
    QVERIFY(!port.reopen());  // still gone

    QVERIFY(line.start());
    QVERIFY(port.reopen());
    QVERIFY(port.portOpen());
    QVERIFY(!port.isLineLost());
    QCOMPARE(restored.count(), 1);
    SerialPortService far;
    far.setDevicePath(line.endB());
    far.setPortOpen(true);
    port.output("back");
    QVERIFY(waitUntil([&] { return far.inBufferCount() == 4; }));
    QCOMPARE(far.input(), QByteArray("back"));
}

void TestSerialPortService::silenceFollowsTheBaudRate_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("silenceUs");
    QTest::newRow("9600,e,8,1: 3.5 x 11 bits") << "9600,e,8,1" << 4011;
    QTest::newRow("9600,n,8,1: 3.5 x 10 bits") << "9600,n,8,1" << 3646;
    QTest::newRow("19200,e,8,1") << "19200,e,8,1" << 2006;
    QTest::newRow("38400: fixed 1750 us") << "38400,e,8,1" << 1750;
    QTest::newRow("115200: fixed 1750 us") << "115200,n,8,2" << 1750;
    QTest::newRow("1200,o,7,2") << "1200,o,7,2" << 32084;
}

void TestSerialPortService::silenceFollowsTheBaudRate()
{
    QFETCH(QString, settings);
    QFETCH(int, silenceUs);
    QCOMPARE(FrameSilenceUs(ParseLineSettings(settings)), silenceUs);
}

// On a pseudo-terminal timing means nothing, so silence is off unless asked for; asked
// for, it comes once, after the bytes stop.
void TestSerialPortService::silenceIsSignalledOnceTheLineIsQuiet()
{
    PtyPair pty;
    SerialPortService port;
    port.setDevicePath(pty.devicePath());
    port.setPortOpen(true);
    QVERIFY(!port.detectsSilence());
    QSignalSpy silences(&port, &SerialPortService::silence);
    port.setRThreshold(1);
    QVERIFY(pty.write("ab"));
    QVERIFY(waitUntil([&] { return port.inBufferCount() == 2; }));
    for (int i = 0; i < 5; ++i) LetPendingEventsRun(10);
    QCOMPARE(silences.count(), 0);

    port.setSilenceDetection(SerialPortService::SilenceDetection::Always);
    QVERIFY(port.detectsSilence());
    QVERIFY(pty.write("cd"));
    QVERIFY(waitUntil([&] { return silences.count() == 1; }, 2000));
    for (int i = 0; i < 5; ++i) LetPendingEventsRun(10);
    QCOMPARE(silences.count(), 1);
}

QTEST_GUILESS_MAIN(TestSerialPortService)
#include "test_serial_port_service.moc"
