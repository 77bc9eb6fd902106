// The connection window and the register access against the actuator
// simulator on a pseudo-terminal: discovery in MKII, the conversion of an
// MK 1 module with a power cycle, dead and silent links with their retries.
#include "ActuatorSimulator.h"
#include "PtyPair.h"
#include "link/ConnectionWindow.h"
#include "link/RegisterAccess.h"
#include "link/RememberedConnection.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"
#include "base/ConfigFolder.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>
#include <memory>

using namespace kestrel2;

namespace {
const QString CRLF = QStringLiteral("\r\n");
const QString Testing = "Testing communications" + CRLF + "Please Wait!!";
const QString Found = "KX actuator found the program will confirm MKII format.";
const QString FoundMk2 = "KX actuator found in MKII format.";
const QString Disrupted = "Communication disrupted.  Do you want to retry?";
const QString RetryFailed = "Retry not successful.  Double check connections and retry.";
const QString NotMk2 = "The modbus module is not in MKII format" + CRLF +
                       "To use this tool, the module must be in MKII format" + CRLF + CRLF +
                       "Do you want to change the format to MKII? ";
const QString CyclePower = "Please cycle the actuator power." + CRLF + " Press OK when finished";
const QString ResetToMk2 = "KX actuator found. Database reset to MKII";
const QString ChangeFailed = "Sorry the change was not successful, try again" + CRLF +
                             " This utility program will only work in MK II database arrangement.";
const QString NotFound = "Unable to locate KX actuator, double check your settings and connections.";
const QString FormatCheckFailed =
    "Communication with the KX actuator failed during the MKII format check; nothing has been written to the actuator.";

DialogService& dialogs() { return DialogService::instance(); }

void mapPort(int number, const QString& device)
{
    QSettings ini(buslink::IniFilePath(), QSettings::IniFormat);
    ini.setValue(QString("Ports/%1").arg(number), device);
    ini.sync();
}

// Requests sent on the line: function code and the frame.
struct SentFrames {
    QList<QByteArray> frames;
    int withFunction(int code) const
    {
        int n = 0;
        for (const QByteArray& f : frames)
            if (f.size() > 1 && quint8(f[1]) == code) ++n;
        return n;
    }
};
} // namespace

class TestLinkE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void discoveryInMk2();
    void firstAttemptSuccessReplacesTheValues();
    void showingTheWindowAgainClosesThePort();
    void silentLinkFailsTheWriteAndKeepsTheRead();
    void conversionFromMk1WithPowerCycle();
    void conversionDeclined();
    void conversionWithoutPowerCycleFails();
    void deadLinkThreeAttemptsThenYesMakesOneMore();
    void silentFormatProbeIsNoReasonToConvert();
    void missingDeviceIsReportedAtOnce();

private:
    void pressOk(int portPosition, const QString& address);
    std::unique_ptr<ActuatorSimulator> startMk1();
    ActuatorSimulator sim;
    SentFrames sent;
};

void TestLinkE2e::initTestCase()
{
    if (!QFileInfo::exists(ActuatorSimulator::program())) QSKIP("actuator-sim has not been built");
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    sim.mapToPortNumber(1);
    dialogs().setScripted(true);
    dialogs().reset();
    dialogs().responder = [](const MessageRecord&) { return DialogAnswer::No; };

    // The probe behind OK: the master must reach the simulator before anything else is tested.
    buslink::Buslink& link = Buslink1();
    link.setCommPort(1);
    link.setSettings("9600,e,8,1");
    link.setAddress(1);
    link.setPortOpen(true);
    ReadRegs(QVariant(400006), 1);
    QVERIFY2(ReadOk, "ReadPLC cannot reach the actuator simulator");
    link.setPortOpen(false);

    Buslink1().setFrameTrace([this](const buslink::FrameTraceEntry& entry) {
        if (entry.sent) sent.frames.append(entry.bytes);
    });
}

void TestLinkE2e::init()
{
    dialogs().reset();
    dialogs().responder = [](const MessageRecord& m) {
        return m.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    };
    sent.frames.clear();
}

void TestLinkE2e::cleanup() { sim.command("resume"); }

// Fills the connection window (9600, Even, 1 stop bit) and presses OK, as the user does.
void TestLinkE2e::pressOk(int portPosition, const QString& address)
{
    FrmConnection& window = ConnectionWindow();
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.Form_Activate();
    window.cmbComPort()->setCurrentIndex(portPosition);
    window.CmbBaud()->setCurrentIndex(5);
    window.cmbParity()->setCurrentIndex(2);
    window.cmbStop()->setCurrentIndex(0);
    window.txtaddress()->setText(address);
    sent.frames.clear();
    window.cmdhide()->click();
}

std::unique_ptr<ActuatorSimulator> TestLinkE2e::startMk1()
{
    auto mk1 = std::make_unique<ActuatorSimulator>();
    if (!mk1->start({"--format", "mk1"})) return nullptr;
    mk1->mapToPortNumber(2);
    return mk1;
}

void TestLinkE2e::discoveryInMk2()
{
    pressOk(0, "1");
    QCOMPARE(dialogs().messageTexts(), QStringList({Testing, Found, FoundMk2}));
    for (const MessageRecord& m : dialogs().messages()) {
        QCOMPARE(m.buttons, DialogButtons::Ok);
        QCOMPARE(m.icon, DialogIcon::None);
        QCOMPARE(m.title, ApplicationTitle());
    }
    // Two reads (400006, 400026), no write.
    QCOMPARE(sent.frames.size(), 2);
    QVERIFY(sim.writes().isEmpty());
    QCOMPARE(sent.frames.at(0).left(6).toHex(), QByteArray("010300050001"));
    QCOMPARE(sent.frames.at(1).left(6).toHex(), QByteArray("010300190001"));

    FrmConnection& window = ConnectionWindow();
    QVERIFY(!window.isVisible());
    buslink::Buslink& link = window.Buslink1();
    QCOMPARE(link.CommPort(), qint16(1));
    QCOMPARE(link.Address(), 1);
    QCOMPARE(link.Settings(), QString("9600,e,8,1"));
    QCOMPARE(CommSettings, QString("9600,e,8,1"));
    QVERIFY(link.PortOpen());
    QVERIFY(link.Enabled());
    QCOMPARE(window.TxtNumberofretries()->text(), QString("2"));
    QCOMPARE(window.txtDelayTime()->text(), QString("0.06"));

    // The settings that found the actuator are offered at the next start.
    const std::optional<ConnectionChoice> remembered = RememberedConnection();
    QVERIFY(remembered);
    QCOMPARE(remembered->comPort, 0);
    QCOMPARE(remembered->baud, 5);
    QCOMPARE(remembered->parity, 2);
    QCOMPARE(remembered->stopBits, 0);
    QCOMPARE(remembered->address, QString("1"));
}

void TestLinkE2e::firstAttemptSuccessReplacesTheValues()
{
    pressOk(0, "1");
    QCOMPARE(dialogs().messageTexts().last(), FoundMk2);
    const QMap<int, int> state = sim.dump();
    sent.frames.clear();
    ReadRegs(QVariant(40008), 25);
    QVERIFY(ReadOk);
    QCOMPARE(sent.frames.size(), 1);
    QCOMPARE(RegValues.lowerBound(), 1);
    QCOMPARE(RegValues.size(), 25);
    for (int k = 1; k <= 25; ++k) QCOMPARE(RegValues[k], state.value(400007 + k, -1));
}

void TestLinkE2e::showingTheWindowAgainClosesThePort()
{
    pressOk(0, "1");
    QCOMPARE(dialogs().messageTexts().last(), FoundMk2);
    // Another window has the focus meanwhile (the main window, in the tool).
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    FrmConnection& window = ConnectionWindow();
    window.show();
    window.activateWindow();
    QTRY_VERIFY(!window.Buslink1().port().portOpen());
    window.hide();
    dialogs().reset();
    dialogs().responder = [](const MessageRecord&) { return DialogAnswer::No; };
    ReadRegs(QVariant(400006), 1);
    QVERIFY(!ReadOk);
    QCOMPARE(dialogs().messageTexts(), QStringList{Disrupted});

    dialogs().reset();
    pressOk(0, "1");
    QCOMPARE(dialogs().messageTexts(), QStringList({Testing, Found, FoundMk2}));
}

void TestLinkE2e::silentLinkFailsTheWriteAndKeepsTheRead()
{
    pressOk(0, "1");
    ReadRegs(QVariant(40008), 3);
    QVERIFY(ReadOk);
    const std::vector<qint32> before = RegValues.values();

    sim.command("silent");
    QVERIFY(sim.process().waitForOutput("OK silent"));
    dialogs().reset();
    dialogs().responder = [](const MessageRecord&) { return DialogAnswer::No; };
    sent.frames.clear();
    qint16 count = 1;
    WriteRegs(QVariant(40010), QVariant(5), count);
    QVERIFY(!WriteOk);
    QCOMPARE(sent.withFunction(6), 3);
    QCOMPARE(dialogs().messageTexts(), QStringList{Disrupted});
    // A failed write leaves the last read as it was.
    QVERIFY(ReadOk);
    QCOMPARE(RegValues.values(), before);
}

void TestLinkE2e::conversionFromMk1WithPowerCycle()
{
    std::unique_ptr<ActuatorSimulator> mk1 = startMk1();
    QVERIFY(mk1);
    dialogs().responder = [&](const MessageRecord& m) {
        if (m.text == Disrupted) return DialogAnswer::No;
        if (m.text == NotMk2) return DialogAnswer::Yes;
        if (m.text == CyclePower) {
            // The engineer cycles the power, then presses OK.
            mk1->command("power-cycle");
            mk1->process().waitForOutput("OK power-cycle");
        }
        return DialogAnswer::Ok;
    };
    pressOk(1, "1");
    QCOMPARE(dialogs().messageTexts(), QStringList({Testing, Found, Disrupted, NotMk2, CyclePower, ResetToMk2}));
    QCOMPARE(dialogs().messages().at(3).buttons, DialogButtons::YesNo);
    // The format change: 1 written to 40007 (protocol address 6), once.
    QCOMPARE(sent.withFunction(6), 1);
    for (const QByteArray& f : sent.frames)
        if (quint8(f[1]) == 6) QCOMPARE(f.left(6).toHex(), QByteArray("010600060001"));
    QCOMPARE(mk1->writes(), (QList<QPair<int, int>>{{400007, 1}}));
}

void TestLinkE2e::conversionDeclined()
{
    std::unique_ptr<ActuatorSimulator> mk1 = startMk1();
    QVERIFY(mk1);
    pressOk(1, "1");
    QCOMPARE(dialogs().messageTexts(), QStringList({Testing, Found, Disrupted, NotMk2}));
    QCOMPARE(sent.withFunction(6), 0);
    QVERIFY(mk1->writes().isEmpty());
    // Three attempts at the format register before the question.
    QCOMPARE(sent.withFunction(3), 1 + 3);
}

void TestLinkE2e::conversionWithoutPowerCycleFails()
{
    std::unique_ptr<ActuatorSimulator> mk1 = startMk1();
    QVERIFY(mk1);
    dialogs().responder = [](const MessageRecord& m) {
        if (m.text == NotMk2) return DialogAnswer::Yes;
        return m.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    };
    pressOk(1, "1");
    QCOMPARE(dialogs().messageTexts(),
             QStringList({Testing, Found, Disrupted, NotMk2, CyclePower, Disrupted, ChangeFailed}));
}

void TestLinkE2e::deadLinkThreeAttemptsThenYesMakesOneMore()
{
    PtyPair line;  // nothing answers behind it
    QVERIFY(line.isValid());
    mapPort(3, line.devicePath());
    RegValues = buslink::IntArray(1, 2);
    RegValues[1] = 11;
    RegValues[2] = 22;
    const QByteArray request = QByteArray::fromHex("010300050001");

    // The probe: three attempts, the question, No.
    QElapsedTimer clock;
    clock.start();
    const std::optional<ConnectionChoice> rememberedBefore = RememberedConnection();
    pressOk(2, "1");
    const QString noReply = QString("no reply from address 1 on port 3 (%1, 9600,e,8,1)").arg(line.devicePath());
    QCOMPARE(dialogs().messageTexts(), QStringList({Testing, Disrupted, NotFound + CRLF + noReply}));
    // A connection that found nothing is not remembered.
    QCOMPARE(RememberedConnection().has_value(), rememberedBefore.has_value());
    if (rememberedBefore) QCOMPARE(RememberedConnection()->comPort, rememberedBefore->comPort);
    QCOMPARE(dialogs().messages().at(1).buttons, DialogButtons::YesNo);
    QVERIFY(!ReadOk);
    QCOMPARE(RegValues.size(), 2);
    QCOMPARE(RegValues[1], 11);
    QCOMPARE(RegValues[2], 22);
    QByteArray onLine = line.read(0, 300);
    QCOMPARE(onLine.size(), 3 * 8);
    for (int i = 0; i < 3; ++i) QCOMPARE(onLine.mid(i * 8, 6), request);
    qInfo("three dead attempts took %lld ms", clock.elapsed());
    // The port stays open for the other windows to try again.
    QVERIFY(Buslink1().port().portOpen());

    // Yes after the three failures: exactly one more attempt, then the advice.
    dialogs().reset();
    dialogs().responder = [](const MessageRecord& m) {
        return m.text == Disrupted ? DialogAnswer::Yes : DialogAnswer::Ok;
    };
    ReadRegs(QVariant(400006), 1);
    QVERIFY(!ReadOk);
    QCOMPARE(RegValues[1], 11);
    QCOMPARE(dialogs().messageTexts(), QStringList({Disrupted, RetryFailed}));
    QCOMPARE(dialogs().messages().at(1).buttons, DialogButtons::Ok);
    onLine = line.read(0, 300);
    QCOMPARE(onLine.size(), 4 * 8);
    for (int i = 0; i < 4; ++i) QCOMPARE(onLine.mid(i * 8, 6), request);
    mapPort(3, QString());
}

void TestLinkE2e::silentFormatProbeIsNoReasonToConvert()
{
    // An MKII module that answers the presence probe and then falls silent: the
    // format is unknown, so nothing may be written (40007 is its set-point).
    ActuatorSimulator mk2;
    QVERIFY2(mk2.start({"--silent-after", "1"}), qPrintable(mk2.errorText()));
    mk2.mapToPortNumber(2);
    pressOk(1, "1");
    const QString noReply = QString("no reply from address 1 on port 2 (%1, 9600,e,8,1)").arg(mk2.port());
    QCOMPARE(dialogs().messageTexts(), QStringList({Testing, Found, Disrupted, FormatCheckFailed + CRLF + noReply}));
    QCOMPARE(sent.withFunction(6) + sent.withFunction(16), 0);
    QCOMPARE(sent.withFunction(3), 1 + 3);
    QVERIFY(mk2.writes().isEmpty());
    mapPort(2, QString());
}

void TestLinkE2e::missingDeviceIsReportedAtOnce()
{
    const QString device = "/dev/kestrel2-test-no-such-device";
    mapPort(4, device);
    pressOk(3, "1");
    // No probe through a port that is not open: the reason straight away.
    QCOMPARE(dialogs().messageTexts(), QStringList{NotFound + CRLF + "cannot open " + device + ": no such device"});
    QVERIFY(sent.frames.isEmpty());
    QVERIFY(!ConnectionWindow().isVisible());
    mapPort(4, QString());
}

QTEST_MAIN(TestLinkE2e)
#include "test_link_e2e.moc"
