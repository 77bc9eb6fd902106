// The component's windows, headless: the scan route editor over a real scan
// database, the property page and the about box; each is also rendered to a
// PNG for a look at its layout.
#include "ErrorNumber.h"
#include "RenderWindow.h"
#include "ScanTestSupport.h"
#include "pages/PropertyPage1.h"
#include "pages/dlgAbout.h"
#include "scan/DatabaseSchema.h"
#include "scan/ScanRoute.h"
#include "scan/StartupConfiguration.h"
#include "scan/TagTable.h"
#include "pages/frmScanRte.h"
#include "shell/Buslink.h"
#include "base/BuslinkError.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>
#include <QtTest>

using namespace buslink;

namespace {

int column(frmScanRte* editor, const char* name)
{
    return editor->model()->record().indexOf(QLatin1String(name));
}

QString cell(frmScanRte* editor, int row, const char* name)
{
    return editor->model()->index(row, column(editor, name)).data().toString();
}

// What the user types into the new row's cells.
void typeRow(frmScanRte* editor, int row, const QStringList& values)
{
    const char* names[] = {"Start_reg", "End_reg", "Scan_rate", "ScanRegGroup"};
    for (int i = 0; i < values.size(); ++i)
        QVERIFY(editor->model()->setData(editor->model()->index(row, column(editor, names[i])), values[i]));
}

int editorWindows()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<frmScanRte*>(w) && w->isVisible()) ++n;
    return n;
}

void closeEditor()
{
    if (frmScanRte* e = frmScanRte::Current()) e->cmdClose_Click();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!frmScanRte::Current());
}

} // namespace

class TestScanWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void editorOpensOnceWithTheRoute();
    void addedRowIsPolledAfterClosing();
    void deletingTheFirstRowShowsTheOther();
    void refreshShowsTheStoredTable();
    void refusedValueIsShown();
    void missingDatabaseIsShown();
    void resizingBelowTheButtonsIsHarmless();
    void propertyPageShowsAndAppliesTheFirstInstance();
    void propertyPageStopsAtTheFirstRefusal();
    void aboutBoxIsModalAndBuiltAfresh();
    void renderWindows();

private:
    void makeDatabase(const QList<ScanRouteRow>& rows);
    PrivateConfigHome home;
    QTemporaryDir work;
    QStringList messages;
    int serial = 0;
};

void TestScanWindows::initTestCase()
{
    EnsureStartupRoutineRan();
    frmScanRte::setMessageHook([this](QWidget*, const QString& text) { messages << text; });
}

void TestScanWindows::init()
{
    messages.clear();
    DatabaseFolder() = work.path() + QStringLiteral("/db%1/").arg(++serial);
    QDir().mkpath(DatabaseFolder());
}

void TestScanWindows::cleanup()
{
    closeEditor();
}

void TestScanWindows::makeDatabase(const QList<ScanRouteRow>& rows)
{
    QString error;
    QVERIFY2(CreateScanDatabase(ScanDatabasePath(), &error), qPrintable(error));
    QVERIFY2(AddScanRouteRows(ScanDatabasePath(), rows, &error), qPrintable(error));
}

void TestScanWindows::editorOpensOnceWithTheRoute()
{
    makeDatabase({{"40001", "40010", 1000, 1}, {"3;30001", "30004", 500, 2}});
    Buslink b;
    b.EditScanDatabase();  // returns at once, the window stays open
    frmScanRte* editor = frmScanRte::Current();
    QVERIFY(editor && editor->isVisible());
    QCOMPARE(editor->windowTitle(), QString("ScanRte"));
    b.EditScanDatabase();
    QCOMPARE(frmScanRte::Current(), editor);
    QCOMPARE(editorWindows(), 1);

    QStringList shown;
    QHeaderView* header = editor->grid()->horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!editor->grid()->isColumnHidden(logical))
            shown << editor->model()->headerData(logical, Qt::Horizontal).toString();
    }
    QCOMPARE(shown, (QStringList{"Start_reg", "End_reg", "Scan_rate", "ScanRegGroup"}));
    QCOMPARE(editor->model()->rowCount(), 2);
    QCOMPARE(editor->recordCaption(), QString("Record: 1"));
    QStringList buttons;
    for (const char* name : {"cmdAdd", "cmdDelete", "cmdRefresh", "cmdUpdate", "cmdClose"})
        buttons << editor->findChild<QPushButton*>(name)->text();
    QCOMPARE(buttons, (QStringList{"&Add", "&Delete", "&Refresh", "&Update", "&Close"}));
    QVERIFY(messages.isEmpty());
}

void TestScanWindows::addedRowIsPolledAfterClosing()
{
    makeDatabase({{"40001", "40010", 500, 1}});
    LoadScanRoute();
    QCOMPARE(ScanEntryCount(), 1);
    frmScanRte* editor = frmScanRte::Open();
    editor->cmdAdd_Click();
    QCOMPARE(editor->currentRow(), 1);
    QCOMPARE(editor->recordCaption(), QString("Record: 2"));
    typeRow(editor, 1, {"40001", "40010", "1000", "1"});
    editor->cmdUpdate_Click();
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
    QCOMPARE(editor->currentRow(), 1);
    QCOMPARE(ScanEntryCount(), 1);  // the running scan keeps its route until the editor closes
    closeEditor();
    QCOMPARE(ScanEntryCount(), 2);
    QCOMPARE(ScanRoute()[2].ScanRate, qint16(1000));
    QCOMPARE(ScanRoute()[2].Quantity, qint16(10));
    QCOMPARE(ScanRoute()[2].Write, qint16(0));  // given by the database
}

void TestScanWindows::deletingTheFirstRowShowsTheOther()
{
    makeDatabase({{"40001", "40002", 500, 1}, {"40101", "40102", 500, 1}});
    frmScanRte* editor = frmScanRte::Open();
    QCOMPARE(editor->currentRow(), 0);
    editor->cmdDelete_Click();
    QCOMPARE(editor->model()->rowCount(), 1);
    QCOMPARE(editor->currentRow(), 0);
    QCOMPARE(cell(editor, 0, "Start_reg"), QString("40101"));
    QCOMPARE(editor->recordCaption(), QString("Record: 1"));
    // Deleting the last row moves to the row before; with no rows left the presses do nothing.
    editor->cmdDelete_Click();
    editor->cmdDelete_Click();
    QCOMPARE(editor->model()->rowCount(), 0);
    QVERIFY(messages.isEmpty());
    closeEditor();
    QCOMPARE(ScanEntryCount(), 0);
}

void TestScanWindows::refreshShowsTheStoredTable()
{
    makeDatabase({{"40001", "40002", 500, 1}});
    frmScanRte* editor = frmScanRte::Open();
    QVERIFY(AddScanRouteRows(ScanDatabasePath(), {{"40201", "40202", 250, 3}}));
    QCOMPARE(editor->model()->rowCount(), 1);
    editor->cmdRefresh_Click();
    QCOMPARE(editor->model()->rowCount(), 2);
    QCOMPARE(cell(editor, 1, "ScanRegGroup"), QString("3"));
}

void TestScanWindows::refusedValueIsShown()
{
    makeDatabase({{"40001", "40002", 500, 1}});
    frmScanRte* editor = frmScanRte::Open();
    typeRow(editor, 0, {"40001", "40002", "fast"});
    editor->cmdUpdate_Click();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith("Data error event hit err:") && messages[0].size() > 25, qPrintable(messages[0]));
    editor->model()->revertAll();
    editor->cmdRefresh_Click();
    QCOMPARE(cell(editor, 0, "Scan_rate"), QString("500"));
    // Deleting a row whose edits are refused tells the user once, and keeps the row.
    messages.clear();
    typeRow(editor, 0, {"40001", "40002", "fast"});
    editor->cmdDelete_Click();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(editor->model()->rowCount(), 1);
}

void TestScanWindows::missingDatabaseIsShown()
{
    frmScanRte* editor = frmScanRte::Open();
    QVERIFY(editor && editor->isVisible());
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].startsWith("Data error event hit err:"));
    QVERIFY(messages[0].contains("BLScanIO.mdb"));
    QVERIFY(!QFile::exists(ScanDatabasePath()));  // not created by looking
    editor->cmdAdd_Click();
    editor->cmdDelete_Click();
    editor->cmdRefresh_Click();
    editor->cmdUpdate_Click();
    QCOMPARE(messages.size(), 1);
}

void TestScanWindows::resizingBelowTheButtonsIsHarmless()
{
    makeDatabase({{"40001", "40002", 500, 1}});
    frmScanRte* editor = frmScanRte::Open();
    editor->resize(200, 10);
    QApplication::processEvents();
    QVERIFY(editor->grid()->height() >= 0);
    editor->resize(560, 360);
    QApplication::processEvents();
    QVERIFY(editor->grid()->height() > 100);
    QVERIFY(messages.isEmpty());
}

void TestScanWindows::propertyPageShowsAndAppliesTheFirstInstance()
{
    Buslink first, second;
    first.InitProperties();
    second.InitProperties();
    first.setAddress(7);
    first.setCommPort(3);
    PropertyPage1 page;
    QCOMPARE(page.windowTitle(), QString("PropertyPage1"));
    QSignalSpy changed(&page, &PropertyPage1::changedChanged);
    page.SelectionChanged({&first, &second});
    QCOMPARE(page.txtAddress->text(), QString("7"));
    QCOMPARE(page.txtCommPort->text(), QString("3"));
    QCOMPARE(page.txtNumOfReadRetries->text(), QString("2"));
    QCOMPARE(page.txtSettings->text(), first.Settings());
    QCOMPARE(page.txtReplyTimeout->text(), QString("2000"));
    QVERIFY(!page.Changed());

    QTest::keyClicks(page.txtSettings, "x");
    QVERIFY(page.Changed());
    QCOMPARE(changed.count(), 1);
    page.txtNumOfWriteRetries->setText("5");
    page.txtNumOfReadRetries->setText(" 4 ");
    page.txtCommPort->setText("2");
    page.txtAddress->setText("12");
    page.txtSettings->setText("9600,e,8,1");
    page.txtReplyTimeout->setText("750");
    page.ApplyChanges();
    QCOMPARE(first.ReplyTimeout(), 750);
    QCOMPARE(first.NumOfWriteRetries(), qint16(5));
    QCOMPARE(first.NumOfReadRetries(), qint16(4));
    QCOMPARE(first.CommPort(), qint16(2));
    QCOMPARE(first.Address(), 12);
    QCOMPARE(first.Settings(), QString("9600,e,8,1"));
    QCOMPARE(second.Address(), 1);
    QCOMPARE(second.NumOfWriteRetries(), qint16(2));
}

void TestScanWindows::propertyPageStopsAtTheFirstRefusal()
{
    Buslink b;
    b.InitProperties();
    PropertyPage1 page;
    page.SelectionChanged({&b});
    const QString settings = b.Settings();
    page.txtNumOfWriteRetries->setText("6");
    page.txtNumOfReadRetries->setText("7");
    page.txtCommPort->setText("COM1");
    page.txtAddress->setText("9");
    page.txtSettings->setText("19200,n,8,1");
    QCOMPARE(errorNumberOf([&] { page.ApplyChanges(); }), int(ErrTypeMismatch));
    QCOMPARE(b.NumOfWriteRetries(), qint16(6));
    QCOMPARE(b.NumOfReadRetries(), qint16(7));
    QCOMPARE(b.CommPort(), qint16(1));
    QCOMPARE(b.Address(), 1);
    QCOMPARE(b.Settings(), settings);

    page.txtCommPort->setText("1");
    page.txtAddress->setText("70000");  // does not fit the unit's 16 bits
    QCOMPARE(errorNumberOf([&] { page.ApplyChanges(); }), int(ErrOverflow));
    QCOMPARE(b.Settings(), settings);
}

void TestScanWindows::aboutBoxIsModalAndBuiltAfresh()
{
    Buslink b;
    QList<QPointer<QWidget>> seen;
    QStringList captions;
    for (int round = 0; round < 2; ++round) {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<dlgAbout*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen << box;
            captions << box->windowTitle() + " | " + box->lblVersion->text() + " | " + box->Command1->text();
            QTest::mouseClick(box->Command1, Qt::LeftButton);
        });
        b.ShowAboutBox();  // returns when OK has closed the box
        QVERIFY(!QApplication::activeModalWidget());
    }
    QCOMPARE(captions, (QStringList{"About Buslink | Version 1.0.120 | OK", "About Buslink | Version 1.0.120 | OK"}));
    QVERIFY(seen.size() == 2 && !seen[0] && !seen[1]);  // released after each showing
}

void TestScanWindows::renderWindows()
{
    makeDatabase({{"40001", "40010", 1000, 1}, {"3;30001", "30004", 500, 2}, {"00001", "00016", 250, 3}});
    frmScanRte* editor = frmScanRte::Open();
    QApplication::processEvents();
    render(*editor, "scan-route-editor.png");

    Buslink b;
    b.InitProperties();
    PropertyPage1 page;
    page.SelectionChanged({&b});
    page.show();
    QApplication::processEvents();
    render(page, "property-page.png");

    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box);
        render(*box, "about-box.png");
        box->close();
    });
    b.ShowAboutBox();
}

QTEST_MAIN(TestScanWindows)
#include "test_scan_windows.moc"
