// buslink-cli's scan subcommands end to end: init-db makes databases the
// component loads, serve answers a libmodbus master from an image file, scan
// prints what a libmodbus slave's registers bring into the I/O database service,
// and a scan route or tag database that cannot be loaded is refused with the reason.
#include "PeerProcess.h"
#include "ProgramRun.h"
#include "PtyPair.h"
#include "ScanTestSupport.h"
#include "protocol/FrameCodec.h"
#include "scan/ScanRoute.h"
#include "scan/TagTable.h"

#include <QProcess>
#include <QtTest>

namespace {

QString cli() { return PeerProcess::binaryDir() + "/tools/buslink-cli/buslink-cli"; }

using Run = ProgramRun;

Run runCli(const QStringList& args, int timeoutMs = 20000) { return runProgram(cli(), args, timeoutMs); }

// Runs buslink-cli with its own configuration folder (and so its own database folder).
Run runCliWithConfig(const QString& configHome, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    p.setProcessEnvironment(env);
    p.start(cli(), args);
    Run r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(2000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class TestCliScan : public QObject {
    Q_OBJECT
private slots:
    void initDbMakesLoadableDatabases();
    void serveAnswersFromTheImageFile();
    void serveRefusesABadImageLine();
    void scanPrintsTheUpdates();
    void loadProblemsAreNamed_data();
    void loadProblemsAreNamed();

private:
    PrivateConfigHome home;  // the child processes inherit it
    QTemporaryDir work;
};

void TestCliScan::initDbMakesLoadableDatabases()
{
    const QString folder = work.path() + "/sample";
    const Run first = runCli({"init-db", "--folder", folder, "--sample"});
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(first.out.contains("created " + folder + "/BLScanIO.mdb"), qPrintable(first.out));
    const Run again = runCli({"init-db", "--folder", folder});
    QCOMPARE(again.exitCode, 0);
    QVERIFY(again.out.contains("exists, left as it is"));

    buslink::DatabaseFolder() = folder + "/";
    buslink::LoadScanRoute();
    QCOMPARE(buslink::ScanEntryCount(), 3);
    QCOMPARE(buslink::ScanRoute()[2].Unit, qint16(2));

    // Without --folder the databases go where the component looks: its configuration folder.
    QCOMPARE(runCli({"init-db"}).exitCode, 0);
    QVERIFY(QFile::exists(home.buslinkFolder() + "/BLScanIO.mdb"));
    QVERIFY(QFile::exists(home.buslinkFolder() + "/BLontrol.mdb"));
}

void TestCliScan::serveAnswersFromTheImageFile()
{
    SocatPair line;
    QVERIFY(line.isValid());
    const QString image = work.path() + "/image.txt";
    QFile f(image);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("# holding and input registers, as `read` prints them\n40001 1234\n400002 5\n\n30003 77\n");
    f.close();
    PeerProcess serve;
    QVERIFY2(serve.start(cli(), {"serve", "--port", line.endA(), "--settings", "9600,n,8,1", "--unit", "3", "--image",
                                 image, "--requests", "3"},
                         "serving unit 3"),
             qPrintable(serve.errorText()));
    QProcess master;
    master.start(PeerProcess::binaryDir() + "/tests/scan/scan_modbus_master",
                 {"--device", line.endB(), "--unit", "3", "read-holding", "0", "2", "read-input-registers", "2", "1",
                  "write-register", "5", "9"});
    QVERIFY(master.waitForFinished(20000));
    QCOMPARE(QString::fromLocal8Bit(master.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
             (QStringList{"read-holding 0 2 OK 1234 5", "read-input-registers 2 1 OK 77", "write-register 5 9 OK",
                          "DONE"}));
    QVERIFY(serve.process().waitForFinished(5000));  // stops after the three requests
    const QStringList lines = QString::fromLocal8Bit(serve.output()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    const auto hex = [](const char* body) {
        return QString::fromLatin1(buslink::AppendCRC(QByteArray::fromHex(body)).toHex(' ').toUpper());
    };
    QCOMPARE(lines[1], "function 3 quantity 2: " + hex("030300000002") + " -> " + hex("03030404D20005"));
    QVERIFY(lines[3].startsWith("function 6 quantity 2: 03 06 00 05 00 09"));
}

void TestCliScan::serveRefusesABadImageLine()
{
    PtyPair pty;
    const QString image = work.path() + "/bad.txt";
    QFile f(image);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("40001 1\n40002 many\n");
    f.close();
    const Run r = runCli({"serve", "--port", pty.devicePath(), "--image", image});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("bad.txt:2: expected REFERENCE VALUE"), qPrintable(r.err));
}

void TestCliScan::scanPrintsTheUpdates()
{
    SocatPair line;
    QVERIFY(line.isValid());
    const QString folder = work.path() + "/route";
    QDir().mkpath(folder);
    QVERIFY(makeScanDatabase(folder + "/BLScanIO.mdb", {"'4;40001', 40003, 100, 1, 0"}));
    PeerProcess slave;
    QVERIFY2(slave.start(PeerProcess::binaryDir() + "/tests/scan/scan_modbus_slave",
                         {"--device", line.endB(), "--unit", "4", "--holding", "0=7", "--holding", "2=9"}),
             qPrintable(slave.errorText()));
    const Run r = runCli({"--port", line.endA(), "--settings", "9600,n,8,1", "scan", "--folder", folder, "--interval",
                          "50", "--updates", "2"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), (QStringList{"4;40001 7 0 9", "4;40001 7 0 9"}));

    const Run none = runCli({"--port", line.endA(), "scan", "--folder", work.path() + "/nowhere"});
    QCOMPARE(none.exitCode, 1);
    QVERIFY(none.err.contains("no scan database"));
}

void TestCliScan::loadProblemsAreNamed_data()
{
    QTest::addColumn<QString>("file");      // BLScanIO.mdb or BLontrol.mdb, in a database folder of its own
    QTest::addColumn<QStringList>("rows");  // rows of a scan route; empty: the file holds `text`
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");    // the one line on standard error; <db> is the file's path
    QTest::newRow("scan database that is no database")
        << "BLScanIO.mdb" << QStringList{} << QByteArray("ID;Start_Reg;End_Reg\n1;40001;40010\n") << QStringList{"scan"} << 1
        << "the scan route cannot be loaded: <db>: the file is not a database";
    QTest::newRow("scan rate out of range")
        << "BLScanIO.mdb" << QStringList{"'40001', 40003, 100, 1, 0", "'40011', 40012, 99999, 1, 0"} << QByteArray()
        << QStringList{"scan"} << 1 << "the scan route cannot be loaded: <db>: row 2: Scan_Rate 99999 is out of range (-32768 to 32767)";
    QTest::newRow("scan database without the table")
        << "BLScanIO.mdb" << QStringList{} << QByteArray() << QStringList{"scan"} << 1
        << "the scan route cannot be loaded: <db>: the file has no table ModScanRte";
    QTest::newRow("scan row skipped, the rest scanned")
        << "BLScanIO.mdb" << QStringList{"'Pump', 'Pump', 100, 1, 0", "'40001', 40003, 100, 1, 0"} << QByteArray()
        << QStringList{"scan"} << 0 << "<db>: row 1 skipped, addresses that do not resolve to reference numbers";
    QTest::newRow("tag database that is no database")
        << "BLontrol.mdb" << QStringList{} << QByteArray("NAME,REG,REGAB\nPump1Speed,1,40001\n") << QStringList{"read", "Pump1Speed"} << 2
        << "address not resolved: \"Pump1Speed\" (tag database <db>: the file is not a database)";
}

void TestCliScan::loadProblemsAreNamed()
{
    QFETCH(QString, file);
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    QTemporaryDir config;
    const QString db = config.path() + "/buslink/" + file;
    QVERIFY(QDir().mkpath(config.path() + "/buslink"));
    if (!rows.isEmpty()) QVERIFY(makeScanDatabase(db, rows));
    else if (!text.isEmpty()) QVERIFY(writeFile(db, text));
    else QVERIFY(runSql(db, {"CREATE TABLE Other (ID INTEGER)"}));
    PtyPair pty;  // a line, though nothing should be sent on it
    QStringList line = args + QStringList{"--port", pty.devicePath()};
    if (args.first() == "scan") line << "--interval" << "50" << "--seconds" << "1";  // where the route loads
    const Run r = runCliWithConfig(config.path(), line);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err, "buslink-cli: " + QString(reason).replace("<db>", db) + "\n");
    if (exitCode != 0) QCOMPARE(pty.read(0, 50), QByteArray());  // refused before anything was sent
    else QVERIFY(pty.read(8, 2000).startsWith(QByteArray::fromHex("01030000")));  // the rest of the route polled
}

QTEST_GUILESS_MAIN(TestCliScan)
#include "test_cli_scan.moc"
