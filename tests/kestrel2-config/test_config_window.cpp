// The configuration window driven headless with scripted dialogs: its layout,
// the mask view, download refusals, the document binding, open, save, print,
// service notes and the close question. No actuator is involved.
#include "RenderWindow.h"
#include "config/ConfigurationDocument.h"
#include "config/ConfigurationWindow.h"
#include "config/ParameterMap.h"
#include "config/ServiceNotes.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"
#include "monitor/MonitorWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrel2;

namespace {
const QString SaveQuestion = "Do you want to save the configuration";
const QString DownloadQuestion =
    "This action will modify the configuration of the actuator!!\r\n              Do You want to Continue?";

DialogService& dialogs() { return DialogService::instance(); }

// Answers by message text; anything else gets the first button.
void answer(const QMap<QString, DialogAnswer>& answers)
{
    dialogs().responder = [answers](const MessageRecord& m) {
        if (answers.contains(m.text)) return answers.value(m.text);
        switch (m.buttons) {
        case DialogButtons::YesNo:
        case DialogButtons::YesNoCancel: return DialogAnswer::Yes;
        case DialogButtons::RetryCancel: return DialogAnswer::Retry;
        default: return DialogAnswer::Ok;
        }
    };
}

template <typename T>
T* child(QWidget& w, const QString& name)
{
    T* c = w.findChild<T*>(name);
    if (!c) qWarning("no child %s", qPrintable(name));
    return c;
}

void setText(QWidget& w, const QString& control, const QString& text)
{
    if (auto* edit = w.findChild<QLineEdit*>(control)) edit->setText(text);
    else if (auto* list = w.findChild<QComboBox*>(control)) list->setCurrentIndex(list->findText(text));
}

QString textOf(QWidget& w, const QString& control)
{
    if (auto* edit = w.findChild<QLineEdit*>(control)) return edit->text();
    if (auto* list = w.findChild<QComboBox*>(control)) return list->currentIndex() < 0 ? QString() : list->currentText();
    if (auto* label = w.findChild<QLabel*>(control)) return label->text();
    return "<no control>";
}

void trigger(QWidget& w, const QString& action)
{
    QAction* a = w.findChild<QAction*>(action);
    QVERIFY2(a, qPrintable(action));
    a->trigger();
}

// A configuration that passes the download checks.
void fill(QWidget& w)
{
    const QMap<QString, QString> values = {
        {"CmbCommsLossAction", "Stop"}, {"txtMinPosition", "0"},      {"txtMaxPosition", "100"},
        {"txtDeadband", "2.5"},         {"txtMit", "10"},             {"txtMask", "5"},
        {"txtCommsLossPosition", "50"}, {"txtHysteresis", "1.5"},     {"txtSlowModeRange", "10"},
        {"txtJammedTime", "30"},        {"txtManualMoveTravel", "5"}, {"txtWatchdogTime", "20"},
        {"CmbESDDI4", "ESD"},           {"txtAnalogMax", "1023"},     {"txtCommsTimer", "15"},
        {"txtAddress", "7"},            {"CmbBaud", "9600"},          {"cmbParityStop", "No Parity, 1 stop"},
        {"CmbDataBase", "MK 2"},        {"txtTag", "PUMP 4 INLET"},   {"TxtSite", "North works"},
        {"TxtServiceEng", "A. Engineer"},
    };
    for (auto it = values.cbegin(); it != values.cend(); ++it) setText(w, it.key(), it.value());
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool runSql(const QString& path, const QString& statement)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "test-sql");
        db.setDatabaseName(path);
        ok = db.open() && QSqlQuery(db).exec(statement);
        db.close();
    }
    QSqlDatabase::removeDatabase("test-sql");
    return ok;
}

} // namespace

class TestConfigWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void layoutAndTexts();
    void maskBinaryView_data();
    void maskBinaryView();
    void downloadAskedNoDoesNothing();
    void downloadRefusal_data();
    void downloadRefusal();
    void failedUploadOnlyStampsTheDate();
    void editsAreCommittedOnClose();
    void saveFollowsTheNameRule_data();
    void saveFollowsTheNameRule();
    void saveOverAnExistingFileReplacesIt();
    void saveThatCannotWriteSaysSo();
    void openAsksTheSaveQuestionThenReplaces();
    void openSavesPendingEditsWhenAsked();
    void openRefusesWhatIsNotADocument_data();
    void openRefusesWhatIsNotADocument();
    void damagedWorkingDocumentIsReported();
    void printToPdf();
    void printCancelledAndFailed();
    void serviceNotesGoToTheLauncher();
    void navigationClosesWithTheSaveQuestion();
    void helpShowsTheHelpPrompt();

private:
    QTemporaryDir dataHome;
    QTemporaryDir work;
    QList<QUrl> launched;
    bool launcherWorks = true;
};

void TestConfigWindow::initTestCase()
{
    QVERIFY(dataHome.isValid() && work.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    QCoreApplication::setApplicationName("kestrel2");
    QApplication::setQuitOnLastWindowClosed(false);
    dialogs().setScripted(true);
    SetServiceNotesLauncher([this](const QUrl& url) {
        launched.append(url);
        return launcherWorks;
    });
}

void TestConfigWindow::init()
{
    dialogs().reset();
    answer({{SaveQuestion, DialogAnswer::No}});
    QFile::remove(WorkingDocumentPath());
    FrmKXConfig::clock = [] { return QDateTime(QDate(2004, 2, 23), QTime(16, 56)); };
}

void TestConfigWindow::cleanup()
{
    answer({{SaveQuestion, DialogAnswer::No}});
    for (QWidget* w : QApplication::topLevelWidgets()) w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FrmKXConfig::clock = nullptr;
}

void TestConfigWindow::layoutAndTexts()
{
    FrmKXConfig w;
    QCOMPARE(w.objectName(), QStringLiteral("FrmKXConfig"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Modbus Configuration"));
    QStringList bar;
    for (QAction* a : w.menuBar()->actions()) bar << a->objectName() + "=" + a->text();
    QCOMPARE(bar, (QStringList{"=&File", "mnuUpload=&Upload configuration", "MNUDownload=&Download configuration",
                               "MnuReturn=&Main screen", "MnuKXgroup=M&onitor and control",
                               "mnuServiceNotes=&Service notes", "MnuHelp=&Help"}));
    QStringList file;
    for (QAction* a : w.menuBar()->actions().first()->menu()->actions()) file << a->objectName() + "=" + a->text();
    QCOMPARE(file, (QStringList{"MnuOpen=&Open saved file", "mnuSave=&Save current file", "MnuPrint=&Print report"}));

    QCOMPARE(child<QGroupBox>(w, "fraConfiguration")->title(), QStringLiteral("Configuration"));
    QStringList labels;
    for (QLabel* l : w.findChildren<QLabel*>()) labels << l->text();
    for (const Parameter& p : ParameterMap()) {
        QVERIFY2(labels.contains(p.caption), qPrintable(p.caption));
        if (!p.rangeLabel.isEmpty()) QVERIFY2(labels.contains(p.rangeLabel), qPrintable(p.rangeLabel));
        QWidget* control = w.findChild<QWidget*>(p.control);
        QVERIFY2(control, qPrintable(p.control));
        if (auto* list = qobject_cast<QComboBox*>(control)) {
            QStringList entries;
            for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
            QCOMPARE(entries, p.entries);
        }
    }
    for (const QString text : {"Site:", "Service Engineer:", "Date configuration downloaded to actuator:", "(Bin)"})
        QVERIFY2(labels.contains(text), qPrintable(text));
    for (const DocumentField& f : DocumentFields()) QVERIFY2(w.findChild<QWidget*>(f.control), qPrintable(f.control));
    QVERIFY(w.findChild<QLineEdit*>("txtMaskBinary"));
    QVERIFY(w.findChild<QObject*>("datPrimaryRS"));
    QLabel* busy = child<QLabel>(w, "Toggle1");
    QCOMPARE(busy->text(), QStringLiteral("Communicating with actuator   Please wait!!!!!"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!busy->isVisible());
    // Every caption is shown in full.
    for (QLabel* l : w.findChildren<QLabel*>())
        if (l->isVisible() && !l->wordWrap() && !l->text().isEmpty())
            QVERIFY2(l->width() >= l->sizeHint().width(), qPrintable(l->text()));
    render(w, "config-window-empty.png");
    fill(w);
    child<QLabel>(w, "LblDate")->setText("Monday,  February   23,    2004        04:56 PM");
    render(w, "config-window-filled.png");
}

void TestConfigWindow::maskBinaryView_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("binary");
    QTest::newRow("128") << QStringList{"128"} << "10000000";
    QTest::newRow("300 leaves it") << QStringList{"5", "300"} << "00000101";
    QTest::newRow("letter leaves it") << QStringList{"255", "a"} << "11111111";
    QTest::newRow("emptied leaves it") << QStringList{"3", ""} << "00000011";
    QTest::newRow("2.5 rounds to even") << QStringList{"2.5"} << "00000010";
}

void TestConfigWindow::maskBinaryView()
{
    QFETCH(QStringList, typed);
    QFETCH(QString, binary);
    FrmKXConfig w;
    auto* mask = child<QLineEdit>(w, "txtMask");
    for (const QString& t : typed) mask->setText(t);
    QCOMPARE(child<QLineEdit>(w, "txtMaskBinary")->text(), binary);
}

void TestConfigWindow::downloadAskedNoDoesNothing()
{
    FrmKXConfig w;
    fill(w);
    answer({{DownloadQuestion, DialogAnswer::No}});
    trigger(w, "MNUDownload");
    QCOMPARE(dialogs().messageTexts(), QStringList{DownloadQuestion});
    QCOMPARE(dialogs().messages().first().buttons, DialogButtons::YesNo);
    QCOMPARE(textOf(w, "LblDate"), QString());
}

void TestConfigWindow::downloadRefusal_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("address 0") << "txtAddress" << "0"
                               << "Unable to download, Invalid Modbus address. \r\n  You must enter a number from 1 to 247.";
    QTest::newRow("address x") << "txtAddress" << "x"
                               << "Unable to download, Invalid Modbus Base address. \r\n  You must enter a number from 1 to 247.";
    QTest::newRow("deadband 25.6") << "txtDeadband" << "25.6"
                                   << "Unable to download, Invalid Deadband. \r\n  You must enter a number from 0.0 to 25.5.";
    QTest::newRow("mask text") << "txtMask" << "x"
                               << "Unable to download, Invalid Auxiliary input mask. \r\n  You must enter a number from 0 to 255.";
    QTest::newRow("no baud rate") << "CmbBaud" << ""
                                  << "Unable to download, no Baud rate selected. \r\n  You must select an entry from the list.";
}

void TestConfigWindow::downloadRefusal()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, message);
    FrmKXConfig w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    fill(w);
    setText(w, control, text);
    child<QLineEdit>(w, "TxtSite")->setFocus();
    trigger(w, "MNUDownload");
    // The question, then the refusal; nothing is written and the date stays.
    QCOMPARE(dialogs().messageTexts(), (QStringList{DownloadQuestion, message}));
    QCOMPARE(dialogs().messages().last().icon, DialogIcon::Warning);
    QCOMPARE(dialogs().messages().last().buttons, DialogButtons::Ok);
    QCOMPARE(QApplication::focusWidget(), w.findChild<QWidget*>(control));
    QCOMPARE(textOf(w, "LblDate"), QString());
}

void TestConfigWindow::failedUploadOnlyStampsTheDate()
{
    // The component's port is not open, so every read fails; the retry question is answered No.
    FrmKXConfig w;
    fill(w);
    answer({{"Communication disrupted.  Do you want to retry?", DialogAnswer::No}});
    trigger(w, "mnuUpload");
    QCOMPARE(textOf(w, "LblDate"), QStringLiteral("Monday,  February   23,    2004        04:56 PM"));
    QCOMPARE(textOf(w, "txtTag"), QStringLiteral("PUMP 4 INLET"));
    QCOMPARE(textOf(w, "CmbCommsLossAction"), QStringLiteral("Stop"));
    QVERIFY(!child<QLabel>(w, "Toggle1")->isVisible());
    QVERIFY(w.menuBar()->isEnabled());
    for (const QString& m : dialogs().messageTexts()) QVERIFY2(!m.startsWith("Data error"), qPrintable(m));
}

void TestConfigWindow::editsAreCommittedOnClose()
{
    {
        FrmKXConfig w;
        w.show();
        fill(w);
        child<QLabel>(w, "LblDate")->setText("stamped");
        QVERIFY(w.close());
        QCOMPARE(dialogs().messageTexts(), QStringList{SaveQuestion});
        QCOMPARE(dialogs().messages().first().buttons, DialogButtons::YesNo);
        QVERIFY(dialogs().fileDialogs().isEmpty());
    }
    ConfigurationRecord record;
    QVERIFY(ReadFirstRecord(WorkingDocumentPath(), record));
    QCOMPARE(record.value("Site"), QStringLiteral("North works"));
    QCOMPARE(record.value("Baud rate"), QStringLiteral("9600"));
    QCOMPARE(record.value("Comms loss action"), QStringLiteral("Stop"));
    QCOMPARE(record.value("Deadband"), QStringLiteral("2.5"));
    QCOMPARE(record.value("Date"), QStringLiteral("stamped"));
    // A window opened afresh shows the record.
    FrmKXConfig again;
    QCOMPARE(textOf(again, "TxtServiceEng"), QStringLiteral("A. Engineer"));
    QCOMPARE(textOf(again, "cmbParityStop"), QStringLiteral("No Parity, 1 stop"));
    QCOMPARE(textOf(again, "txtTag"), QStringLiteral("PUMP 4 INLET"));
    QCOMPARE(textOf(again, "LblDate"), QStringLiteral("stamped"));
    QCOMPARE(textOf(again, "txtMaskBinary"), QStringLiteral("00000101"));
}

void TestConfigWindow::saveFollowsTheNameRule_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("report1") << "report1" << "report1.avc";
    QTest::newRow("report1.avc") << "report1.avc" << "report1.avc";
    QTest::newRow("REPORT1.AVC") << "REPORT1.AVC" << "REPORT1.AVC.avc";
}

void TestConfigWindow::saveFollowsTheNameRule()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QTemporaryDir folder;
    FrmKXConfig w;
    fill(w);
    dialogs().queueFileName(folder.filePath(chosen));
    trigger(w, "mnuSave");
    QCOMPARE(dialogs().fileDialogs().size(), 1);
    QCOMPARE(dialogs().fileDialogs().first().kind, FileDialogKind::Save);
    QCOMPARE(dialogs().fileDialogs().first().presetFileName, QStringLiteral("*.avc"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{written});
    ConfigurationRecord record;
    QVERIFY(ReadFirstRecord(folder.filePath(written), record));
    QCOMPARE(record.value("Site"), QStringLiteral("North works"));  // the edits were committed first
    QVERIFY(dialogs().messages().isEmpty());
}

void TestConfigWindow::saveOverAnExistingFileReplacesIt()
{
    const QString target = work.filePath("existing.avc");
    FrmKXConfig w;
    fill(w);
    dialogs().queueFileName(target);
    trigger(w, "mnuSave");
    setText(w, "TxtSite", "Second site");
    dialogs().queueFileName(target);
    trigger(w, "mnuSave");
    QVERIFY(dialogs().messages().isEmpty());  // replaced without a question
    ConfigurationRecord record;
    QVERIFY(ReadFirstRecord(target, record));
    QCOMPARE(record.value("Site"), QStringLiteral("Second site"));
    // Cancelling the dialog writes nothing.
    const QByteArray before = bytesOf(target);
    setText(w, "TxtSite", "Third");
    dialogs().queueFileName(QString());
    trigger(w, "mnuSave");
    QCOMPARE(bytesOf(target), before);
    QVERIFY(dialogs().messages().isEmpty());
}

void TestConfigWindow::saveThatCannotWriteSaysSo()
{
    FrmKXConfig w;
    fill(w);
    dialogs().queueFileName(work.filePath("no/such/folder/x"));
    trigger(w, "mnuSave");
    QCOMPARE(dialogs().messages().size(), 1);
    QVERIFY2(dialogs().messages().first().text.startsWith("Unable to save the configuration.\r\n"),
             qPrintable(dialogs().messages().first().text));
    QCOMPARE(dialogs().messages().first().icon, DialogIcon::Warning);
}

void TestConfigWindow::openAsksTheSaveQuestionThenReplaces()
{
    const QString saved = work.filePath("site-a.avc");
    {
        FrmKXConfig w;
        fill(w);
        setText(w, "TxtSite", "Site A");
        setText(w, "CmbBaud", "19200");
        dialogs().queueFileName(saved);
        trigger(w, "mnuSave");
        QVERIFY(w.close());
    }
    // What a save killed half-way left beside the document, and a file of another program's.
    const QString leftover = work.filePath(".site-b.avc.kestrel2-save-Kx7Kx7");
    const QString foreign = work.filePath(".site-b.avc.Kx7Kx7");
    for (const QString& path : {leftover, foreign}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytesOf(saved));
    }
    dialogs().reset();
    answer({{SaveQuestion, DialogAnswer::No}});
    FrmKXConfig& w = ShowConfigurationWindow();
    setText(w, "TxtSite", "Site B, unsaved");
    setText(w, "CmbBaud", "300");
    dialogs().queueFileName(saved);
    trigger(w, "MnuOpen");
    QVERIFY(!QFileInfo::exists(leftover));  // the open in that folder removed ours, and only ours
    QVERIFY(QFile::remove(foreign));
    QCOMPARE(dialogs().fileDialogs().first().kind, FileDialogKind::Open);
    QCOMPARE(dialogs().fileDialogs().first().presetFileName, QStringLiteral("*.avc"));
    QCOMPARE(dialogs().messageTexts(), QStringList{SaveQuestion});
    QCOMPARE(bytesOf(WorkingDocumentPath()), bytesOf(saved));
    QCOMPARE(ConfigurationWindowIfOpen(), &w);
    QVERIFY(w.isVisible());
    QCOMPARE(textOf(w, "TxtSite"), QStringLiteral("Site A"));
    QCOMPARE(textOf(w, "CmbBaud"), QStringLiteral("19200"));
}

void TestConfigWindow::openSavesPendingEditsWhenAsked()
{
    const QString other = work.filePath("other-site.avc");
    const QString keep = work.filePath("pending.avc");
    {
        FrmKXConfig w;
        fill(w);
        setText(w, "TxtSite", "Other site");
        dialogs().queueFileName(other);
        trigger(w, "mnuSave");
        QVERIFY(w.close());
    }
    FrmKXConfig w;
    w.show();
    setText(w, "TxtSite", "Typed but not committed");
    answer({{SaveQuestion, DialogAnswer::Yes}});
    dialogs().queueFileName(other);  // the file to open
    dialogs().queueFileName(keep);   // where the save question's Yes saves
    trigger(w, "MnuOpen");
    ConfigurationRecord record;
    QVERIFY(ReadFirstRecord(keep, record));
    QCOMPARE(record.value("Site"), QStringLiteral("Typed but not committed"));
    QCOMPARE(textOf(w, "TxtSite"), QStringLiteral("Other site"));
}

void TestConfigWindow::openRefusesWhatIsNotADocument_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    const QString garbage = work.filePath("garbage.avc");
    {
        QFile f(garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, '\x5a'));
    }
    QTest::newRow("garbage") << garbage << "not a configuration database";
    const QString otherTable = work.filePath("nomaster.avc");
    const QString emptyTable = work.filePath("emptytable.avc");
    QVERIFY(CreateEmptyDocument(emptyTable));
    QVERIFY(runSql(otherTable, "CREATE TABLE notmaster (a TEXT)"));
    QVERIFY(runSql(emptyTable, "DELETE FROM mastertable"));
    QTest::newRow("SQLite without mastertable") << otherTable << "no table mastertable";
    QTest::newRow("empty mastertable") << emptyTable << "holds no configuration record";
    QTest::newRow("missing") << work.filePath("gone.avc") << "does not exist";
}

void TestConfigWindow::openRefusesWhatIsNotADocument()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    FrmKXConfig w;
    w.show();
    fill(w);
    QVERIFY(w.CommitRecord());
    setText(w, "TxtSite", "pending edit");
    const QByteArray before = bytesOf(WorkingDocumentPath());
    dialogs().queueFileName(path);
    trigger(w, "MnuOpen");
    QCOMPARE(dialogs().messages().size(), 1);  // no save question: nothing is closed
    const MessageRecord& m = dialogs().messages().first();
    QVERIFY2(m.text.startsWith("Unable to open " + QDir::toNativeSeparators(path)) && m.text.contains(reason) &&
                 m.text.endsWith("The current configuration has not been changed."),
             qPrintable(m.text));
    QCOMPARE(m.icon, DialogIcon::Warning);
    QCOMPARE(bytesOf(WorkingDocumentPath()), before);
    QVERIFY(w.isVisible());
    QCOMPARE(textOf(w, "TxtSite"), QStringLiteral("pending edit"));
}

void TestConfigWindow::damagedWorkingDocumentIsReported()
{
    {
        QFile f(WorkingDocumentPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2048, '\x01'));
    }
    FrmKXConfig w;
    QCOMPARE(dialogs().messages().size(), 1);
    QVERIFY2(dialogs().messages().first().text.startsWith("Data error event hit err:"),
             qPrintable(dialogs().messages().first().text));
    QCOMPARE(dialogs().messages().first().buttons, DialogButtons::Ok);
    // Opening a saved document repairs it.
    const QString good = work.filePath("repair.avc");
    QVERIFY(CreateEmptyDocument(good));
    ConfigurationRecord record;
    QVERIFY(ReadFirstRecord(good, record));
    record["Site"] = "repaired";
    QVERIFY(WriteFirstRecord(good, record));
    w.show();
    dialogs().reset();
    answer({{SaveQuestion, DialogAnswer::No}});
    dialogs().queueFileName(good);
    trigger(w, "MnuOpen");
    QCOMPARE(textOf(w, "TxtSite"), QStringLiteral("repaired"));
    QCOMPARE(CheckDocument(WorkingDocumentPath()), QString());
}

void TestConfigWindow::printToPdf()
{
    FrmKXConfig w;
    fill(w);
    setText(w, "TxtSite", "Printed site");
    const QString pdf = work.filePath("window-report.pdf");
    dialogs().queuePrintToFile(pdf);
    trigger(w, "MnuPrint");
    QCOMPARE(dialogs().messages().size(), 1);
    QCOMPARE(dialogs().messages().first().buttons, DialogButtons::OkCancel);
    QCOMPARE(dialogs().messages().first().text,
             QStringLiteral("You need a printer connected, or a PDF file to print to, to use the Print Function\r\n"
                            " Do you want to continue?"));
    QCOMPARE(dialogs().printDialogs(), QStringList{"Print report"});
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    QVERIFY(text.waitForFinished(10000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(printed.contains("Printed site") && printed.contains("PUMP 4 INLET") && printed.contains("A. Engineer"),
             qPrintable(printed));
    // The record was committed before printing.
    ConfigurationRecord record;
    QVERIFY(ReadFirstRecord(WorkingDocumentPath(), record));
    QCOMPARE(record.value("Site"), QStringLiteral("Printed site"));
}

void TestConfigWindow::printCancelledAndFailed()
{
    FrmKXConfig w;
    fill(w);
    answer({{"You need a printer connected, or a PDF file to print to, to use the Print Function\r\n"
             " Do you want to continue?",
             DialogAnswer::Cancel}});
    trigger(w, "MnuPrint");
    QVERIFY(dialogs().printDialogs().isEmpty());
    QCOMPARE(dialogs().messages().size(), 1);

    dialogs().reset();
    trigger(w, "MnuPrint");  // the print dialog is cancelled: no failure message
    QCOMPARE(dialogs().printDialogs().size(), 1);
    QCOMPARE(dialogs().messages().size(), 1);

    dialogs().reset();
    dialogs().queuePrintToFile(work.filePath("no/such/folder/r.pdf"));
    trigger(w, "MnuPrint");
    QCOMPARE(dialogs().messages().size(), 2);
    QCOMPARE(dialogs().messages().last().text,
             QStringLiteral("Unable to print.  Either you do not have a printer connected or the report could not be "
                            "written to the chosen file."));
    QCOMPARE(dialogs().messages().last().icon, DialogIcon::Warning);
}

void TestConfigWindow::serviceNotesGoToTheLauncher()
{
    FrmKXConfig w;
    launched.clear();
    launcherWorks = true;
    QFile::remove(ServiceNotesPath());
    trigger(w, "mnuServiceNotes");
    QCOMPARE(launched, QList<QUrl>{QUrl::fromLocalFile(ServiceNotesPath())});
    QVERIFY(QFileInfo(ServiceNotesPath()).isFile());
    QCOMPARE(QFileInfo(ServiceNotesPath()).absolutePath(), QFileInfo(WorkingDocumentPath()).absolutePath());
    QVERIFY(dialogs().messages().isEmpty());
    // Notes already written are kept.
    {
        QFile notes(ServiceNotesPath());
        QVERIFY(notes.open(QIODevice::Append));
        notes.write("valve serviced\n");
    }
    launcherWorks = false;
    trigger(w, "mnuServiceNotes");
    QCOMPARE(bytesOf(ServiceNotesPath()), QByteArray("valve serviced\n"));
    QCOMPARE(dialogs().messages().size(), 1);
    QVERIFY(dialogs().messages().first().text.startsWith("Unable to open the service notes."));
    launcherWorks = true;
}

void TestConfigWindow::navigationClosesWithTheSaveQuestion()
{
    for (const QString& item : {QStringLiteral("MnuReturn"), QStringLiteral("MnuKXgroup")}) {
        dialogs().reset();
        answer({{SaveQuestion, DialogAnswer::No}, {"Communication disrupted.  Do you want to retry?", DialogAnswer::No}});
        FrmKXConfig& w = ShowConfigurationWindow();
        setText(w, "TxtSite", item);
        trigger(w, item);
        QCOMPARE(dialogs().messageTexts().value(0), SaveQuestion);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!ConfigurationWindowIfOpen());
        ConfigurationRecord record;
        QVERIFY(ReadFirstRecord(WorkingDocumentPath(), record));
        QCOMPARE(record.value("Site"), item);
    }
    QVERIFY(MonitorWindowIfOpen());
    QVERIFY(MonitorWindowIfOpen()->isVisible());
}

void TestConfigWindow::helpShowsTheHelpPrompt()
{
    FrmKXConfig w;
    dialogs().responder = [](const MessageRecord&) { return DialogAnswer::Cancel; };
    trigger(w, "MnuHelp");
    QVERIFY(!dialogs().messages().isEmpty());
    QCOMPARE(dialogs().messages().first().title, QStringLiteral("Help CD"));
}

QTEST_MAIN(TestConfigWindow)
#include "test_config_window.moc"
