// Upload and download through the real component against actuator-sim on a
// pseudo-terminal: what the window shows after an upload, what the actuator
// holds after a download, and a write that fails in the middle.
#include "ActuatorSimulator.h"
#include "RenderWindow.h"
#include "config/ConfigurationDownload.h"
#include "config/ConfigurationWindow.h"
#include "config/ParameterMap.h"
#include "link/ConnectionWindow.h"
#include "link/RegisterAccess.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"
#include "shell/Buslink.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kestrel2;

namespace {
const QString DownloadQuestion =
    "This action will modify the configuration of the actuator!!\r\n              Do You want to Continue?";
const QString CyclePowerQuestion =
    "If you have modified the communicatons parameters of the actuator, you will need \r\n"
    "to cycle the actuator power for the new settings to take effect.\r\n\r\nAre you going to cycle the power now?";
const QString RetryQuestion = "Communication disrupted.  Do you want to retry?";
const QString SaveQuestion = "Do you want to save the configuration";

DialogService& dialogs() { return DialogService::instance(); }

void answer(const QMap<QString, DialogAnswer>& answers)
{
    dialogs().responder = [answers](const MessageRecord& m) {
        if (answers.contains(m.text)) return answers.value(m.text);
        return m.buttons == DialogButtons::YesNo ? DialogAnswer::Yes : DialogAnswer::Ok;
    };
}

void setText(QWidget& w, const QString& control, const QString& text)
{
    if (auto* edit = w.findChild<QLineEdit*>(control)) edit->setText(text);
    else if (auto* list = w.findChild<QComboBox*>(control)) list->setCurrentIndex(list->findText(text));
}

// A configuration unlike the simulator's defaults, keeping its line settings and address.
FormValues editedForm()
{
    return {
        {"CmbCommsLossAction", "Goto Position"}, {"txtMinPosition", "3"},      {"txtMaxPosition", "97"},
        {"txtDeadband", "2.5"},                   {"txtMit", "12"},             {"txtMask", "129"},
        {"txtCommsLossPosition", "40"},           {"txtHysteresis", "0.7"},     {"txtSlowModeRange", "11"},
        {"txtJammedTime", "33"},                  {"txtManualMoveTravel", "6"}, {"txtWatchdogTime", "44"},
        {"CmbESDDI4", "Network Control"},         {"txtAnalogMax", "1001"},     {"txtCommsTimer", "17"},
        {"txtAddress", "1"},                      {"CmbBaud", "9600"},          {"cmbParityStop", "No Parity, 1 stop"},
        {"CmbDataBase", "MK 2"},                  {"txtTag", "AB"},
    };
}

QList<int> blockOf(QMap<int, int> state)
{
    QList<int> block;
    for (int k = 0; k < ConfigurationBlockSize; ++k) block.append(state.value(400008 + k, -1));
    return block;
}

} // namespace

class TestConfigE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void uploadShowsTheActuatorsBlock();
    void downloadWritesEveryRegister();
    void failedWriteStopsTheDownload();
    void cyclingThePowerShowsTheConnectionWindow();
    void cleanupTestCase();

private:
    bool startSimulator(const QStringList& options);
    QTemporaryDir home;
    std::unique_ptr<ActuatorSimulator> sim;
};

bool TestConfigE2e::startSimulator(const QStringList& options)
{
    // A fresh fixture each time: a reused one would report its first run's device.
    sim = std::make_unique<ActuatorSimulator>();
    if (!sim->start(options)) return false;
    sim->mapToPortNumber(1);
    buslink::Buslink& link = Buslink1();
    if (link.PortOpen()) link.setPortOpen(false);
    link.setCommPort(1);
    link.setSettings("9600,n,8,1");
    link.setAddress(1);
    link.setPortOpen(true);
    link.setEnabled(true);
    return link.PortOpen();
}

void TestConfigE2e::initTestCase()
{
    QVERIFY(home.isValid());
    // Private folders: the port map and the working document are this test's own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    QCoreApplication::setApplicationName("kestrel2");
    QApplication::setQuitOnLastWindowClosed(false);
    dialogs().setScripted(true);
    if (!QFileInfo(ActuatorSimulator::program()).isExecutable())
        QSKIP("actuator-sim is not built yet");
    QVERIFY2(startSimulator({"--tag", "PUMP 7 NORTH"}), qPrintable((sim ? sim->errorText() : QString())));
    // Register access must reach the simulator before anything else is tested.
    answer({{RetryQuestion, DialogAnswer::No}});
    ReadRegs(QVariant(40008), 1);
    dialogs().reset();
    QVERIFY2(ReadOk, "register access does not reach actuator-sim");
}

void TestConfigE2e::init()
{
    dialogs().reset();
    answer({{SaveQuestion, DialogAnswer::No}, {CyclePowerQuestion, DialogAnswer::No}});
    FrmKXConfig::clock = [] { return QDateTime(QDate(2004, 2, 23), QTime(16, 56)); };
}

void TestConfigE2e::cleanup()
{
    FrmKXConfig::clock = nullptr;
}

void TestConfigE2e::cleanupTestCase()
{
    sim.reset();
}

void TestConfigE2e::uploadShowsTheActuatorsBlock()
{
    const QList<int> before = blockOf(sim->dump());
    QVERIFY(!before.contains(-1));
    FrmKXConfig w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.findChild<QAction*>("mnuUpload")->trigger();
    QVERIFY2(dialogs().messages().isEmpty(), qPrintable(dialogs().messageTexts().join(" | ")));
    QCOMPARE(w.findChild<QLabel*>("LblDate")->text(), QStringLiteral("Monday,  February   23,    2004        04:56 PM"));
    QVERIFY(!w.findChild<QLabel*>("Toggle1")->isVisible());
    const FormValues shown = w.formValues();
    QCOMPARE(shown.value("txtTag"), QStringLiteral("PUMP 7 NORTH"));
    QCOMPARE(shown.value("CmbDataBase"), QStringLiteral("MK 2"));
    QCOMPARE(shown.value("txtAddress"), QStringLiteral("1"));
    for (const Parameter& p : ParameterMap())
        if (const auto text = UploadedText(p, before)) QCOMPARE(shown.value(p.control), *text);
    QCOMPARE(w.findChild<QLineEdit*>("txtMaskBinary")->text(),
             MaskBinaryText(shown.value("txtMask")).value_or(QString()));
    render(w, "config-window-after-upload.png");
    // The uploaded values are the working document's record once committed.
    QVERIFY(w.CommitRecord());
}

void TestConfigE2e::downloadWritesEveryRegister()
{
    const FormValues form = editedForm();
    {
        FrmKXConfig w;
        w.show();
        for (auto it = form.cbegin(); it != form.cend(); ++it) setText(w, it.key(), it.value());
        w.findChild<QAction*>("MNUDownload")->trigger();
        QCOMPARE(dialogs().messageTexts(), (QStringList{DownloadQuestion, CyclePowerQuestion}));
        QCOMPARE(w.findChild<QLabel*>("LblDate")->text(),
                 QStringLiteral("Monday,  February   23,    2004        04:56 PM"));
        QVERIFY(!w.findChild<QLabel*>("Toggle1")->isVisible());
    }
    const QMap<int, int> state = sim->dump();
    for (const RegisterWrite& write : DownloadWrites(form))
        QVERIFY2(state.value(write.reference - 40000 + 400000) == write.value,
                 qPrintable(QString("%1 holds %2, expected %3")
                                .arg(write.reference)
                                .arg(state.value(write.reference - 40000 + 400000))
                                .arg(write.value)));
    QCOMPARE(state.value(400008), 7);      // Goto Position
    QCOMPARE(state.value(400011), 25);     // 2.5 % in tenths
    QCOMPARE(state.value(400015), 7);      // 0.7 % in tenths
    QCOMPARE(state.value(400024), 6);      // 9600
    QCOMPARE(state.value(400027), 16961);  // "AB"
    QCOMPARE(state.value(400032), 8224);   // blanks

    // A fresh upload shows what was downloaded.
    dialogs().reset();
    FrmKXConfig again;
    again.findChild<QAction*>("mnuUpload")->trigger();
    FormValues expected = form;
    expected.insert("txtTag", "AB          ");
    QCOMPARE(again.formValues(), expected);
}

void TestConfigE2e::failedWriteStopsTheDownload()
{
    // The module answers every request for 40015 with an exception.
    QVERIFY2(startSimulator({"--exception", "400015"}), qPrintable((sim ? sim->errorText() : QString())));
    const QMap<int, int> before = sim->dump();
    answer({{RetryQuestion, DialogAnswer::No}, {SaveQuestion, DialogAnswer::No}});
    FrmKXConfig w;
    w.show();
    const FormValues form = editedForm();
    for (auto it = form.cbegin(); it != form.cend(); ++it) setText(w, it.key(), it.value());
    w.findChild<QAction*>("MNUDownload")->trigger();
    QCOMPARE(dialogs().messageTexts(), (QStringList{DownloadQuestion, RetryQuestion}));
    QVERIFY(!w.findChild<QLabel*>("Toggle1")->isVisible());
    QVERIFY(w.menuBar()->isEnabled());
    QCOMPARE(w.findChild<QLabel*>("LblDate")->text(), QStringLiteral("Monday,  February   23,    2004        04:56 PM"));
    const QMap<int, int> after = sim->dump();
    for (const RegisterWrite& write : DownloadWrites(form)) {
        const int six = write.reference - 40000 + 400000;
        const int expected = write.reference < 40015 ? write.value : before.value(six);
        QVERIFY2(after.value(six) == expected,
                 qPrintable(QString("%1 holds %2, expected %3").arg(write.reference).arg(after.value(six)).arg(expected)));
    }
    QVERIFY(after.value(400014) != before.value(400014));  // the registers before the failure did change
}

void TestConfigE2e::cyclingThePowerShowsTheConnectionWindow()
{
    QVERIFY2(startSimulator({}), qPrintable((sim ? sim->errorText() : QString())));
    answer({{CyclePowerQuestion, DialogAnswer::Yes}, {SaveQuestion, DialogAnswer::No}});
    FrmKXConfig w;
    w.show();
    const FormValues form = editedForm();
    for (auto it = form.cbegin(); it != form.cend(); ++it) setText(w, it.key(), it.value());
    w.findChild<QAction*>("MNUDownload")->trigger();
    const QString confirm =
        "Please confirm the communication settings in this program match the new parameters set in the actuator.";
    QCOMPARE(dialogs().messageTexts().mid(0, 3), (QStringList{DownloadQuestion, CyclePowerQuestion, confirm}));
    QCOMPARE(dialogs().messages().at(2).buttons, DialogButtons::OkCancel);
    QVERIFY(ConnectionWindow().isVisible());
    ConnectionWindow().hide();
}

QTEST_MAIN(TestConfigE2e)
#include "test_config_e2e.moc"
