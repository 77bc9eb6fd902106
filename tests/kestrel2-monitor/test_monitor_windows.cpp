// The monitor-and-control and torque profile windows headless, without an
// actuator: their controls and texts, the indication colours, the questions
// of the commands, the way back when no actuator answers, printing to PDF and
// the CSV and PNG exports.
#include "RenderWindow.h"
#include "link/RegisterAccess.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"
#include "monitor/IndicationLabel.h"
#include "monitor/MonitorWindow.h"
#include "monitor/PercentGauge.h"
#include "monitor/StatusMap.h"
#include "monitor/TorqueProfileWindow.h"
#include "monitor/WindowPrinter.h"

#include <QAbstractAxis>
#include <QChart>
#include <QChartView>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QValueAxis>
#include <QtTest>

using namespace kestrel2;

namespace {
// Answers No to every Yes/No question (so a dead link ends at once) and OK otherwise.
DialogAnswer answerNo(const MessageRecord& m)
{
    return m.buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
}

QStringList childTexts(const QWidget& window)
{
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>()) texts << label->text();
    for (const QGroupBox* box : window.findChildren<QGroupBox*>()) texts << box->title();
    for (const QPushButton* button : window.findChildren<QPushButton*>()) texts << button->text();
    return texts;
}

} // namespace

class TestMonitorWindows : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void monitorWindowShowsEveryControl();
    void indicationsAreColouredNeverHidden();
    void commandQuestions_data();
    void commandQuestions();
    void sliderAsksOnceAtTheEndOfADrag();
    void noActuatorLeadsBackToTheMainWindow();
    void helpMenuOffersThePublications();
    void torqueProfileWindowLayout();
    void printGoesToPdfWhereThereIsNoPrinter();
    void printCancelledOrFailing();
    void profileSavesCsvAndPng();
};

void TestMonitorWindows::init()
{
    DialogService::instance().setScripted(true);
    DialogService::instance().reset();
    DialogService::instance().responder = answerNo;
    WindowPrinter::setPdfOnly(true);
}

void TestMonitorWindows::cleanup()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<FrmKXgroup*>(w) || qobject_cast<FrmChart*>(w)) delete w;
    DialogService::instance().reset();
}

void TestMonitorWindows::monitorWindowShowsEveryControl()
{
    FrmKXgroup window;
    QCOMPARE(window.objectName(), QStringLiteral("FrmKXgroup"));
    QCOMPARE(window.windowTitle(), QStringLiteral("KX actuator"));

    QStringList menus;
    for (QAction* action : window.menuBar()->actions()) menus << action->objectName() + '=' + action->text();
    QCOMPARE(menus, QStringList({"MnuMain=&Main screen", "MnuconfigActuator=&Actuator configuration", "mnuHelp=&Help"}));

    const QStringList texts = childTexts(window);
    for (const char* text : {"Status", "Alarms", "Output relays", "Discrete controls", "Position control", "Controls",
                             "       Actuator information", " Tag name:", " Actuator address:", "Actuator Position",
                             "Torque feedback", "Analog input", "Relay #1", "Relay #4", "View cycle torque profile"})
        QVERIFY2(texts.contains(QString::fromLatin1(text)), text);

    for (int k = 0; k < StatusCount; ++k) {
        QCOMPARE(window.LblStatus(k)->objectName(), QStringLiteral("LblStatus%1").arg(k));
        QCOMPARE(window.LblStatus(k)->text(), StatusCaptions().at(k));
        QCOMPARE(window.LblStatus(k)->colour(), QColor(64, 64, 64));
    }
    for (int k = 0; k < AlarmCount; ++k) {
        QCOMPARE(window.lblAlarms(k)->text(), AlarmCaptions().at(k));
        QCOMPARE(window.lblAlarms(k)->colour(), QColor(64, 64, 64));
    }
    // Index 0 at the top of each column, "Slow mode" last.
    window.resize(window.sizeHint());
    window.show();
    QVERIFY(window.LblStatus(0)->y() < window.LblStatus(7)->y());
    QVERIFY(window.lblAlarms(14)->y() < window.lblAlarms(15)->y());

    QCOMPARE(window.PercentValvePosition()->objectName(), QStringLiteral("PercentValvePosition"));
    QCOMPARE(window.Percenttorque()->objectName(), QStringLiteral("Percenttorque"));
    QCOMPARE(window.PercentAnalogInput()->objectName(), QStringLiteral("PercentAnalogInput"));
    for (int relay = 1; relay <= RelayCount; ++relay) {
        QCOMPARE(window.txtRlyStatus(relay)->objectName(), QStringLiteral("txtRly%1Status").arg(relay));
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("cmdRelay%1ON").arg(relay)));
        QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("cmdRelay%1Off").arg(relay))->text(), "OFF");
    }
    QCOMPARE(window.positionslider()->toolTip(), QStringLiteral("Drag the bar to the desired valve position"));
    QVERIFY(!window.positionslider()->hasTracking());
    QCOMPARE(window.Timer1().interval(), 3500);
    QCOMPARE(window.Timer1().objectName(), QStringLiteral("Timer1"));
    window.close();
}

void TestMonitorWindows::indicationsAreColouredNeverHidden()
{
    FrmKXgroup window;
    window.resize(window.sizeHint());
    window.show();
    QList<qint32> status(StatusReadCount, 0);
    status[2] = 1;   // fully open
    status[5] = 1;   // selector in remote
    status[8] = 1;   // beyond the eight status inputs: no effect
    QList<qint32> alarms(AlarmCount, 0);
    alarms[0] = 1;
    alarms[15] = 1;
    alarms[3] = 2;   // not exactly 1: inactive
    window.ShowIndications(status, alarms);
    QCOMPARE(window.LblStatus(2)->colour(), QColor(255, 255, 0));
    QCOMPARE(window.LblStatus(5)->colour(), QColor(255, 255, 0));
    QCOMPARE(window.LblStatus(0)->colour(), QColor(161, 161, 161));
    QCOMPARE(window.LblStatus(7)->colour(), QColor(161, 161, 161));
    QCOMPARE(window.lblAlarms(0)->colour(), QColor(255, 0, 0));
    QCOMPARE(window.lblAlarms(15)->colour(), QColor(255, 0, 0));
    QCOMPARE(window.lblAlarms(3)->colour(), QColor(161, 161, 161));
    for (int k = 0; k < AlarmCount; ++k) QVERIFY(window.lblAlarms(k)->isVisible());
    window.PercentValvePosition()->setValue(GaugePercent(500));
    QCOMPARE(window.PercentValvePosition()->text(), QStringLiteral("50 %"));
    render(window, QStringLiteral("monitor-window-offline.png"));
    window.close();
}

void TestMonitorWindows::commandQuestions_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("question");
    QTest::newRow("Cmdopen") << "Cmdopen" << "Are you sure you want to OPEN the valve?";
    QTest::newRow("Cmdclose") << "Cmdclose" << "Are you sure you want to Close the valve?";
    QTest::newRow("Cmdstop") << "Cmdstop" << "Are you sure you want to Stop the valve?";
    QTest::newRow("cmdESD") << "cmdESD" << "Are you sure you want to ESD the valve?";
    QTest::newRow("cmdRelay1ON") << "cmdRelay1ON" << "Are you sure you want to energize Relay #1?";
    QTest::newRow("cmdRelay3Off") << "cmdRelay3Off" << "Are you sure you want to de-energize Relay #3?";
    QTest::newRow("cmdRelay4ON") << "cmdRelay4ON" << "Are you sure you want to energize Relay #4?";
}

void TestMonitorWindows::commandQuestions()
{
    QFETCH(QString, button);
    QFETCH(QString, question);
    FrmKXgroup window;
    auto* control = window.findChild<QPushButton*>(button);
    QVERIFY(control);
    control->click();
    // One Yes/No question; No: nothing is written, so no register access prompt follows.
    const auto& asked = DialogService::instance().messages();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().text, question);
    QCOMPARE(asked.first().buttons, DialogButtons::YesNo);
    QCOMPARE(asked.first().answer, DialogAnswer::No);
}

void TestMonitorWindows::sliderAsksOnceAtTheEndOfADrag()
{
    FrmKXgroup window;
    window.show();
    QSlider* slider = window.positionslider();
    QCOMPARE(window.lblSetPoint()->text(), QStringLiteral("Set-point: not read yet"));
    QString shownWhileAsked;
    int positionWhileAsked = -1;
    DialogService::instance().responder = [&](const MessageRecord& m) {
        shownWhileAsked = window.lblSetPoint()->text();
        positionWhileAsked = slider->value();
        return answerNo(m);
    };
    slider->setSliderDown(true);
    for (int step = 1; step <= 40; ++step) slider->setSliderPosition(step);
    QVERIFY(DialogService::instance().messages().isEmpty());  // nothing while dragging
    QCOMPARE(window.lblSetPoint()->text(), QStringLiteral("To send: 40 %"));
    slider->setSliderDown(false);
    QCOMPARE(DialogService::instance().messageTexts(), QStringList({"Do you want to position the valve?  "}));
    QCOMPARE(shownWhileAsked, QStringLiteral("To send: 40 %"));
    QCOMPARE(positionWhileAsked, 40);
    // No: back to the actuator's set-point (none read yet here), and no second question.
    QCOMPARE(slider->value(), 0);
    QCOMPARE(window.lblSetPoint()->text(), QStringLiteral("Set-point: not read yet"));
    QCOMPARE(DialogService::instance().messages().size(), 1);
    window.close();
}

void TestMonitorWindows::noActuatorLeadsBackToTheMainWindow()
{
    FrmKXgroup& window = ShowMonitorWindow();
    const QPointer<FrmKXgroup> guard(&window);
    window.ActivateWindow();
    QTRY_VERIFY(guard.isNull());  // closed and released
    const QString message = QStringLiteral(
        "Could not establish communications with actuator,\r\nYou must be connected to a Corvane actuator to use this facility");
    QVERIFY(DialogService::instance().messageTexts().contains(message));
    QCOMPARE(DialogService::instance().messages().last().text, message);
    QCOMPARE(DialogService::instance().messages().last().buttons, DialogButtons::Ok);
    QVERIFY(!MonitorWindowIfOpen());
}

void TestMonitorWindows::helpMenuOffersThePublications()
{
    FrmKXgroup window;
    DialogService::instance().queueAnswer(DialogAnswer::Cancel);
    for (QAction* action : window.menuBar()->actions())
        if (action->objectName() == QLatin1String("mnuHelp")) action->trigger();
    const auto& asked = DialogService::instance().messages();
    QVERIFY(!asked.isEmpty());
    QCOMPARE(asked.first().title, QStringLiteral("Help CD"));
    QCOMPARE(asked.first().buttons, DialogButtons::OkCancel);
    QVERIFY(!PublicationsWindowIfOpen());  // Cancel opens no publications window
}

void TestMonitorWindows::torqueProfileWindowLayout()
{
    FrmChart window;
    QCOMPARE(window.objectName(), QStringLiteral("frmChart"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Torque Profile:"));
    QChart* chart = window.MSChart1();
    QCOMPARE(chart->title(), QStringLiteral("Torque last cycle"));
    QVERIFY(chart->titleFont().families().contains(QStringLiteral("Bookman Old Style")));
    const auto series = chart->series();
    QCOMPARE(series.size(), 2);
    QCOMPARE(series.at(0)->name(), QStringLiteral("Open Stroke"));
    QCOMPARE(series.at(1)->name(), QStringLiteral("Closed Stroke"));
    QCOMPARE(static_cast<QLineSeries*>(series.at(0))->count(), 11);
    auto* x = qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).value(0));
    auto* y = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
    QVERIFY(x && y);
    QCOMPARE(x->titleText(), QStringLiteral("Valve position % open"));
    QCOMPARE(x->min(), 0.0);
    QCOMPARE(x->max(), 100.0);
    QCOMPARE(x->tickCount(), 11);  // "0", "10" ... "100"
    QCOMPARE(y->titleText(), QStringLiteral("Torque % rated"));
    QCOMPARE(y->max(), 120.0);

    const QStringList texts = childTexts(window);
    for (const char* text : {"Open torque switch set at:                        % rated",
                             "Closed torque switch set at:                      % rated", "Open contactor operations:",
                             "Closed contactor operations:", "Open stroke", "Closed stroke", "Print"})
        QVERIFY2(texts.contains(QString::fromLatin1(text)), text);
    QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("Text1"))->text(), QStringLiteral("Tag name:"));
    for (const char* name : {"TxtTag", "txtDate", "txtOpenTorqueSwitch", "txtClosedTorqueSwitch", "txtOpenOperations",
                             "txtClosedOperations"})
        QVERIFY2(window.findChild<QLineEdit*>(QString::fromLatin1(name)), name);

    // The switch fields sit over the blanks of their captions, inside the caption's width.
    window.resize(window.sizeHint());
    window.show();
    QLineEdit* field = window.txtOpenTorqueSwitch();
    auto* caption = field->parentWidget()->findChild<QLabel*>();
    QVERIFY(field->x() > caption->fontMetrics().horizontalAdvance(QStringLiteral("Open torque switch set at:")));
    QVERIFY(field->geometry().right() <
            caption->fontMetrics().horizontalAdvance(QStringLiteral("Open torque switch set at:                        ")));
    QVERIFY(field->width() >= field->fontMetrics().horizontalAdvance(QStringLiteral("100")));
    window.close();
}

void TestMonitorWindows::printGoesToPdfWhereThereIsNoPrinter()
{
    QTemporaryDir dir;
    FrmChart window;
    window.resize(window.sizeHint());
    window.show();
    DialogService& dialogs = DialogService::instance();
    dialogs.queueAnswer(DialogAnswer::Ok);
    dialogs.queueFileName(dir.filePath("profile"));  // the extension is added
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();

    QCOMPARE(dialogs.messages().size(), 1);
    QCOMPARE(dialogs.messages().first().text, QStringLiteral("Make sure that device Print to PDF is ready"));
    QCOMPARE(dialogs.messages().first().title, QStringLiteral("Confirmation"));
    QCOMPARE(dialogs.messages().first().buttons, DialogButtons::OkCancel);
    const QString pdf = dir.filePath("profile.pdf");
    QVERIFY(QFileInfo(pdf).size() > 10000);  // holds an image, not an empty page

    // The page renders, and holds more than a blank sheet.
    QProcess pdftoppm;
    pdftoppm.start("pdftoppm", {"-png", "-r", "40", "-singlefile", pdf, dir.filePath("page")});
    QVERIFY(pdftoppm.waitForFinished(30000));
    QCOMPARE(pdftoppm.exitCode(), 0);
    const QImage page(dir.filePath("page.png"));
    QVERIFY(!page.isNull());
    QVERIFY(page.width() > page.height());  // landscape, like the window
    int dark = 0;
    for (int y = 0; y < page.height(); y += 2)
        for (int x = 0; x < page.width(); x += 2) dark += qGray(page.pixel(x, y)) < 128;
    QVERIFY2(dark > 100, qPrintable(QString::number(dark)));
    window.close();
}

void TestMonitorWindows::printCancelledOrFailing()
{
    QTemporaryDir dir;
    FrmChart window;
    window.show();
    DialogService& dialogs = DialogService::instance();
    dialogs.queueAnswer(DialogAnswer::Cancel);
    window.Print();
    QCOMPARE(dialogs.messages().size(), 1);
    QVERIFY(dialogs.fileDialogs().isEmpty());  // Cancel: nothing else happens

    // Cancelling the PDF file dialog prints nothing.
    dialogs.reset();
    dialogs.queueAnswer(DialogAnswer::Ok);
    dialogs.queueFileName(QString());
    window.Print();
    QCOMPARE(dialogs.messages().size(), 1);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());

    // A job that cannot be started is reported, and the window stays usable.
    dialogs.reset();
    dialogs.queueAnswer(DialogAnswer::Ok);
    dialogs.queueFileName(dir.filePath("missing-folder/profile.pdf"));
    window.Print();
    QCOMPARE(dialogs.messages().size(), 2);
    QCOMPARE(dialogs.messages().last().text,
             QStringLiteral("An error has occurred.  Make sure your selected printer can print graphics."));
    QCOMPARE(dialogs.messages().last().title, QStringLiteral("Error"));
    QVERIFY(window.isVisible());
    window.close();
}

void TestMonitorWindows::profileSavesCsvAndPng()
{
    QTemporaryDir dir;
    FrmChart window;
    window.resize(window.sizeHint());
    window.show();
    DialogService& dialogs = DialogService::instance();

    dialogs.queueFileName(dir.filePath("profile"));
    window.SaveCsv();
    QFile csv(dir.filePath("profile.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 14);
    QCOMPARE(lines.at(1), QStringLiteral("Time of reading,not read"));
    QCOMPARE(lines.at(3), QStringLiteral("0,0,0"));
    QCOMPARE(lines.at(13), QStringLiteral("100,0,0"));

    // The picture is the chart with its legend: no buttons, no fields.
    dialogs.queueFileName(dir.filePath("profile.png"));
    window.SavePng();
    const QImage image(dir.filePath("profile.png"));
    const QChartView* view = window.findChild<QChartView*>();
    QVERIFY(view);
    QCOMPARE(image.width(), view->width());
    QVERIFY(image.height() > view->height() && image.height() < view->height() + 60);
    QVERIFY(image.height() < window.height() - window.findChild<QPushButton*>("Command1")->height());
    QCOMPARE(image, window.ChartImage());
    if (const QString renderDir = qEnvironmentVariable("BUSLINK_RENDER_DIR"); !renderDir.isEmpty())
        QVERIFY(QDir().mkpath(renderDir) && image.save(renderDir + "/torque-profile-chart-export.png"));

    // A file that cannot be written is reported; cancelling writes nothing.
    dialogs.queueFileName(dir.filePath("missing-folder/profile.csv"));
    window.SaveCsv();
    QCOMPARE(dialogs.messages().size(), 1);
    QVERIFY(dialogs.messages().first().text.startsWith(QStringLiteral("The file could not be saved:")));
    dialogs.queueFileName(QString());
    window.SavePng();
    QCOMPARE(dialogs.messages().size(), 1);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    render(window, QStringLiteral("torque-profile-window-offline.png"));
    window.close();
}

QTEST_MAIN(TestMonitorWindows)
#include "test_monitor_windows.moc"
