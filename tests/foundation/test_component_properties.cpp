// Component properties: defaults, property bag loading and saving, the
// life-cycle handlers and the three timers.
#include "PtyPair.h"
#include "shell/Buslink.h"
#include "base/BuslinkError.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace buslink {
class BuslinkTestAccess {
public:
    static bool watchdogRuns(const Buslink& b) { return b.Timer1.isActive(); }
    static void setFlags(Buslink& b, bool readDone, bool writeDone, bool writeLock)
    {
        b.ReadDone = readDone;
        b.WriteDone = writeDone;
        b.WriteLock = writeLock;
    }
    static bool readDone(const Buslink& b) { return b.ReadDone; }
    static bool writeDone(const Buslink& b) { return b.WriteDone; }
    static bool writeLock(const Buslink& b) { return b.WriteLock; }
    static bool readScanRuns(const Buslink& b) { return b.Timer2.isActive(); }
    static bool writeQueueRuns(const Buslink& b) { return b.Timer3.isActive(); }
    static int writeQueueInterval(const Buslink& b) { return b.Timer3.interval(); }
    static qint16 defaultUnit(const Buslink& b) { return b.DefaultUnit; }
    static int imageUpperBound(const Buslink& b) { return b.IoImage.upperBound(); }
    static int slaveBufferUpperBound(const Buslink& b) { return b.slaveReceiveBuffer.upperBound(); }
};
} // namespace buslink

using namespace buslink;
using Access = BuslinkTestAccess;

namespace {
class SwitchableHost : public BuslinkHost {
public:
    bool design = false;
    bool designMode() const override { return design; }
    QString ambientFont() const override { return QStringLiteral("Arial,9"); }
};

int errorNumberOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const BuslinkError& e) {
        return e.number();
    }
    return 0;
}
} // namespace

class TestComponentProperties : public QObject {
    Q_OBJECT
private slots:
    void newInstanceDefaults();
    void emptyBagLoadsTheDefaults();
    void loadingPortOpenLeavesThePortClosed();
    void savedPropertiesReloadIntoAnotherInstance();
    void savingWritesEveryKey();
    void timersAfterLoading_data();
    void timersAfterLoading();
    void showStopsEveryTimer();
    void scanEnableStartsTimersOnlyInRunMode();
    void slaveModeArmsThePort();
    void portOpenIsRefusedInDesignMode();
    void settersAnnounceTheirProperty();
    void sizeIsFixed();
    void badBagValueDoesNotStopTheLoad();
    void commBusyWriteFalseClearsTheFlags();
};

void TestComponentProperties::newInstanceDefaults()
{
    SwitchableHost host;
    Buslink b(nullptr, &host);
    b.InitProperties();
    QCOMPARE(b.Address(), 1);
    QCOMPARE(Access::defaultUnit(b), qint16(1));
    QCOMPARE(b.ModBusMode(), qint16(Rtu));
    QCOMPARE(b.PLCType(), qint32(EnStdModbus));
    QCOMPARE(b.NumOfReadRetries(), qint16(2));
    QCOMPARE(b.NumOfWriteRetries(), qint16(2));
    QCOMPARE(b.CommPort(), qint16(1));
    QVERIFY(!b.PortOpen());
    QVERIFY(!b.Enabled());
    QVERIFY(!b.ScanReadEnable());
    QVERIFY(!b.ScanWriteEnable());
    QCOMPARE(b.CommBusy().toBool(), false);
    // A fresh instance has its reply watchdog running, or one lost reply would keep the
    // line busy for good; the scan timers stay off.
    QVERIFY(Access::watchdogRuns(b));
}

void TestComponentProperties::emptyBagLoadsTheDefaults()
{
    SwitchableHost host;
    Buslink b(nullptr, &host);
    MemoryPropertyBag bag;
    b.ReadProperties(bag);
    QCOMPARE(b.Settings(), QStringLiteral("9600,e,8,1"));
    QVERIFY(b.DTREnable());
    QCOMPARE(Access::writeQueueInterval(b), 55);
    QCOMPARE(b.ScanReadIOTimerInterval(), 500);
    QCOMPARE(b.Address(), 1);
    QCOMPARE(b.ModBusMode(), qint16(Rtu));
    QCOMPARE(Access::imageUpperBound(b), 5);
    QCOMPARE(Access::slaveBufferUpperBound(b), 5);
}

void TestComponentProperties::loadingPortOpenLeavesThePortClosed()
{
    PtyPair pty;
    SwitchableHost host;
    Buslink b(nullptr, &host);
    b.setDevicePath(pty.devicePath());
    MemoryPropertyBag bag;
    bag.values.insert("PortOpen", true);
    b.ReadProperties(bag);
    QVERIFY(b.PortOpen());
    QVERIFY(!b.port().portOpen());
}

void TestComponentProperties::savedPropertiesReloadIntoAnotherInstance()
{
    QTemporaryDir dir;
    QSettings file(dir.filePath("form.ini"), QSettings::IniFormat);
    SettingsPropertyBag bag(file, "Buslink1");
    SwitchableHost host;
    {
        Buslink b(nullptr, &host);
        b.InitProperties();
        b.setAddress(17);
        b.setCommPort(3);
        b.setSettings("19200,n,8,2");
        b.setModBusMode(Ascii);
        b.setPLCType(EnType2);
        b.setNumOfReadRetries(5);
        b.setScanReadIOTimerInterval(750);
        b.setScanWriteIOTimerInterval(120);
        b.setDTREnable(false);
        b.setEnabled(true);
        b.WriteProperties(bag);
    }
    file.sync();
    QSettings reread(dir.filePath("form.ini"), QSettings::IniFormat);
    SettingsPropertyBag bag2(reread, "Buslink1");
    Buslink c(nullptr, &host);
    c.ReadProperties(bag2);
    QCOMPARE(c.Address(), 17);
    QCOMPARE(Access::defaultUnit(c), qint16(17));
    QCOMPARE(c.CommPort(), qint16(3));
    QCOMPARE(c.port().commPort(), qint16(3));
    QCOMPARE(c.Settings(), QStringLiteral("19200,n,8,2"));
    QCOMPARE(c.ModBusMode(), qint16(Ascii));
    QCOMPARE(c.PLCType(), qint32(EnType2));
    QCOMPARE(c.NumOfReadRetries(), qint16(5));
    QCOMPARE(c.ScanReadIOTimerInterval(), 750);
    QCOMPARE(c.ScanWriteIOTimerInterval(), 120);
    QVERIFY(!c.DTREnable());
    QVERIFY(c.Enabled());
}

void TestComponentProperties::savingWritesEveryKey()
{
    SwitchableHost host;
    Buslink b(nullptr, &host);
    b.InitProperties();
    MemoryPropertyBag bag;
    b.WriteProperties(bag);
    const QStringList keys{"BackColor", "ForeColor", "Enabled", "Font", "BackStyle", "BorderStyle", "Baud",
                           "Appearance", "CommPort", "PortOpen", "NumOfReadRetries", "NumOfWriteRetries",
                           "Settings", "DTREnable", "Address", "ModBusMode", "PLCType", "WriteUpdateInterval",
                           "ScanWriteEnable", "ScanReadEnable", "ScanReadIOTimerInterval",
                           "ScanWriteIOTimerInterval"};
    for (const QString& key : keys) QVERIFY2(bag.contains(key), qPrintable(key));
    QCOMPARE(bag.values.value("Font").toString(), QStringLiteral("Arial,9"));
}

void TestComponentProperties::timersAfterLoading_data()
{
    QTest::addColumn<bool>("design");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("scanRead");
    QTest::addColumn<bool>("scanWrite");
    QTest::addColumn<bool>("watchdog");
    QTest::addColumn<bool>("readScan");
    QTest::addColumn<bool>("writeQueue");
    QTest::newRow("run, master, no scans") << false << int(Rtu) << false << false << true << false << false;
    QTest::newRow("run, master, both scans") << false << int(Ascii) << true << true << true << true << true;
    QTest::newRow("run, slave") << false << int(SlaveRtu) << true << true << false << false << false;
    QTest::newRow("design, master") << true << int(Rtu) << true << true << false << false << false;
}

void TestComponentProperties::timersAfterLoading()
{
    QFETCH(bool, design);
    QFETCH(int, mode);
    QFETCH(bool, scanRead);
    QFETCH(bool, scanWrite);
    SwitchableHost host;
    host.design = design;
    Buslink b(nullptr, &host);
    MemoryPropertyBag bag;
    bag.values.insert("ModBusMode", mode);
    bag.values.insert("ScanReadEnable", scanRead);
    bag.values.insert("ScanWriteEnable", scanWrite);
    b.ReadProperties(bag);
    QTEST(Access::watchdogRuns(b), "watchdog");
    QTEST(Access::readScanRuns(b), "readScan");
    QTEST(Access::writeQueueRuns(b), "writeQueue");
}

void TestComponentProperties::showStopsEveryTimer()
{
    SwitchableHost host;
    Buslink b(nullptr, &host);
    MemoryPropertyBag bag;
    bag.values.insert("ScanReadEnable", true);
    b.ReadProperties(bag);
    QVERIFY(Access::watchdogRuns(b));
    b.Show();
    QVERIFY(!Access::watchdogRuns(b));
    QVERIFY(!Access::readScanRuns(b));
    b.Paint();
    QVERIFY(!Access::watchdogRuns(b));  // nothing restarts the watchdog after a show
}

void TestComponentProperties::scanEnableStartsTimersOnlyInRunMode()
{
    SwitchableHost host;
    host.design = true;
    Buslink b(nullptr, &host);
    b.setScanReadEnable(true);
    QVERIFY(b.ScanReadEnable());
    QVERIFY(!Access::readScanRuns(b));
    host.design = false;
    b.setScanReadEnable(true);
    b.setScanWriteEnable(true);
    QVERIFY(Access::readScanRuns(b));
    QVERIFY(Access::writeQueueRuns(b));
    b.setScanReadEnable(false);
    QVERIFY(!Access::readScanRuns(b));
}

void TestComponentProperties::slaveModeArmsThePort()
{
    SwitchableHost host;
    Buslink b(nullptr, &host);
    b.port().setRThreshold(55);
    b.port().setInputLen(55);
    b.setModBusMode(SlaveRtu);
    QCOMPARE(b.port().rThreshold(), 1);
    QCOMPARE(b.port().inputLen(), 0);
    QCOMPARE(Access::imageUpperBound(b), 50000);
    QCOMPARE(Access::slaveBufferUpperBound(b), 50000);
    b.setModBusMode(Rtu);
    QCOMPARE(b.port().rThreshold(), 1);  // left for the next request to set
    QCOMPARE(Access::imageUpperBound(b), 5);
}

void TestComponentProperties::portOpenIsRefusedInDesignMode()
{
    PtyPair pty;
    SwitchableHost host;
    host.design = true;
    Buslink b(nullptr, &host);
    b.setDevicePath(pty.devicePath());
    QCOMPARE(errorNumberOf([&] { b.setPortOpen(true); }), int(ErrDesignMode));
    QVERIFY(!b.PortOpen());
    host.design = false;
    b.setPortOpen(true);
    QVERIFY(b.PortOpen());
    QVERIFY(b.port().portOpen());
    b.setPortOpen(false);
    QVERIFY(!b.port().portOpen());
    // A port that cannot be opened: the error reaches the caller.
    b.setDevicePath("/dev/no-such-serial-device");
    QCOMPARE(errorNumberOf([&] { b.setPortOpen(true); }), int(ErrInvalidPortNumber));
}

void TestComponentProperties::settersAnnounceTheirProperty()
{
    SwitchableHost host;
    Buslink b(nullptr, &host);
    QSignalSpy changed(&b, &Buslink::propertyChanged);
    b.setAddress(5);
    b.setSettings("9600,n,8,1");
    b.setDTREnable(true);
    b.setModBusMode(Ascii);
    b.setEnabled(true);
    b.setCommBusy(false);  // not a stored property: no announcement
    QStringList names;
    for (const auto& args : changed) names << args.at(0).toString();
    QCOMPARE(names, (QStringList{"Address", "Settings", "DTREnable", "ModBusMode", "Enabled"}));
    QCOMPARE(errorNumberOf([&] { b.setAddress(70000); }), int(ErrOverflow));
    QCOMPARE(b.Address(), 5);
}

void TestComponentProperties::sizeIsFixed()
{
    SwitchableHost host;
    Buslink b(nullptr, &host);
    QCOMPARE(b.controlSizeTwips(), QSize(825, 450));
    float w = 100, h = 100;
    b.Size(w, h);
    QCOMPARE(b.controlSizeTwips(), QSize(475, 500));
}

void TestComponentProperties::badBagValueDoesNotStopTheLoad()
{
    SwitchableHost host;
    Buslink b(nullptr, &host);
    MemoryPropertyBag bag;
    bag.values.insert("Settings", "garbage");
    bag.values.insert("Address", 9);
    bag.values.insert("ModBusMode", int(Ascii));
    b.ReadProperties(bag);
    QCOMPARE(b.Settings(), b.port().settings());
    QCOMPARE(b.Address(), 9);
    QCOMPARE(b.ModBusMode(), qint16(Ascii));
}

void TestComponentProperties::commBusyWriteFalseClearsTheFlags()
{
    SwitchableHost host;
    Buslink b(nullptr, &host);
    QCOMPARE(b.CommBusy().toBool(), false);
    b.setCommBusy(true);  // writing true changes nothing
    QCOMPARE(b.CommBusy().toBool(), false);
    // Writing false frees a line that each flag holds.
    for (int flag = 0; flag < 3; ++flag) {
        Access::setFlags(b, /*readDone*/ flag != 0, /*writeDone*/ flag != 1, /*writeLock*/ flag == 2);
        QCOMPARE(b.CommBusy().toBool(), true);
        b.setCommBusy(false);
        QCOMPARE(b.CommBusy().toBool(), false);
        QVERIFY(Access::readDone(b) && Access::writeDone(b) && !Access::writeLock(b));
    }
}

QTEST_GUILESS_MAIN(TestComponentProperties)
#include "test_component_properties.moc"
