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

// A configuration unlike the simulator's defaults that gives every register a value of its
// own, so a parameter map that sent a field to another field's register cannot pass. The
// module takes a new address and line settings only at its next power cycle.
FormValues editedForm()
{
    return {
        {"CmbCommsLossAction", "Stop"},  {"txtMinPosition", "3"},       {"txtMaxPosition", "97"},
        {"txtDeadband", "2.5"},           {"txtMit", "12"},              {"txtMask", "129"},
        {"txtCommsLossPosition", "40"},   {"txtHysteresis", "0.9"},      {"txtSlowModeRange", "11"},
        {"txtJammedTime", "33"},          {"txtManualMoveTravel", "6"},  {"txtWatchdogTime", "44"},
        {"CmbESDDI4", "ESD"},             {"txtAnalogMax", "1001"},      {"txtCommsTimer", "17"},
        {"txtAddress", "23"},             {"CmbBaud", "19200"},          {"cmbParityStop", "Odd Parity, 1 stop"},
        {"CmbDataBase", "MK 2"},          {"txtTag", "VALVE 7 EAST"},
    };
}

// What the module must hold after the download of editedForm(), written out by hand from
// the register table (six-digit references), not from the parameter map.
const QMap<int, int> EditedRegisters = {
    {400008, 5},     {400009, 3},     {400010, 97},    {400011, 25},    {400012, 12},    {400013, 129},
    {400014, 40},    {400015, 9},     {400016, 11},    {400017, 33},    {400018, 6},     {400019, 44},
    {400020, 0},     {400021, 1001},  {400022, 17},    {400023, 23},    {400024, 7},     {400025, 4},
    {400026, 1},     {400027, 16726}, {400028, 22092}, {400029, 8261},  {400030, 8247},  {400031, 16709},
    {400032, 21587},
};

// A block for the upload, every register distinct, and what the window must show for it.
const QMap<int, int> UploadRegisters = {
    {40008, 3},  {40009, 7},  {40010, 93}, {40011, 15},  {40012, 21}, {40013, 200}, {40014, 60},
    {40015, 4},  {40016, 14}, {40017, 45}, {40018, 2},   {40019, 31}, {40020, 0},   {40021, 999},
    {40022, 26}, {40023, 19}, {40024, 10}, {40025, 5},   {40026, 1},
};
const FormValues UploadedTexts = {
    {"CmbCommsLossAction", "Close"}, {"txtMinPosition", "7"},        {"txtMaxPosition", "93"},
    {"txtDeadband", "1.5"},           {"txtMit", "21"},               {"txtMask", "200"},
    {"txtCommsLossPosition", "60"},   {"txtHysteresis", "0.4"},       {"txtSlowModeRange", "14"},
    {"txtJammedTime", "45"},          {"txtManualMoveTravel", "2"},   {"txtWatchdogTime", "31"},
    {"CmbESDDI4", "ESD"},             {"txtAnalogMax", "999"},        {"txtCommsTimer", "26"},
    {"txtAddress", "19"},             {"CmbBaud", "115200"},          {"cmbParityStop", "Odd Parity, 2 stop"},
    {"CmbDataBase", "MK 2"},          {"txtTag", "PUMP 7 NORTH"},
};


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
    for (auto it = UploadRegisters.cbegin(); it != UploadRegisters.cend(); ++it)
        sim->command(QString("set %1 %2").arg(it.key()).arg(it.value()));
    QVERIFY(sim->process().waitForOutput("OK set 400026 1"));  // the last of them has been taken
    FrmKXConfig w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.findChild<QAction*>("mnuUpload")->trigger();
    QVERIFY2(dialogs().messages().isEmpty(), qPrintable(dialogs().messageTexts().join(" | ")));
    QCOMPARE(w.findChild<QLabel*>("LblDate")->text(), QStringLiteral("Monday,  February   23,    2004        04:56 PM"));
    QVERIFY(!w.findChild<QLabel*>("Toggle1")->isVisible());
    QCOMPARE(w.formValues(), UploadedTexts);
    QCOMPARE(w.findChild<QLineEdit*>("txtMaskBinary")->text(), QStringLiteral("11001000"));
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
    for (auto it = EditedRegisters.cbegin(); it != EditedRegisters.cend(); ++it)
        QVERIFY2(state.value(it.key()) == it.value(),
                 qPrintable(QString("%1 holds %2, expected %3").arg(it.key()).arg(state.value(it.key())).arg(it.value())));
    // Each register written once, in register order.
    QList<int> order;
    for (const auto& [reference, value] : sim->writes()) order.append(reference);
    QCOMPARE(order, EditedRegisters.keys());

    // A fresh upload shows what was downloaded.
    dialogs().reset();
    FrmKXConfig again;
    again.findChild<QAction*>("mnuUpload")->trigger();
    QCOMPARE(again.formValues(), form);
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
    for (auto it = EditedRegisters.cbegin(); it != EditedRegisters.cend(); ++it) {
        const int expected = it.key() < 400015 ? it.value() : before.value(it.key());
        QVERIFY2(after.value(it.key()) == expected,
                 qPrintable(QString("%1 holds %2, expected %3").arg(it.key()).arg(after.value(it.key())).arg(expected)));
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
