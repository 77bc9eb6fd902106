// The main, connection, about and technical publications windows, headless:
// texts, menus, the first-activation question, exit, help, system information,
// the connection window's checks, and a rendering of each window.
#include "PtyPair.h"
#include "RenderWindow.h"
#include "config/ConfigurationWindow.h"
#include "link/ConnectionSettings.h"
#include "link/ConnectionWindow.h"
#include "link/RememberedConnection.h"
#include "main/AboutWindow.h"
#include "main/DialogService.h"
#include "main/HelpWindow.h"
#include "main/MainWindow.h"
#include "main/ToolWindows.h"
#include "monitor/MonitorWindow.h"
#include "base/ConfigFolder.h"
#include "line/PortMap.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace kestrel2;

namespace {
const QString CRLF = QStringLiteral("\r\n");

DialogService& dialogs() { return DialogService::instance(); }

void setPortMapping(int number, const QString& device)
{
    QSettings ini(buslink::IniFilePath(), QSettings::IniFormat);
    if (device.isEmpty()) ini.remove(QString("Ports/%1").arg(number));
    else ini.setValue(QString("Ports/%1").arg(number), device);
    ini.sync();
}

// Runs `inspect` on the modal window once it is up; `inspect` must end it.
void whenModal(const std::function<void(QWidget*)>& inspect)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, inspect] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            inspect(modal);
        }
    });
    poll->start();
}

} // namespace

class TestLinkWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mainWindowTextsAndMenus();
    void everyMenuBarHasUniqueMnemonics();
    void firstActivationAsksOnce();
    void yesShowsTheConnectionWindowBesideTheMain();
    void connectionMenuShowsItModal();
    void mainHelpShowsTwoMessages();
    void exitAskedNoLeavesEverything();
    void exitYesClosesPortAndReleasesTheComponent();
    void closeBoxEndsWithoutAQuestion();

    void aboutWindow();
    void systemInformation_data();
    void systemInformation();

    void helpPromptCancelNeverOpensThePublications();
    void helpPromptOkOpensThePublications_data();
    void helpPromptOkOpensThePublications();
    void publicationsFolderPrefersTheUsersOwn_data();
    void publicationsFolderPrefersTheUsersOwn();

    void connectionWindowControls();
    void connectionChecks_data();
    void connectionChecks();
    void activationClosesThePort();
    void portLabelShowsTheDevice();
    void connectionWindowOffersTheLastGoodConnection();

    void renderWindows();

private:
    QString opened;  // what the document viewer was asked to show
    bool viewerWorks = true;
};

void TestLinkWindows::initTestCase()
{
    QCoreApplication::setApplicationName("kestrel2");
    QFile::remove(ToolSettingsPath());  // a first start: no connection remembered
    dialogs().setScripted(true);
    SetDocumentViewer([this](const QUrl& url) {
        opened = url.toLocalFile();
        return viewerWorks;
    });
}

void TestLinkWindows::init()
{
    dialogs().reset();
    opened.clear();
    viewerWorks = true;
}

void TestLinkWindows::cleanup()
{
    if (Frmhelp* help = PublicationsWindowIfOpen()) delete help;
    CloseConnectionWindow();
    SetSystemInformationPrograms({});
}

void TestLinkWindows::mainWindowTextsAndMenus()
{
    FrmMain window;
    QCOMPARE(window.objectName(), QString("FrmMain"));
    QCOMPARE(window.windowTitle(), QString("Corvane Kestrel II"));
    QCOMPARE(window.Label3()->text(), QString("Kestrel II"));
    QCOMPARE(window.Label2()->text(), QString("Modbus configuration utility for Corvane actuators"));
    QCOMPARE(window.Label3()->font().family(), QString("Arial"));
    QCOMPARE(window.Label2()->font().family(), QString("Arial"));
    QVERIFY(!window.Image1()->pixmap().isNull());
    QVERIFY(!window.Image2()->pixmap().isNull());

    QStringList names, captions;
    for (QAction* action : window.menuBar()->actions()) {
        names << action->objectName();
        captions << action->text();
    }
    QCOMPARE(names, QStringList({"mnuConfigureActuator", "mnuControl", "mnuConnectionscreen", "mnuAbout", "mnuHelp",
                                 "mnuExit"}));
    QCOMPARE(captions, QStringList({"&Configure actuator", "&Monitor and control actuator", "C&onnection", "&About",
                                    "&Help", "&Exit"}));
}

void TestLinkWindows::everyMenuBarHasUniqueMnemonics()
{
    // The letter after a single '&', lower case; nothing when the caption has none.
    auto mnemonic = [](const QString& caption) {
        const QString text = QString(caption).replace("&&", "");
        const int at = text.indexOf('&');
        return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
    };
    FrmMain main;
    FrmKXConfig config;
    FrmKXgroup monitor;
    for (QMainWindow* window : std::initializer_list<QMainWindow*>{&main, &config, &monitor}) {
        QSet<QChar> letters;
        for (QAction* action : window->menuBar()->actions()) {
            const QChar letter = mnemonic(action->text());
            QVERIFY2(!letter.isNull(), qPrintable(window->objectName() + ": " + action->text()));
            QVERIFY2(!letters.contains(letter), qPrintable(window->objectName() + ": " + action->text()));
            letters.insert(letter);
        }
    }
    // File has the desktop's own keys for open, save and print.
    QCOMPARE(config.findChild<QAction*>("MnuOpen")->shortcut(), QKeySequence(QKeySequence::Open));
    QCOMPARE(config.findChild<QAction*>("mnuSave")->shortcut(), QKeySequence(QKeySequence::Save));
    QCOMPARE(config.findChild<QAction*>("MnuPrint")->shortcut(), QKeySequence(QKeySequence::Print));
    QCOMPARE(config.findChild<QAction*>("MnuOpen")->shortcut().toString(), QString("Ctrl+O"));
}

void TestLinkWindows::firstActivationAsksOnce()
{
    FrmMain window;
    dialogs().queueAnswer(DialogAnswer::No);
    window.show();
    window.activateWindow();
    QTRY_COMPARE(dialogs().messages().size(), 1);
    const MessageRecord question = dialogs().messages().first();
    QCOMPARE(question.text, "If you are going to connect to an actuator you will need to select " + CRLF +
                                "CONNECTION from the tool bar and configure the communication parameters. " + CRLF +
                                CRLF + " Do you want to setup the communication parameters now? ");
    QCOMPARE(question.buttons, DialogButtons::YesNo);
    QCOMPARE(question.title, QString("Kestrel II"));
    QVERIFY(!ConnectionWindowExists() || !ConnectionWindow().isVisible());

    // Later activations (say on return from another window) ask nothing.
    QWidget other;
    other.show();
    other.activateWindow();
    QTest::qWait(20);
    window.activateWindow();
    window.Form_Activate();
    window.Form_Activate();
    QTest::qWait(50);
    QCOMPARE(dialogs().messages().size(), 1);
}

void TestLinkWindows::yesShowsTheConnectionWindowBesideTheMain()
{
    FrmMain window;
    dialogs().queueAnswer(DialogAnswer::Yes);
    window.Form_Activate();
    QTRY_VERIFY(ConnectionWindowExists() && ConnectionWindow().isVisible());
    QVERIFY(!ConnectionWindow().isModal());
    QCOMPARE(dialogs().messages().size(), 1);
}

void TestLinkWindows::connectionMenuShowsItModal()
{
    FrmMain window;
    window.show();
    // Already shown beside the main window: the menu shows it again, modal.
    ConnectionWindow().show();
    QString modalName;
    bool modal = false;
    whenModal([&](QWidget* w) {
        modalName = w->objectName();
        modal = w->isModal();
        w->close();
    });
    window.menuAction("mnuConnectionscreen")->trigger();
    QCOMPARE(modalName, QString("frmConnection"));
    QVERIFY(modal);
    QVERIFY(!ConnectionWindow().isVisible());
}

void TestLinkWindows::mainHelpShowsTwoMessages()
{
    FrmMain window;
    window.menuAction("mnuHelp")->trigger();
    QCOMPARE(dialogs().messageTexts(),
             QStringList({"Please Refer to the technical publications supplied on the CD with this software.",
                          "If you do not have the CD" + CRLF +
                              "The technical publications can be downloaded from the Corvane web site at " +
                              MakerWebSite()}));
    for (const MessageRecord& m : dialogs().messages()) QCOMPARE(m.buttons, DialogButtons::Ok);
}

void TestLinkWindows::exitAskedNoLeavesEverything()
{
    FrmMain window;
    window.show();
    QTRY_COMPARE(dialogs().messages().size(), 1);  // the connection question (answered Yes)
    QTRY_VERIFY(ConnectionWindow().isVisible());
    dialogs().queueAnswer(DialogAnswer::No);
    window.menuAction("mnuExit")->trigger();
    QCOMPARE(dialogs().messages().last().text, QString("Do you want to quit?"));
    QCOMPARE(dialogs().messages().last().buttons, DialogButtons::YesNo);
    QVERIFY(window.isVisible());
    QVERIFY(ConnectionWindowExists());
    QVERIFY(ConnectionWindow().isVisible());
}

void TestLinkWindows::exitYesClosesPortAndReleasesTheComponent()
{
    FrmMain window;
    dialogs().queueAnswer(DialogAnswer::No);  // no connection set-up now
    window.show();
    QTRY_COMPARE(dialogs().messages().size(), 1);
    QPointer<QWidget> publications(&ShowPublicationsWindow());

    PtyPair line;
    QVERIFY(line.isValid());
    setPortMapping(1, line.devicePath());
    buslink::Buslink& link = Buslink1();
    link.setCommPort(1);
    link.setPortOpen(true);
    link.setEnabled(true);
    QVERIFY(link.port().portOpen());
    QPointer<buslink::Buslink> component(&link);
    QStringList changes;
    connect(&link, &buslink::Buslink::propertyChanged, this,
            [&](const QString& name) { changes << name + "=" + link.property(name.toLatin1()).toString(); });
    dialogs().queueAnswer(DialogAnswer::Yes);
    window.mnuExit_Click();
    QVERIFY(!window.isVisible());
    QCOMPARE(changes, QStringList({"Enabled=false", "PortOpen=false"}));
    QVERIFY(!ConnectionWindowExists());
    QVERIFY(component.isNull());
    QTRY_VERIFY(publications.isNull());  // every other window closes with it
    setPortMapping(1, QString());
}

void TestLinkWindows::closeBoxEndsWithoutAQuestion()
{
    FrmMain window;
    window.Form_Activate();
    QTRY_COMPARE(dialogs().messages().size(), 1);
    dialogs().reset();
    QVERIFY(ConnectionWindowExists());
    window.show();
    QVERIFY(window.close());
    QVERIFY(dialogs().messages().isEmpty());
    QVERIFY(!ConnectionWindowExists());
}

void TestLinkWindows::aboutWindow()
{
    FrmMain window;
    window.show();
    QString title, name, version, description, heading, sysInfo, ok;
    bool modal = false, picture = false;
    whenModal([&](QWidget* w) {
        auto* about = qobject_cast<FrmAbout*>(w);
        if (!about) {
            w->close();
            return;
        }
        name = about->objectName();
        title = about->windowTitle();
        modal = about->isModal();
        heading = about->lblTitle()->text();
        version = about->lblVersion()->text();
        description = about->Label1()->text();
        ok = about->cmdOK()->text();
        sysInfo = about->cmdSysInfo()->text();
        picture = !about->Picture1()->pixmap().isNull();  // checked after the window is closed
        about->cmdOK()->click();
    });
    window.menuAction("mnuAbout")->trigger();
    QVERIFY(picture);
    QCOMPARE(name, QString("frmAbout"));
    QCOMPARE(title, QString("About Kestrel II"));
    QVERIFY(modal);
    QCOMPARE(heading, QString("Kestrel II"));
    QCOMPARE(version, QString("Version:  1.00.00.07"));
    QCOMPARE(description, QString("Kestrel is a utility program to configure and document Corvane actuators fitted "
                                  "with a modbus digital network interface card."));
    QCOMPARE(ok, QString("OK"));
    QCOMPARE(sysInfo, QString("&System Info..."));
}

void TestLinkWindows::systemInformation_data()
{
    QTest::addColumn<QString>("script");   // body of the program on the PATH; empty: none there
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("message");  // the message shown; empty: none
    QTest::newRow("program on the PATH") << "#!/bin/sh\ntouch \"$0.ran\"\n" << true << "";
    QTest::newRow("no program") << "" << false << "Operating system: ";
    QTest::newRow("program fails to start") << "#!/nonexistent/interpreter\n" << false
                                            << "System Information Is Unavailable At This Time";
}

void TestLinkWindows::systemInformation()
{
    QFETCH(QString, script);
    QFETCH(bool, started);
    QFETCH(QString, message);

    QTemporaryDir bin;
    const QString program = bin.filePath("kestrel2-test-sysinfo");
    if (!script.isEmpty()) {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(script.toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ":" + path);
    SetSystemInformationPrograms({"kestrel2-test-sysinfo"});

    FrmAbout about;
    about.show();
    about.cmdSysInfo()->click();
    qputenv("PATH", path);

    QVERIFY(about.isVisible());  // the about window stays open
    if (started) QTRY_VERIFY(QFile::exists(program + ".ran"));
    if (message.isEmpty()) {
        QVERIFY(dialogs().messages().isEmpty());
    } else {
        QCOMPARE(dialogs().messages().size(), 1);
        QVERIFY2(dialogs().messages().first().text.startsWith(message), qPrintable(dialogs().messages().first().text));
        QCOMPARE(dialogs().messages().first().buttons, DialogButtons::Ok);
    }
}

void TestLinkWindows::helpPromptCancelNeverOpensThePublications()
{
    dialogs().queueAnswer(DialogAnswer::Cancel);
    ShowHelpPrompt();
    QTest::qWait(20);
    QVERIFY(!PublicationsWindowIfOpen());
    QVERIFY(dialogs().fileDialogs().isEmpty());
    QCOMPARE(dialogs().messages().size(), 2);
    const MessageRecord prompt = dialogs().messages().at(0);
    QCOMPARE(prompt.text, QString("Please put the CD supplied with this software in your CD rom drive.Then click OK"));
    QCOMPARE(prompt.title, QString("Help CD"));
    QCOMPARE(prompt.buttons, DialogButtons::OkCancel);
    QCOMPARE(dialogs().messages().at(1).text,
             "If you do not have the disk" + CRLF + CRLF +
                 " The technical publications can be downloaded from the Corvane web site at " + MakerWebSite());
}

void TestLinkWindows::helpPromptOkOpensThePublications_data()
{
    QTest::addColumn<bool>("choose");
    QTest::addColumn<bool>("viewerWorks");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("messages");
    QTest::newRow("a publication chosen") << true << true << "manual.pdf is shown in your document viewer." << 1;
    QTest::newRow("dialog cancelled") << false << true << "No publication was chosen." << 1;
    QTest::newRow("viewer fails") << true << false << "No publication is shown." << 2;
}

void TestLinkWindows::helpPromptOkOpensThePublications()
{
    QFETCH(bool, choose);
    QFETCH(bool, viewerWorks);
    QFETCH(QString, label);
    QFETCH(int, messages);
    this->viewerWorks = viewerWorks;

    const QString manual = PublicationsFolder() + "/manual.pdf";
    dialogs().queueAnswer(DialogAnswer::Ok);
    dialogs().queueFileName(choose ? manual : QString());
    ShowHelpPrompt();
    Frmhelp* window = PublicationsWindowIfOpen();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QCOMPARE(window->objectName(), QString("frmhelp"));
    QCOMPARE(window->windowTitle(), QString("Corvane technical publications "));
    QTRY_COMPARE(dialogs().fileDialogs().size(), 1);
    const FileDialogRecord dialog = dialogs().fileDialogs().first();
    QCOMPARE(dialog.kind, FileDialogKind::Open);
    QCOMPARE(dialog.caption, QString("Corvane publication list"));
    QCOMPARE(dialog.presetFileName, PublicationsFolder());
    QCOMPARE(dialog.filter, QString("*.pdf"));
    QCOMPARE(window->lblDocument()->text(), label);
    QCOMPARE(opened, choose ? manual : QString());
    QCOMPARE(window->documentShown(), choose && viewerWorks ? manual : QString());
    QCOMPARE(dialogs().messages().size(), messages);
    if (messages == 2) QCOMPARE(dialogs().messages().last().text, "The document viewer could not open " + manual);
}

void TestLinkWindows::publicationsFolderPrefersTheUsersOwn_data()
{
    QTest::addColumn<bool>("userFolder");
    QTest::addColumn<bool>("installedFolder");
    QTest::addColumn<bool>("expectUser");
    QTest::newRow("neither: the user's is made") << false << false << true;
    QTest::newRow("installed only") << false << true << false;
    QTest::newRow("both") << true << true << true;
    QTest::newRow("user's only") << true << false << true;
}

void TestLinkWindows::publicationsFolderPrefersTheUsersOwn()
{
    QFETCH(bool, userFolder);
    QFETCH(bool, installedFolder);
    QFETCH(bool, expectUser);

    const QString user = UserPublicationsFolder();
    const QString installed = InstalledPublicationsFolder();
    QVERIFY(user.startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
    QDir(user).removeRecursively();
    QDir(installed).removeRecursively();
    if (userFolder) QVERIFY(QDir().mkpath(user));
    if (installedFolder) QVERIFY(QDir().mkpath(installed));

    QCOMPARE(PublicationsFolder(), expectUser ? user : installed);
    QVERIFY(QFileInfo(PublicationsFolder()).isDir());
    QDir(installed).removeRecursively();
}

void TestLinkWindows::connectionWindowControls()
{
    FrmConnection& window = ConnectionWindow();
    QCOMPARE(window.objectName(), QString("frmConnection"));
    QCOMPARE(window.windowTitle(), QString("Connection "));
    QCOMPARE(window.Buslink1().parent(), &window);
    auto entries = [](QComboBox* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
        return texts;
    };
    QCOMPARE(entries(window.cmbComPort()), QStringList({"1", "2", "3", "4"}));
    QCOMPARE(entries(window.CmbBaud()),
             QStringList({"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}));
    QCOMPARE(entries(window.cmbParity()), QStringList({"None", "Odd", "Even"}));
    QCOMPARE(entries(window.cmbStop()), QStringList({"1", "2"}));
    for (QComboBox* list : {window.cmbComPort(), window.CmbBaud(), window.cmbParity(), window.cmbStop()})
        QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(window.TxtNumberofretries()->text(), QString("2"));
    QCOMPARE(window.txtDelayTime()->text(), QString("0.06"));
    QVERIFY(window.TxtNumberofretries()->isHidden());
    QVERIFY(window.txtDelayTime()->isHidden());
    QCOMPARE(window.cmdhide()->text(), QString("OK"));
    QStringList labels;
    for (QLabel* label : window.findChildren<QLabel*>()) labels << label->text();
    for (const char* caption : {"Baud rate:", "Parity :", "Stop bits:", "Modbus slave address:"})
        QVERIFY2(labels.contains(caption), qPrintable(caption));
    QVERIFY(window.findChild<QLineEdit*>("txtaddress"));
}

void TestLinkWindows::connectionChecks_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stop");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const QString addressMessage = "You must enter a Address in the range of 1 to 247";
    QTest::newRow("nothing chosen") << -1 << -1 << -1 << -1 << "" << "You must select a parity option " << "cmbParity";
    QTest::newRow("no baud") << 0 << -1 << 2 << 0 << "1" << "You must enter a Baud rate " << "CmbBaud";
    QTest::newRow("empty address") << 0 << 5 << 2 << 0 << "" << addressMessage << "txtaddress";
    QTest::newRow("address 12abc") << 0 << 5 << 2 << 0 << "12abc" << addressMessage << "txtaddress";
    QTest::newRow("address 0") << 0 << 5 << 2 << 0 << "0" << addressMessage << "txtaddress";
    QTest::newRow("address 248") << 0 << 5 << 2 << 0 << "248" << addressMessage << "txtaddress";
    QTest::newRow("no stop bits") << 0 << 5 << 2 << -1 << "1" << "you must select the number of stop bits" << "cmbStop";
    QTest::newRow("no port") << -1 << 5 << 2 << 0 << "1" << "you must select a Communications prot from your PC"
                             << "cmbComPort";
}

void TestLinkWindows::connectionChecks()
{
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stop);
    QFETCH(QString, address);
    QFETCH(QString, message);
    QFETCH(QString, focus);

    PtyPair line;
    setPortMapping(1, line.devicePath());
    FrmConnection& window = ConnectionWindow();
    window.show();
    window.Form_Activate();
    window.cmbComPort()->setCurrentIndex(port);
    window.CmbBaud()->setCurrentIndex(baud);
    window.cmbParity()->setCurrentIndex(parity);
    window.cmbStop()->setCurrentIndex(stop);
    window.txtaddress()->setText(address);
    window.cmdhide()->click();

    QCOMPARE(dialogs().messageTexts(), QStringList{message});
    QCOMPARE(dialogs().messages().first().buttons, DialogButtons::Ok);
    QCOMPARE(dialogs().messages().first().icon, DialogIcon::None);
    QVERIFY(window.focusWidget());
    QCOMPARE(window.focusWidget()->objectName(), focus);
    // Nothing was changed: the component stays disabled with its port closed, the window open.
    QVERIFY(window.isVisible());
    QVERIFY(!window.Buslink1().PortOpen());
    QVERIFY(!window.Buslink1().port().portOpen());
    QVERIFY(!window.Buslink1().Enabled());
    setPortMapping(1, QString());
}

void TestLinkWindows::activationClosesThePort()
{
    PtyPair line;
    setPortMapping(2, line.devicePath());
    FrmConnection& window = ConnectionWindow();
    buslink::Buslink& link = window.Buslink1();
    link.setCommPort(2);
    link.setPortOpen(true);
    link.setEnabled(true);
    QVERIFY(link.port().portOpen());
    window.show();
    window.activateWindow();
    QTRY_VERIFY(!link.port().portOpen());
    QVERIFY(!link.PortOpen());
    QVERIFY(!link.Enabled());
    setPortMapping(2, QString());
}

void TestLinkWindows::portLabelShowsTheDevice()
{
    setPortMapping(3, "/dev/pts/77");
    FrmConnection& window = ConnectionWindow();
    window.show();
    QCOMPARE(window.lblPortDevice()->text(), QString("Choose the port that leads to the actuator."));
    window.cmbComPort()->setCurrentIndex(2);
    QCOMPARE(window.lblPortDevice()->text(), QString("Port 3 opens /dev/pts/77"));
    window.cmbComPort()->setCurrentIndex(3);
    QCOMPARE(window.lblPortDevice()->text(), "Port 4 opens " + buslink::DefaultDevicePathForPort(4));
    QCOMPARE(window.cmbComPort()->itemData(2, Qt::ToolTipRole).toString(), QString("Port 3 opens /dev/pts/77"));
    // Choosing a port opens nothing.
    QVERIFY(!window.Buslink1().port().portOpen());
    setPortMapping(3, QString());
}

void TestLinkWindows::connectionWindowOffersTheLastGoodConnection()
{
    CloseConnectionWindow();
    RememberConnection({2, 6, 1, 1, " 17 "});  // port 3, 19200, Odd, 2 stop bits, address 17
    {
        FrmConnection window;
        QCOMPARE(window.cmbComPort()->currentText(), QString("3"));
        QCOMPARE(window.CmbBaud()->currentText(), QString("19200"));
        QCOMPARE(window.cmbParity()->currentText(), QString("Odd"));
        QCOMPARE(window.cmbStop()->currentText(), QString("2"));
        QCOMPARE(window.txtaddress()->text(), QString("17"));
        // Preselected, not applied: nothing is opened until OK.
        QVERIFY(!window.Buslink1().port().portOpen());
    }
    // An entry the lists no longer offer comes back unchosen; the rest still stands.
    {
        QSettings settings(ToolSettingsPath(), QSettings::IniFormat);
        settings.setValue("Connection/Baud", "12345");
        settings.setValue("Connection/Address", "300");
    }
    {
        FrmConnection window;
        QCOMPARE(window.CmbBaud()->currentIndex(), -1);
        QCOMPARE(window.txtaddress()->text(), QString());
        QCOMPARE(window.cmbParity()->currentText(), QString("Odd"));
    }
    QVERIFY(QFile::remove(ToolSettingsPath()));
    FrmConnection fresh;
    QCOMPARE(fresh.cmbComPort()->currentIndex(), -1);
    QCOMPARE(fresh.txtaddress()->text(), QString());
}

void TestLinkWindows::renderWindows()
{
    {
        FrmMain window;
        window.Form_Activate();  // the connection question is asked and answered, not drawn
        window.show();
        window.resize(window.sizeHint());
        window.adjustSize();
        render(window, "kestrel2-main.png");
    }
    {
        setPortMapping(1, "/dev/ttyUSB0");
        FrmConnection& window = ConnectionWindow();
        window.show();
        window.cmbComPort()->setCurrentIndex(0);
        window.CmbBaud()->setCurrentIndex(5);
        window.cmbParity()->setCurrentIndex(2);
        window.cmbStop()->setCurrentIndex(0);
        window.txtaddress()->setText("1");
        window.adjustSize();
        render(window, "kestrel2-connection.png");
        setPortMapping(1, QString());
    }
    {
        FrmAbout window;
        window.show();
        window.adjustSize();
        render(window, "kestrel2-about.png");
    }
    {
        dialogs().queueAnswer(DialogAnswer::Ok);
        dialogs().queueFileName(PublicationsFolder() + "/KX actuator manual.pdf");
        ShowHelpPrompt();
        QTRY_COMPARE(dialogs().fileDialogs().size(), 1);
        PublicationsWindowIfOpen()->adjustSize();
        render(*PublicationsWindowIfOpen(), "kestrel2-publications.png");
    }
}

QTEST_MAIN(TestLinkWindows)
#include "test_link_windows.moc"
