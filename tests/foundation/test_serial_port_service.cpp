// The serial port service over real pseudo-terminals.
#include "ErrorNumber.h"
#include "PtyPair.h"
#include "WaitUntil.h"
#include "base/BuslinkError.h"
#include "base/ConfigFolder.h"
#include "base/EventWait.h"
#include "line/PortMap.h"
#include "line/SerialPortService.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

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

QTEST_GUILESS_MAIN(TestSerialPortService)
#include "test_serial_port_service.moc"
