// The monitor-and-control and torque profile windows against actuator-sim:
// polling, the commands reaching the coils and the set-point register, a full
// open stroke and its profile, a read failing in the middle of a tick, and
// renderings of the windows in use. Ticks are driven directly instead of
// waiting 3.5 s for each.
#include "ActuatorSimulator.h"
#include "RenderWindow.h"
#include "link/ConnectionWindow.h"
#include "link/RegisterAccess.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"
#include "monitor/IndicationLabel.h"
#include "monitor/MonitorWindow.h"
#include "monitor/PercentGauge.h"
#include "monitor/StatusMap.h"
#include "monitor/TorqueProfileWindow.h"
#include "monitor/WindowPrinter.h"
#include "shell/Buslink.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrel2;

namespace {
const QString Tag = QStringLiteral("FV-101 INLET");
const QColor Yellow(255, 255, 0);
const QColor Red(255, 0, 0);
const QColor Grey(161, 161, 161);

constexpr int FullyClosed = 1, FullyOpen = 2, SelectorRemote = 5, SelectorLocal = 7;
constexpr int Thermostat = 0, LowBattery = 8, DigitalInput4 = 14, SlowMode = 15;

QList<int> holdingBlock(const QMap<int, int>& state, int first, int count)
{
    QList<int> values;
    for (int r = first; r < first + count; ++r) values << state.value(r, -1);
    return values;
}
} // namespace

class TestMonitorE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void fullOpenStrokeFromTheOpenButton();
    void relaysReachCoilsFiveToEight();
    void stopAndEsdReachCoilsOneAndFour();
    void sliderWritesTenthsToTheSetPoint();
    void failedReadInATickLeavesTheLabels();
    void activationReadsTheTagAgain();
    void anotherProgramNeitherStopsPollingNorRereads();
    void mainScreenStopsPollingAndCloses();
    void closingDuringATickIsSafe();

private:
    FrmKXgroup& openMonitor();
    void waitMs(int ms) { QTest::qWait(ms); }
    ActuatorSimulator sim;
};

void TestMonitorE2e::initTestCase()
{
    if (!QFileInfo::exists(ActuatorSimulator::program()))
        QSKIP("actuator-sim has not been built");
    QVERIFY2(sim.start({"--stroke-seconds", "1.5", "--tag", Tag}), qPrintable(sim.errorText()));
    sim.mapToPortNumber(1);
    buslink::Buslink& component = Buslink1();
    component.setCommPort(1);
    component.setSettings(QStringLiteral("9600,e,8,1"));
    component.setAddress(1);
    component.setPortOpen(true);
    component.setEnabled(true);
    ConnectionWindow().txtaddress()->setText(QStringLiteral("1"));

    DialogService::instance().setScripted(true);
    DialogService::instance().reset();
    DialogService::instance().responder = [](const MessageRecord& m) {
        return m.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    };
    ReadRegs(QVariant(400006), 1);
    QVERIFY2(ReadOk, "ReadPLC cannot reach the actuator simulator");
    WindowPrinter::setPdfOnly(true);
}

void TestMonitorE2e::init()
{
    DialogService& dialogs = DialogService::instance();
    dialogs.reset();
    // A dead read asks whether to retry: No. Other questions need an answer queued by the test.
    dialogs.responder = [](const MessageRecord& m) {
        if (m.text.startsWith(QStringLiteral("Communication disrupted"))) return DialogAnswer::No;
        return m.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    };
}

void TestMonitorE2e::cleanup()
{
    if (FrmChart* chart = TorqueProfileWindowIfOpen()) delete chart;
    if (FrmKXgroup* monitor = MonitorWindowIfOpen()) delete monitor;
    sim.command("exception clear");
}

FrmKXgroup& TestMonitorE2e::openMonitor()
{
    FrmKXgroup& window = ShowMonitorWindow();
    window.resize(window.sizeHint());
    window.ActivateWindow();
    return window;
}

void TestMonitorE2e::fullOpenStrokeFromTheOpenButton()
{
    sim.command("position 0");
    FrmKXgroup& monitor = openMonitor();
    QCOMPARE(monitor.lblTag()->text(), Tag);
    QCOMPARE(monitor.lblAddress()->text(), QStringLiteral("1"));
    QVERIFY(monitor.isPolling());

    monitor.PollTick();
    QCOMPARE(monitor.LblStatus(FullyClosed)->colour(), Yellow);
    QCOMPARE(monitor.LblStatus(FullyOpen)->colour(), Grey);
    QCOMPARE(monitor.LblStatus(SelectorRemote)->colour(), Yellow);
    QCOMPARE(monitor.PercentValvePosition()->text(), QStringLiteral("0 %"));
    QCOMPARE(monitor.txtRlyStatus(1)->text(), QStringLiteral("OFF"));

    // No writes nothing; Yes opens the valve.
    auto* open = monitor.findChild<QPushButton*>(QStringLiteral("Cmdopen"));
    DialogService::instance().queueAnswer(DialogAnswer::No);
    open->click();
    QCOMPARE(sim.value(3), 0);
    DialogService::instance().queueAnswer(DialogAnswer::Yes);
    open->click();
    QCOMPARE(DialogService::instance().messages().last().text, QStringLiteral("Are you sure you want to OPEN the valve?"));
    QCOMPARE(sim.value(3), 1);

    bool sawMoving = false;
    QDeadlineTimer deadline(15000);
    while (monitor.LblStatus(FullyOpen)->colour() != Yellow && !deadline.hasExpired()) {
        monitor.PollTick();
        sawMoving = sawMoving || monitor.LblStatus(0)->colour() == Yellow;
        waitMs(100);
    }
    QCOMPARE(monitor.LblStatus(FullyOpen)->colour(), Yellow);
    QVERIFY(sawMoving);
    QCOMPARE(monitor.LblStatus(FullyClosed)->colour(), Grey);
    QCOMPARE(monitor.PercentValvePosition()->text(), QStringLiteral("100 %"));
    render(monitor, QStringLiteral("monitor-window-idle.png"));
    const QList<int> expected = holdingBlock(sim.dump(), 400035, 11);
    QVERIFY(std::any_of(expected.begin(), expected.end(), [](int v) { return v > 0; }));

    // And back: a closing stroke for the other series.
    DialogService::instance().queueAnswer(DialogAnswer::Yes);
    monitor.findChild<QPushButton*>(QStringLiteral("Cmdclose"))->click();
    QCOMPARE(sim.value(2), 1);
    deadline = QDeadlineTimer(15000);
    do {
        waitMs(100);
        monitor.PollTick();
    } while (monitor.LblStatus(FullyClosed)->colour() != Yellow && !deadline.hasExpired());
    QCOMPARE(monitor.LblStatus(FullyClosed)->colour(), Yellow);

    // The profiles of the strokes just made.
    const QMap<int, int> state = sim.dump();
    QCOMPARE(holdingBlock(state, 400035, 11), expected);
    const QList<int> expectedClosed = holdingBlock(state, 400046, 11);
    QVERIFY(std::any_of(expectedClosed.begin(), expectedClosed.end(), [](int v) { return v > 0; }));
    monitor.findChild<QPushButton*>(QStringLiteral("cmdTorqueProfile"))->click();
    FrmChart* chart = TorqueProfileWindowIfOpen();
    QVERIFY(chart);
    chart->resize(chart->sizeHint());
    chart->ActivateWindow();
    QList<int> shown;
    for (double v : chart->openStroke()) shown << int(v);
    QCOMPARE(shown, expected);
    QList<int> shownClosed;
    for (double v : chart->closedStroke()) shownClosed << int(v);
    QCOMPARE(shownClosed, expectedClosed);
    QVERIFY(state.value(400033) != state.value(400034));  // so that a swap of the two would show
    QCOMPARE(chart->txtClosedTorqueSwitch()->text(), QString::number(state.value(400033)));
    QCOMPARE(chart->txtOpenTorqueSwitch()->text(), QString::number(state.value(400034)));
    QCOMPARE(chart->txtOpenOperations()->text(), QString::number(state.value(400059) + state.value(400060)));
    QCOMPARE(chart->txtOpenOperations()->text(), QStringLiteral("1"));
    QCOMPARE(chart->txtClosedOperations()->text(), QString::number(state.value(400057) + state.value(400058)));
    QCOMPARE(chart->txtClosedOperations()->text(), QStringLiteral("1"));
    QCOMPARE(chart->TxtTag()->text(), Tag);
    QVERIFY(QRegularExpression(QStringLiteral("^[A-Z][a-z]+day,  [A-Z][a-z]+   \\d\\d,    \\d{4}        \\d\\d:\\d\\d [AP]M$"))
                .match(chart->txtDate()->text())
                .hasMatch());
    render(*chart, QStringLiteral("torque-profile-window.png"));

    // The profile window took the activation: the monitor stops polling.
    QTRY_VERIFY(!monitor.isPolling());

    // Printed into a PDF that renders, and saved as CSV.
    QTemporaryDir dir;
    DialogService::instance().queueAnswer(DialogAnswer::Ok);
    DialogService::instance().queueFileName(dir.filePath("profile.pdf"));
    chart->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    QVERIFY(QFileInfo(dir.filePath("profile.pdf")).size() > 10000);
    QCOMPARE(QProcess::execute("pdftoppm", {"-png", "-r", "30", "-singlefile", dir.filePath("profile.pdf"),
                                            dir.filePath("page")}),
             0);
    QVERIFY(!QImage(dir.filePath("page.png")).isNull());
    DialogService::instance().queueFileName(dir.filePath("profile.csv"));
    chart->SaveCsv();
    QFile csv(dir.filePath("profile.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(csv.readAll()).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 14);
    QCOMPARE(rows.at(0), QStringLiteral("Tag name,") + Tag);
    QCOMPARE(rows.at(1), QStringLiteral("Time of reading,") + chart->readAt().toString(Qt::ISODate));
    QVERIFY(qAbs(chart->readAt().secsTo(QDateTime::currentDateTime())) < 60);
    QCOMPARE(rows.at(13), QStringLiteral("100,%1,%2").arg(expected.at(10)).arg(expectedClosed.at(10)));

    // Back to the monitor: the tag name is read again and polling resumes.
    monitor.lblTag()->clear();
    ShowMonitorWindow();
    QTRY_VERIFY(monitor.isPolling());
    QCOMPARE(monitor.lblTag()->text(), Tag);
}

void TestMonitorE2e::closingDuringATickIsSafe()
{
    FrmKXgroup& monitor = openMonitor();
    const QPointer<FrmKXgroup> guard(&monitor);
    sim.command("exception 10001-10024");
    // The user closes the window while a tick waits on its prompt.
    DialogService::instance().responder = [&](const MessageRecord& m) {
        if (guard && m.text.startsWith(QStringLiteral("Communication disrupted"))) {
            for (QAction* action : guard->menuBar()->actions())
                if (action->objectName() == QLatin1String("MnuMain")) action->trigger();
            QTest::qWait(20);
        }
        return m.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    };
    QTimer::singleShot(0, &monitor, &FrmKXgroup::PollTick);  // as the timer would
    QTRY_VERIFY(guard.isNull());
    QCOMPARE(DialogService::instance().messageTexts().count(QStringLiteral("Communication disrupted.  Do you want to retry?")), 1);
}

void TestMonitorE2e::relaysReachCoilsFiveToEight()
{
    FrmKXgroup& monitor = openMonitor();
    DialogService& dialogs = DialogService::instance();
    for (int relay = 1; relay <= 4; ++relay) {
        const int coil = 4 + relay;
        auto* on = monitor.findChild<QPushButton*>(QStringLiteral("cmdRelay%1ON").arg(relay));
        auto* off = monitor.findChild<QPushButton*>(QStringLiteral("cmdRelay%1Off").arg(relay));
        dialogs.queueAnswer(DialogAnswer::Yes);
        on->click();
        QCOMPARE(sim.value(coil), 1);
        monitor.PollTick();
        QCOMPARE(monitor.txtRlyStatus(relay)->text(), QStringLiteral("ON"));
        dialogs.queueAnswer(DialogAnswer::No);
        off->click();
        QCOMPARE(sim.value(coil), 1);  // No: untouched
        dialogs.queueAnswer(DialogAnswer::Yes);
        off->click();
        QCOMPARE(sim.value(coil), 0);
        monitor.PollTick();
        QCOMPARE(monitor.txtRlyStatus(relay)->text(), QStringLiteral("OFF"));
    }
    // Relay 3 on, the others off: each text box follows its own coil.
    dialogs.queueAnswer(DialogAnswer::Yes);
    monitor.findChild<QPushButton*>(QStringLiteral("cmdRelay3ON"))->click();
    monitor.PollTick();
    QCOMPARE(QStringList({monitor.txtRlyStatus(1)->text(), monitor.txtRlyStatus(2)->text(),
                          monitor.txtRlyStatus(3)->text(), monitor.txtRlyStatus(4)->text()}),
             QStringList({"OFF", "OFF", "ON", "OFF"}));
    const QMap<int, int> coils = sim.dump();
    QCOMPARE(holdingBlock(coils, 5, 4), QList<int>({0, 0, 1, 0}));
    dialogs.queueAnswer(DialogAnswer::Yes);
    monitor.findChild<QPushButton*>(QStringLiteral("cmdRelay3Off"))->click();
}

void TestMonitorE2e::stopAndEsdReachCoilsOneAndFour()
{
    sim.command("position 0");
    FrmKXgroup& monitor = openMonitor();
    DialogService& dialogs = DialogService::instance();
    auto click = [&](const char* name) {
        dialogs.queueAnswer(DialogAnswer::Yes);
        monitor.findChild<QPushButton*>(QString::fromLatin1(name))->click();
    };
    // The last point written to the simulator, as its dump reports it.
    const auto written = [&] {
        const QList<QPair<int, int>> all = sim.writes();
        return all.mid(all.size() - 1);
    };

    // Stop halts an opening stroke part-way: sent as soon as the valve is seen moving.
    monitor.PollTick();
    QCOMPARE(monitor.LblStatus(FullyClosed)->colour(), Yellow);
    click("Cmdopen");
    QDeadlineTimer deadline(15000);
    do monitor.PollTick();
    while (monitor.LblStatus(0)->colour() != Yellow && !deadline.hasExpired());
    click("Cmdstop");
    QCOMPARE(dialogs.messages().last().text, QStringLiteral("Are you sure you want to Stop the valve?"));
    const QList<QPair<int, int>> all = sim.writes();
    QCOMPARE(all.mid(all.size() - 2), (QList<QPair<int, int>>{{3, 1}, {1, 1}}));
    monitor.PollTick();
    const QString stoppedAt = monitor.PercentValvePosition()->text();
    QCOMPARE(monitor.LblStatus(0)->colour(), Grey);  // not moving
    QCOMPARE(monitor.LblStatus(FullyOpen)->colour(), Grey);
    waitMs(300);
    monitor.PollTick();
    QCOMPARE(monitor.PercentValvePosition()->text(), stoppedAt);

    // ESD closes the valve.
    click("cmdESD");
    QCOMPARE(dialogs.messages().last().text, QStringLiteral("Are you sure you want to ESD the valve?"));
    QCOMPARE(written(), (QList<QPair<int, int>>{{4, 1}}));
    deadline = QDeadlineTimer(15000);
    do {
        waitMs(100);
        monitor.PollTick();
    } while (monitor.LblStatus(FullyClosed)->colour() != Yellow && !deadline.hasExpired());
    QCOMPARE(monitor.LblStatus(FullyClosed)->colour(), Yellow);
}

void TestMonitorE2e::sliderWritesTenthsToTheSetPoint()
{
    sim.command("position 0");
    FrmKXgroup& monitor = openMonitor();
    QSlider* slider = monitor.positionslider();
    DialogService& dialogs = DialogService::instance();

    // Between moves the slider shows the actuator's set-point as last read.
    sim.command("set 40007 250");
    monitor.PollTick();
    QCOMPARE(slider->value(), 25);
    QCOMPARE(monitor.lblSetPoint()->text(), QStringLiteral("Set-point: 25 %"));

    // No: nothing is written, and the slider goes back to the set-point.
    const int before = sim.value(400007);
    dialogs.queueAnswer(DialogAnswer::No);
    slider->setSliderDown(true);
    slider->setSliderPosition(70);
    QCOMPARE(monitor.lblSetPoint()->text(), QStringLiteral("To send: 70 %"));
    slider->setSliderDown(false);
    QCOMPARE(sim.value(400007), before);
    QCOMPARE(slider->value(), 25);

    dialogs.queueAnswer(DialogAnswer::Yes);
    slider->setSliderDown(true);
    for (int p = 69; p >= 40; --p) slider->setSliderPosition(p);
    slider->setSliderDown(false);
    QCOMPARE(dialogs.messageTexts().count(QStringLiteral("Do you want to position the valve?  ")), 2);
    QCOMPARE(sim.value(400007), 400);
    QCOMPARE(slider->value(), 40);
    QCOMPARE(monitor.lblSetPoint()->text(), QStringLiteral("Set-point: 40 %"));

    // The valve goes there and the gauge follows.
    QDeadlineTimer deadline(15000);
    while (monitor.PercentValvePosition()->text() != QStringLiteral("40 %") && !deadline.hasExpired()) {
        monitor.PollTick();
        waitMs(100);
    }
    QCOMPARE(monitor.PercentValvePosition()->text(), QStringLiteral("40 %"));
    QCOMPARE(slider->value(), 40);
}

void TestMonitorE2e::failedReadInATickLeavesTheLabels()
{
    sim.command("selector remote");
    sim.command("position 20");
    sim.command("alarm thermostat on");
    sim.command("alarm di4 on");
    sim.command("alarm slow-mode on");
    FrmKXgroup& monitor = openMonitor();
    monitor.PollTick();
    QCOMPARE(monitor.lblAlarms(Thermostat)->colour(), Red);
    QCOMPARE(monitor.lblAlarms(DigitalInput4)->colour(), Red);
    QCOMPARE(monitor.lblAlarms(SlowMode)->colour(), Red);
    QCOMPARE(monitor.lblAlarms(LowBattery)->colour(), Grey);
    QCOMPARE(monitor.LblStatus(SelectorRemote)->colour(), Yellow);
    QCOMPARE(monitor.PercentValvePosition()->text(), QStringLiteral("20 %"));
    QVERIFY(!monitor.isStale());
    QVERIFY(monitor.lblLastReading()->text().startsWith(QStringLiteral("Last reading at ")));
    const QString goodTime = monitor.lblLastReading()->text().mid(16);
    render(monitor, QStringLiteral("monitor-window-alarms.png"));

    // Everything changes, but the alarm read of the next tick fails: the status
    // read before it succeeded, yet no label, gauge or relay field may change.
    sim.command("alarm thermostat off");
    sim.command("selector local");
    sim.command("position 60");
    // 10017 to 10024 are read only by the alarm read (10001 x 16 ends at 10016).
    sim.command("exception 10017-10024");
    int prompts = 0;
    int nestedTicksRun = 0;
    bool tickWasRunning = false;
    DialogService::instance().responder = [&](const MessageRecord& m) {
        if (m.text.startsWith(QStringLiteral("Communication disrupted"))) {
            ++prompts;
            // A timer tick while this tick waits on its prompt must be skipped.
            if (prompts == 1) {
                tickWasRunning = monitor.isTickRunning();
                monitor.PollTick();
                if (prompts != 1) ++nestedTicksRun;
            }
        }
        return m.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    };
    monitor.PollTick();
    QCOMPARE(prompts, 1);
    QCOMPARE(nestedTicksRun, 0);
    QVERIFY(tickWasRunning);
    QVERIFY(!monitor.isTickRunning());
    QCOMPARE(monitor.lblAlarms(Thermostat)->colour(), Red);
    QCOMPARE(monitor.LblStatus(SelectorRemote)->colour(), Yellow);
    QCOMPARE(monitor.LblStatus(SelectorLocal)->colour(), Grey);
    QCOMPARE(monitor.PercentValvePosition()->text(), QStringLiteral("20 %"));
    QVERIFY(monitor.isPolling());  // the timer keeps running
    // What is shown is no longer current: greyed, with the time of the last good reading.
    QVERIFY(monitor.isStale());
    QCOMPARE(monitor.lblLastReading()->text(), QStringLiteral("Not current: last good reading at ") + goodTime);
    QVERIFY(monitor.lblAlarms(Thermostat)->isStale());
    QVERIFY(monitor.LblStatus(SelectorRemote)->isStale());
    QVERIFY(monitor.PercentValvePosition()->isStale());
    QVERIFY(!monitor.txtRlyStatus(1)->isEnabled());
    render(monitor, QStringLiteral("monitor-window-stale.png"));

    // The next tick tries again from the start.
    sim.command("exception clear");
    monitor.PollTick();
    QCOMPARE(monitor.lblAlarms(Thermostat)->colour(), Grey);
    QCOMPARE(monitor.LblStatus(SelectorLocal)->colour(), Yellow);
    QCOMPARE(monitor.PercentValvePosition()->text(), QStringLiteral("60 %"));
    QVERIFY(!monitor.isStale());
    QVERIFY(!monitor.lblAlarms(Thermostat)->isStale());
    QVERIFY(!monitor.PercentValvePosition()->isStale());
    QVERIFY(monitor.txtRlyStatus(1)->isEnabled());
    QVERIFY(monitor.lblLastReading()->text().startsWith(QStringLiteral("Last reading at ")));

    sim.command("alarm di4 off");
    sim.command("alarm slow-mode off");
    sim.command("selector remote");
}

void TestMonitorE2e::activationReadsTheTagAgain()
{
    FrmKXgroup& monitor = openMonitor();
    QCOMPARE(monitor.lblTag()->text(), Tag);
    monitor.DeactivateWindow();
    QVERIFY(!monitor.isPolling());
    // "FV" "-2" "02" " O" "UT" "  " while the window was away.
    const int tag[] = {0x5646, 0x322D, 0x3230, 0x4F20, 0x5455, 0x2020};
    for (int k = 0; k < 6; ++k) sim.command(QStringLiteral("set %1 %2").arg(40027 + k).arg(tag[k]));
    monitor.ActivateWindow();
    QCOMPARE(monitor.lblTag()->text(), QStringLiteral("FV-202 OUT  "));
    QVERIFY(monitor.isPolling());

    // A tag read that fails on activation: the message, back to the main window, closed.
    sim.command("exception 40027-40032");
    const QPointer<FrmKXgroup> guard(&monitor);
    monitor.DeactivateWindow();
    monitor.ActivateWindow();
    QTRY_VERIFY(guard.isNull());
    QVERIFY(DialogService::instance().messageTexts().contains(QStringLiteral(
        "Could not establish communications with actuator,\r\nYou must be connected to a Corvane actuator to use this facility")));
    sim.command("exception clear");
    const QByteArray name = Tag.toLatin1();
    for (int k = 0; k < 6; ++k)
        sim.command(QStringLiteral("set %1 %2").arg(40027 + k).arg(quint8(name[2 * k]) | (quint8(name[2 * k + 1]) << 8)));
}

void TestMonitorE2e::anotherProgramNeitherStopsPollingNorRereads()
{
    FrmKXgroup& monitor = openMonitor();
    QVERIFY(QTest::qWaitForWindowActive(&monitor));
    QTest::qWait(20);  // the activation's own reads, queued by the window system's activation
    QVERIFY(monitor.isPolling());
    const auto setTag = [&](const QByteArray& name) {
        for (int k = 0; k < 6; ++k)
            sim.command(QStringLiteral("set %1 %2").arg(40027 + k).arg(quint8(name[2 * k]) | (quint8(name[2 * k + 1]) << 8)));
    };

    // The engineer switches to another program and back: polling goes on, nothing is read anew.
    QApplication::setActiveWindow(nullptr);
    QVERIFY(!monitor.isActiveWindow());
    QVERIFY(monitor.isPolling());
    setTag("FV-202 OUT  ");
    QApplication::setActiveWindow(&monitor);
    QTest::qWait(50);
    QVERIFY(monitor.isPolling());
    QCOMPARE(monitor.lblTag()->text(), Tag);

    // The torque profile window reads its blocks when the tool moves to it, not when the program does.
    monitor.findChild<QPushButton*>(QStringLiteral("cmdTorqueProfile"))->click();
    FrmChart* chart = TorqueProfileWindowIfOpen();
    QVERIFY(chart);
    QVERIFY(QTest::qWaitForWindowActive(chart));
    QTRY_COMPARE(chart->TxtTag()->text(), QStringLiteral("FV-202 OUT  "));
    QTest::qWait(20);
    QTRY_VERIFY(!monitor.isPolling());
    QApplication::setActiveWindow(nullptr);
    setTag(Tag.toLatin1());
    QApplication::setActiveWindow(chart);
    QTest::qWait(50);
    QCOMPARE(chart->TxtTag()->text(), QStringLiteral("FV-202 OUT  "));

    // Away to another program, then back to another window of the tool: that move counts.
    QApplication::setActiveWindow(nullptr);
    monitor.activateWindow();
    QTRY_VERIFY(monitor.isPolling());
    QCOMPARE(monitor.lblTag()->text(), Tag);
    QApplication::setActiveWindow(nullptr);
    chart->activateWindow();
    QTRY_VERIFY(!monitor.isPolling());
}

void TestMonitorE2e::mainScreenStopsPollingAndCloses()
{
    FrmKXgroup& monitor = openMonitor();
    QVERIFY(monitor.isPolling());
    const QPointer<FrmKXgroup> guard(&monitor);
    for (QAction* action : monitor.menuBar()->actions())
        if (action->objectName() == QLatin1String("MnuMain")) action->trigger();
    QVERIFY(!guard || !guard->isPolling());
    QTRY_VERIFY(guard.isNull());
}

QTEST_MAIN(TestMonitorE2e)
#include "test_monitor_e2e.moc"
