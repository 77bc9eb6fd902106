// Start-up configuration: the INI file, the database folder it names, and the
// scan route loaded from the scan database.
#include "ScanTestSupport.h"
#include "scan/DatabaseSchema.h"
#include "scan/IniFile.h"
#include "scan/ScanRoute.h"
#include "scan/StartupConfiguration.h"
#include "scan/TagTable.h"
#include "base/ConfigFolder.h"

#include <QtTest>

using namespace buslink;

namespace {
// Unit, start, end, quantity of one loaded entry.
struct Expected {
    int unit;
    QString start;
    QString end;
    int quantity;
};

QString describe(const ScanEntry& e)
{
    return QStringLiteral("%1 %2..%3 q%4 rate%5 group%6 write%7 %8")
        .arg(e.Unit)
        .arg(e.StartReg.toString(), e.EndReg.toString())
        .arg(e.Quantity)
        .arg(e.ScanRate)
        .arg(e.ScanRegGroup)
        .arg(e.Write)
        .arg(e.Active ? "on" : "off");
}

QStringList loadedRoute()
{
    QStringList out;
    for (int i = 1; i <= ScanEntryCount(); ++i) out << describe(ScanRoute()[i]);
    return out;
}
} // namespace

class TestStartupConfig : public QObject {
    Q_OBJECT
private slots:
    void init();
    void iniValue_data();
    void iniValue();
    void iniWriteChangesOnlyItsLine_data();
    void iniWriteChangesOnlyItsLine();
    void databaseFolder_data();
    void databaseFolder();
    void startupWithoutIniOrDatabase();
    void startupReadsTheFolderFromTheIni();
    void startupWithBareFileNames();
    void startupCutsTheFolderAt100Characters();
    void routeLoad_data();
    void routeLoad();
    void failedReloadKeepsThePreviousRoute_data();
    void failedReloadKeepsThePreviousRoute();
    void thousandEntriesLoadAndOneMoreEndsTheLoad();
    void databaseAppearingLaterLoadsButScanStaysOff();
    void schemaOfTheToolsLoads();

private:
    PrivateConfigHome home;
    QTemporaryDir work;
    int dbSerial = 0;
    QString newFolder()
    {
        const QString f = work.path() + QStringLiteral("/db%1/").arg(++dbSerial);
        QDir().mkpath(f);
        return f;
    }
};

void TestStartupConfig::init()
{
    QFile::remove(home.buslinkFolder() + "/RAD.INI");
    ScanEntryCount() = 0;
    NoScanDatabase() = false;
}

void TestStartupConfig::iniValue_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << QByteArray("[DatabasePath]\npDatabasePath=/data/\n") << "/data/";
    QTest::newRow("section and key in other case") << QByteArray("[databasepath]\nPDATABASEPATH = /x/\n") << "/x/";
    QTest::newRow("backslashes as written") << QByteArray("[DatabasePath]\r\npDatabasePath=C:\\Data\\\r\n")
                                            << "C:\\Data\\";
    QTest::newRow("quotes removed") << QByteArray("[DatabasePath]\npDatabasePath=\" /a b/ \"\n") << " /a b/ ";
    QTest::newRow("key in another section") << QByteArray("[Ports]\npDatabasePath=/no/\n[DatabasePath]\n")
                                            << "default";
    QTest::newRow("comment") << QByteArray("[DatabasePath]\n;pDatabasePath=/no/\n") << "default";
    QTest::newRow("empty file") << QByteArray() << "default";
    QTest::newRow("empty value") << QByteArray("[DatabasePath]\npDatabasePath=\n") << "";
}

void TestStartupConfig::iniValue()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, value);
    QCOMPARE(IniValue(ini, "DatabasePath", "pDatabasePath", "default"), value);
}

void TestStartupConfig::iniWriteChangesOnlyItsLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("no file") << QByteArray() << QByteArray("[IOType]\nIODevice=Modbus\n");
    QTest::newRow("other sections and comments stay")
        << QByteArray("; ports of this laptop\n[Ports]\n1=/dev/ttyUSB0\n")
        << QByteArray("; ports of this laptop\n[Ports]\n1=/dev/ttyUSB0\n\n[IOType]\nIODevice=Modbus\n");
    QTest::newRow("value replaced in place")
        << QByteArray("[iotype]\r\niodevice=Profibus\r\n[Ports]\r\n1=/dev/ttyS0\r\n")
        << QByteArray("[iotype]\r\nIODevice=Modbus\r\n[Ports]\r\n1=/dev/ttyS0\r\n");
    QTest::newRow("key added to its section")
        << QByteArray("[IOType]\nOther=1\n\n[Ports]\n1=/dev/ttyS0\n")
        << QByteArray("[IOType]\nOther=1\nIODevice=Modbus\n\n[Ports]\n1=/dev/ttyS0\n");
}

void TestStartupConfig::iniWriteChangesOnlyItsLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QCOMPARE(IniWithValue(before, "IOType", "IODevice", "Modbus"), after);
    // And through the file, which the port map reads with QSettings.
    const QString path = work.path() + "/write.ini";
    QFile::remove(path);
    if (!before.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    QVERIFY(WriteIniString(path, "IOType", "IODevice", "Modbus"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), after);
}

void TestStartupConfig::databaseFolder_data()
{
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing: the configuration folder") << "" << "/cfg/buslink/";
    QTest::newRow("..\\ : bare file names") << "..\\" << "";
    QTest::newRow("../ : bare file names") << "../" << "";
    QTest::newRow("folder with separator") << "/srv/plant/" << "/srv/plant/";
    QTest::newRow("no separator is added") << "/srv/plant" << "/srv/plant";
    QTest::newRow("no trimming") << " ../" << " ../";
}

void TestStartupConfig::databaseFolder()
{
    QFETCH(QString, configured);
    QFETCH(QString, folder);
    QCOMPARE(DatabaseFolderFromSetting(configured, "/cfg/buslink"), folder);
}

void TestStartupConfig::startupWithoutIniOrDatabase()
{
    RunStartupRoutine();
    QCOMPARE(DatabaseFolder(), ConfigFolder() + "/");
    QVERIFY(NoScanDatabase());
    QCOMPARE(ScanEntryCount(), 0);
    QCOMPARE(home.ini(), QByteArray("[IOType]\nIODevice=Modbus\n"));
}

void TestStartupConfig::startupReadsTheFolderFromTheIni()
{
    const QString folder = newFolder();
    QVERIFY(makeScanDatabase(folder + "BLScanIO.mdb", {"'40001', '40010', 1000, 1, 0"}));
    // A folder without its separator names other files: nothing is found.
    home.writeIni("[DatabasePath]\npDatabasePath=" + folder.chopped(1).toUtf8() + "\n");
    RunStartupRoutine();
    QCOMPARE(DatabaseFolder(), folder.chopped(1));
    QVERIFY(NoScanDatabase());
    QCOMPARE(ScanEntryCount(), 0);

    NoScanDatabase() = false;
    home.writeIni("[DatabasePath]\npDatabasePath=" + folder.toUtf8() + "\n");
    RunStartupRoutine();
    QCOMPARE(DatabaseFolder(), folder);
    QVERIFY(!NoScanDatabase());
    QCOMPARE(loadedRoute(), QStringList{"-1 40001..40010 q10 rate1000 group1 write0 on"});
    QVERIFY(home.ini().contains("[IOType]\nIODevice=Modbus\n"));
    QVERIFY(home.ini().startsWith("[DatabasePath]\npDatabasePath="));
}

void TestStartupConfig::startupWithBareFileNames()
{
    const QString folder = newFolder();
    QVERIFY(makeScanDatabase(folder + "BLScanIO.mdb", {"'40001', '40002', 500, 1, 0"}));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder));
    home.writeIni("[DatabasePath]\npDatabasePath=..\\\n");
    RunStartupRoutine();
    QDir::setCurrent(before);
    QCOMPARE(DatabaseFolder(), QString());
    QCOMPARE(ScanEntryCount(), 1);
}

void TestStartupConfig::startupCutsTheFolderAt100Characters()
{
    const QString longText = QString(100, 'a') + "/tail/";
    home.writeIni("[DatabasePath]\npDatabasePath=" + longText.toUtf8() + "\n");
    RunStartupRoutine();
    QCOMPARE(DatabaseFolder(), QString(100, 'a'));
}

void TestStartupConfig::routeLoad_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("route");
    QTest::newRow("one block")
        << QStringList{"40001, 40010, 1000, 1, 0"} << QStringList{"-1 40001..40010 q10 rate1000 group1 write0 on"};
    QTest::newRow("unit in the start address")
        << QStringList{"'3;40001', 40010, 1000, 1, 0"} << QStringList{"3 40001..40010 q10 rate1000 group1 write0 on"};
    QTest::newRow("a unit in the end address wins")
        << QStringList{"'3;40001', '4;40002', 250, 2, 1"} << QStringList{"4 40001..40002 q2 rate250 group2 write1 on"};
    QTest::newRow("six-digit references and text numbers")
        << QStringList{"'400001', '400100', '300', '7', '1'"}
        << QStringList{"-1 400001..400100 q100 rate300 group7 write1 on"};
    QTest::newRow("unresolvable row between two good rows leaves no gap")
        << QStringList{"1, 8, 500, 1, 0", "';40001', 40002, 500, 1, 0", "'2;30001', 30004, 500, 2, 0"}
        << QStringList{"-1 1..8 q8 rate500 group1 write0 on", "2 30001..30004 q4 rate500 group2 write0 on"};
    QTest::newRow("references that are not numbers are skipped")
        << QStringList{"'3;pump', 'pump', 500, 1, 0", "10001, 10016, 500, 1, 0"}
        << QStringList{"-1 10001..10016 q16 rate500 group1 write0 on"};
    QTest::newRow("empty table") << QStringList{} << QStringList{};
}

void TestStartupConfig::routeLoad()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, route);
    DatabaseFolder() = newFolder();
    QVERIFY(makeScanDatabase(ScanDatabasePath(), rows));
    LoadScanRoute();
    QCOMPARE(loadedRoute(), route);
    QVERIFY(!NoScanDatabase());
}

// Every way a load can fail part-way: the route and count loaded before stay in force,
// and the load says why, naming the row and value where there is one.
void TestStartupConfig::failedReloadKeepsThePreviousRoute_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("problem");
    const QString table = "CREATE TABLE ModScanRte (ID INTEGER PRIMARY KEY, Start_Reg, End_Reg, Scan_Rate, "
                          "ScanRegGroup, ScanQuantity, \"Write\")";
    const QString insert = "INSERT INTO ModScanRte (Start_Reg, End_Reg, Scan_Rate, ScanRegGroup, \"Write\") VALUES ";
    QTest::newRow("null Write") << QStringList{table, insert + "(1, 2, 100, 1, 0)", insert + "(1, 2, 100, 1, NULL)"}
                                << "row 2: Write is empty";
    QTest::newRow("null Scan_Rate") << QStringList{table, insert + "(1, 2, 100, 1, 0)", insert + "(1, 2, NULL, 1, 0)"}
                                    << "row 2: Scan_Rate is empty";
    QTest::newRow("ScanRegGroup beyond 16 bits")
        << QStringList{table, insert + "(1, 2, 100, 1, 0)", insert + "(1, 2, 100, 40000, 0)"}
        << "row 2: ScanRegGroup 40000 is out of range (-32768 to 32767)";
    QTest::newRow("Scan_Rate that is not a number")
        << QStringList{table, insert + "(1, 2, 100, 1, 0)", insert + "(1, 2, 'fast', 1, 0)"}
        << "row 2: Scan_Rate fast is out of range (-32768 to 32767)";
    QTest::newRow("quantity above 32767")
        << QStringList{table, insert + "(1, 2, 100, 1, 0)", insert + "(400001, 465535, 100, 1, 0)"}
        << "row 2: the quantity 400001 to 465535 is out of range (at most 32767)";
    QTest::newRow("no Write column")
        << QStringList{"CREATE TABLE ModScanRte (Start_Reg, End_Reg, Scan_Rate, ScanRegGroup)",
                       "INSERT INTO ModScanRte VALUES (1, 2, 100, 1)"}
        << "row 1: the table ModScanRte has no column Write";
    QTest::newRow("no table") << QStringList{"CREATE TABLE Other (x)"} << "the file has no table ModScanRte";
    QTest::newRow("not a database") << QStringList{} << "the file is not a database";
}

void TestStartupConfig::failedReloadKeepsThePreviousRoute()
{
    QFETCH(QStringList, statements);
    DatabaseFolder() = newFolder();
    QVERIFY(makeScanDatabase(ScanDatabasePath(), {"40001, 40004, 100, 1, 0", "'5;30001', 30002, 200, 2, 0"}));
    LoadScanRoute();
    const QStringList previous = loadedRoute();
    QCOMPARE(previous.size(), 2);

    QFETCH(QString, problem);
    DatabaseFolder() = newFolder();
    if (statements.isEmpty()) {
        QFile junk(ScanDatabasePath());
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
    } else {
        QVERIFY(runSql(ScanDatabasePath(), statements));
    }
    LoadScanRoute();
    QCOMPARE(loadedRoute(), previous);
    QCOMPARE(ScanRouteLoadProblem(), ScanDatabasePath() + ": " + problem);
}

void TestStartupConfig::thousandEntriesLoadAndOneMoreEndsTheLoad()
{
    QStringList rows;
    for (int i = 0; i < 1000; ++i) rows << QStringLiteral("%1, %1, 500, 1, 0").arg(40001 + i);
    DatabaseFolder() = newFolder();
    QVERIFY(makeScanDatabase(ScanDatabasePath(), rows));
    LoadScanRoute();
    QCOMPARE(ScanEntryCount(), 1000);
    QCOMPARE(ScanRoute()[1000].StartReg.toInt(), 41000);

    ScanEntryCount() = 0;
    rows << "42000, 42000, 500, 1, 0";
    DatabaseFolder() = newFolder();
    QVERIFY(makeScanDatabase(ScanDatabasePath(), rows));
    LoadScanRoute();
    QCOMPARE(ScanEntryCount(), 0);
}

void TestStartupConfig::databaseAppearingLaterLoadsButScanStaysOff()
{
    DatabaseFolder() = newFolder();
    LoadScanRoute();
    QVERIFY(NoScanDatabase());
    QVERIFY(makeScanDatabase(ScanDatabasePath(), {"40001, 40002, 500, 1, 0"}));
    LoadScanRoute();
    QCOMPARE(ScanEntryCount(), 1);
    QVERIFY(NoScanDatabase());
}

// The databases that buslink-cli init-db creates load, and keep text out of number columns.
void TestStartupConfig::schemaOfTheToolsLoads()
{
    DatabaseFolder() = newFolder();
    QString error;
    QVERIFY2(CreateScanDatabase(ScanDatabasePath(), &error), qPrintable(error));
    QVERIFY(!CreateScanDatabase(ScanDatabasePath(), &error));  // never overwrites
    QVERIFY2(CreateTagDatabase(DatabaseFolder() + "BLontrol.mdb", &error), qPrintable(error));
    QVERIFY(AddScanRouteRows(ScanDatabasePath(), {{"40001", "40010", 1000, 1}, {"2;30001", "30002", 500, 2}}));
    QVERIFY(!AddScanRouteRows(ScanDatabasePath(), {{"40001", "40010", "fast", 1}}, &error));
    QVERIFY(!error.isEmpty());
    LoadScanRoute();
    QCOMPARE(loadedRoute(), (QStringList{"-1 40001..40010 q10 rate1000 group1 write0 on",
                                         "2 30001..30002 q2 rate500 group2 write0 on"}));
}

QTEST_GUILESS_MAIN(TestStartupConfig)
#include "test_startup_config.moc"
