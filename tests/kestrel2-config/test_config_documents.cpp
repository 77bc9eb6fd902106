// Configuration documents on disk: the working document, the first record,
// what counts as a document, copies that never leave a broken file, the save
// name rule, and the printed report.
#include "config/ConfigurationDocument.h"
#include "config/ConfigurationReport.h"
#include "config/ParameterMap.h"

#include <QDir>
#include <QPrinter>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace kestrel2;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Runs SQL on a file with a connection of its own.
bool runSql(const QString& path, const QStringList& statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "test-sql");
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        for (const QString& s : statements) ok = ok && q.exec(s);
        db.close();
    }
    QSqlDatabase::removeDatabase("test-sql");
    return ok;
}

ConfigurationRecord sampleRecord()
{
    ConfigurationRecord r;
    for (const DocumentField& f : DocumentFields()) r.insert(f.field, QString());
    r["Tag name"] = "VALVE-7 EAST";
    r["Modbus address"] = "17";
    r["Minimum position"] = "5";
    r["Maximum position"] = "95";
    r["Deadband"] = "2.5";
    r["MIT"] = "10";
    r["Aux input mask"] = "129";
    r["Comms loss position"] = "50";
    r["Hysteresis"] = "1.5";
    r["Slow mode range"] = "12";
    r["Valve jammed time"] = "30";
    r["Manual movement travel"] = "8";
    r["Watchdog timeout"] = "20";
    r["Analog input max"] = "1000";
    r["Comms fault timer"] = "15";
    r["DI4 action"] = "Network Control";
    r["Comms loss action"] = "Goto Position";
    r["Baud rate"] = "19200";
    r["Parity stop"] = "Odd Parity, 1 stop";
    r["Database format"] = "MK 2";
    r["Site"] = "Harbour pumping station, O'Neill's \"quay\"";
    r["Service Engineer"] = QString::fromUtf8("J\xc3\xbcrgen Smith");
    r["Date"] = "Monday,  February   23,    2004        04:56 PM";
    return r;
}

// True when another process holds a lock on the file (flock).
bool isLockedElsewhere(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0) return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}
} // namespace

class TestConfigDocuments : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void workingDocumentIsCreatedInTheDataFolder();
    void firstRecordRoundTrip();
    void writeTouchesOnlyTheFirstRecord();
    void writeIntoAnEmptyTableInserts();
    void checkDocument_data();
    void checkDocument();
    void copyReplacesTheTargetWhole();
    void copyRefusesABadSourceAndKeepsTheTarget_data();
    void copyRefusesABadSourceAndKeepsTheTarget();
    void copyThatCannotBeRenamedKeepsTheTarget();
    void leftoversOfOurSavesGoWithTheNextCopy();
    void saveOnAFullDiskNamesTheCause();
    void saveTargetName_data();
    void saveTargetName();
    void reportToPdf_data();
    void reportToPdf();
    void reportToUnwritableFileFails();
    void reportRendering();

private:
    QString makeDocument(const QString& name, const ConfigurationRecord& record);
    QTemporaryDir dataHome;
    QTemporaryDir work;
};

void TestConfigDocuments::initTestCase()
{
    QVERIFY(dataHome.isValid() && work.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    QCoreApplication::setApplicationName("kestrel2");
}

QString TestConfigDocuments::makeDocument(const QString& name, const ConfigurationRecord& record)
{
    const QString path = work.filePath(name);
    [&] {
        QVERIFY(CreateEmptyDocument(path));
        QVERIFY(WriteFirstRecord(path, record));
    }();
    return path;
}

void TestConfigDocuments::workingDocumentIsCreatedInTheDataFolder()
{
    const QString path = WorkingDocumentPath();
    QCOMPARE(path, dataHome.path() + "/kestrel2/actconfig.avc");
    QFile::remove(path);
    QString error;
    QVERIFY2(EnsureWorkingDocument(&error), qPrintable(error));
    QCOMPARE(CheckDocument(path), QString());
    ConfigurationRecord record;
    QVERIFY(ReadFirstRecord(path, record));
    QCOMPARE(record.size(), 23);
    for (const QString& value : record) QVERIFY(value.isEmpty());

    // The table has exactly the document's fields, in order.
    QStringList columns;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "schema");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q("PRAGMA table_info(mastertable)", db);
        while (q.next()) columns << q.value(1).toString();
    }
    QSqlDatabase::removeDatabase("schema");
    QStringList expected;
    for (const DocumentField& f : DocumentFields()) expected << f.field;
    QCOMPARE(columns, expected);
    QCOMPARE(expected.first(), QStringLiteral("Tag name"));
    QVERIFY(expected.contains("Service Engineer") && expected.contains("Comms fault timer"));

    // An existing working document is kept as it is.
    ConfigurationRecord edited = record;
    edited["Site"] = "kept";
    QVERIFY(WriteFirstRecord(path, edited));
    QVERIFY(EnsureWorkingDocument());
    QVERIFY(ReadFirstRecord(path, record));
    QCOMPARE(record.value("Site"), QStringLiteral("kept"));
    QCOMPARE(filesIn(dataHome.path() + "/kestrel2"), QStringList{"actconfig.avc"});
}

void TestConfigDocuments::firstRecordRoundTrip()
{
    const ConfigurationRecord record = sampleRecord();
    const QString path = makeDocument("roundtrip.avc", record);
    ConfigurationRecord back;
    QVERIFY(ReadFirstRecord(path, back));
    QCOMPARE(back, record);
}

void TestConfigDocuments::writeTouchesOnlyTheFirstRecord()
{
    const QString path = makeDocument("two.avc", sampleRecord());
    QVERIFY(runSql(path, {"INSERT INTO mastertable (\"Site\") VALUES ('second')"}));
    ConfigurationRecord record = sampleRecord();
    record["Site"] = "first, edited";
    QVERIFY(WriteFirstRecord(path, record));
    ConfigurationRecord back;
    QVERIFY(ReadFirstRecord(path, back));
    QCOMPARE(back.value("Site"), QStringLiteral("first, edited"));
    QStringList sites;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "sites");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q("SELECT \"Site\" FROM mastertable ORDER BY rowid", db);
        while (q.next()) sites << q.value(0).toString();
    }
    QSqlDatabase::removeDatabase("sites");
    QCOMPARE(sites, (QStringList{"first, edited", "second"}));
}

void TestConfigDocuments::writeIntoAnEmptyTableInserts()
{
    const QString path = makeDocument("emptied.avc", sampleRecord());
    QVERIFY(runSql(path, {"DELETE FROM mastertable"}));
    ConfigurationRecord back;
    QVERIFY(ReadFirstRecord(path, back));  // an empty table reads as an empty record
    QVERIFY(back.value("Site").isEmpty());
    QVERIFY(WriteFirstRecord(path, sampleRecord()));
    QVERIFY(ReadFirstRecord(path, back));
    QCOMPARE(back, sampleRecord());
    // A missing file is an error, not a new empty database.
    QVERIFY(!WriteFirstRecord(work.filePath("missing.avc"), sampleRecord()));
    QVERIFY(!QFile::exists(work.filePath("missing.avc")));
}

void TestConfigDocuments::checkDocument_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");  // a part of the reason; empty: a valid document
    const QString valid = makeDocument("valid.avc", sampleRecord());
    QTest::newRow("valid") << valid << "";

    const QString garbage = work.filePath("garbage.avc");
    writeBytes(garbage, QByteArray("this is not a database at all, just some text\n").repeated(50));
    QTest::newRow("garbage") << garbage << "not a configuration database";

    const QString empty = work.filePath("empty.avc");
    writeBytes(empty, QByteArray());
    QTest::newRow("zero bytes") << empty << "no table mastertable";

    const QString otherTable = work.filePath("other.avc");
    runSql(otherTable, {"CREATE TABLE something (a TEXT)", "INSERT INTO something VALUES ('x')"});
    QTest::newRow("SQLite without mastertable") << otherTable << "no table mastertable";

    const QString noRecord = work.filePath("norecord.avc");
    QFile::copy(valid, noRecord);
    runSql(noRecord, {"DELETE FROM mastertable"});
    QTest::newRow("empty mastertable") << noRecord << "holds no configuration record";

    const QString missingField = work.filePath("nofield.avc");
    runSql(missingField, {"CREATE TABLE mastertable (\"Tag name\" TEXT, \"Site\" TEXT)",
                          "INSERT INTO mastertable VALUES ('a', 'b')"});
    QTest::newRow("mastertable lacks fields") << missingField << "has no field \"Modbus address\"";

    // A document cut short, as a crash in the middle of a plain copy would leave it.
    const QString truncated = work.filePath("truncated.avc");
    {
        const QString big = makeDocument("big.avc", sampleRecord());
        QStringList fill{"BEGIN"};
        for (int i = 0; i < 200; ++i) fill << QString("INSERT INTO mastertable (\"Site\") VALUES ('%1')").arg(QString(500, 'x'));
        fill << "COMMIT";
        runSql(big, fill);
        const QByteArray bytes = readAll(big);
        writeBytes(truncated, bytes.left(bytes.size() / 2));
    }
    QTest::newRow("truncated") << truncated << "damaged";

    QTest::newRow("missing file") << work.filePath("nothere.avc") << "does not exist";
    QTest::newRow("a folder") << work.path() << "cannot be read";
}

void TestConfigDocuments::checkDocument()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    const QString problem = CheckDocument(path);
    if (reason.isEmpty()) QCOMPARE(problem, QString());
    else QVERIFY2(problem.contains(reason), qPrintable(problem));
}

void TestConfigDocuments::copyReplacesTheTargetWhole()
{
    QTemporaryDir folder;
    ConfigurationRecord first = sampleRecord();
    ConfigurationRecord second = sampleRecord();
    second["Site"] = "the replacement";
    const QString source = makeDocument("copy-source.avc", second);
    const QString target = folder.filePath("target.avc");
    QVERIFY(CreateEmptyDocument(target));
    QVERIFY(WriteFirstRecord(target, first));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

    QString error;
    QVERIFY2(CopyDocument(source, target, &error), qPrintable(error));
    QCOMPARE(readAll(target), readAll(source));
    // The replaced document keeps its permissions.
    const QFile::Permissions modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                        QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther |
                                        QFile::ExeOther;
    QCOMPARE(QFile::permissions(target) & modeBits, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    QCOMPARE(filesIn(folder.path()), QStringList{"target.avc"});  // no temporary file left behind

    // A copy onto itself leaves the document as it was.
    const QByteArray before = readAll(target);
    QVERIFY(CopyDocument(target, target, &error));
    QCOMPARE(readAll(target), before);
    QCOMPARE(filesIn(folder.path()), QStringList{"target.avc"});
}

void TestConfigDocuments::copyRefusesABadSourceAndKeepsTheTarget_data()
{
    checkDocument_data();
}

void TestConfigDocuments::copyRefusesABadSourceAndKeepsTheTarget()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    if (reason.isEmpty()) QSKIP("a valid source is copied");
    QTemporaryDir folder;
    const QString target = folder.filePath("keep.avc");
    QVERIFY(CreateEmptyDocument(target));
    QVERIFY(WriteFirstRecord(target, sampleRecord()));
    const QByteArray before = readAll(target);
    QString error;
    QVERIFY(!CopyDocument(path, target, &error));
    QVERIFY2(error.contains("is not a configuration document") && error.contains(reason), qPrintable(error));
    QCOMPARE(readAll(target), before);
    QCOMPARE(filesIn(folder.path()), QStringList{"keep.avc"});
}

void TestConfigDocuments::copyThatCannotBeRenamedKeepsTheTarget()
{
    QTemporaryDir folder;
    const QString source = makeDocument("rename-source.avc", sampleRecord());
    // A folder in the target's place cannot be replaced by a file.
    const QString target = folder.filePath("occupied.avc");
    QVERIFY(QDir().mkpath(target + "/inside"));
    QString error;
    QVERIFY(!CopyDocument(source, target, &error));
    QVERIFY2(error.contains("Cannot replace"), qPrintable(error));
    QVERIFY(QFileInfo(target + "/inside").isDir());
    QCOMPARE(filesIn(folder.path()), QStringList());
    // A target folder that does not exist.
    QVERIFY(!CopyDocument(source, folder.filePath("no/such/folder/x.avc"), &error));
    QVERIFY2(error.contains("Cannot write in the folder"), qPrintable(error));
}

void TestConfigDocuments::leftoversOfOurSavesGoWithTheNextCopy()
{
    QTemporaryDir folder;
    const QString source = makeDocument("leftover-source.avc", sampleRecord());
    const QByteArray whole = readAll(source);
    // What saves killed half-way leave: hidden copies, named as only this tool names them.
    writeBytes(folder.filePath(".report1.avc.kestrel2-save-Ab3dE9"), whole);
    writeBytes(folder.filePath(".other.avc.kestrel2-save-Zz9Yy8"), whole.left(100));
    // Not ours: another program's temporary of the usual form, near misses of ours, a folder.
    const QStringList foreign{".report1.avc.Ab3dE9", "report1.avc.kestrel2-save-Ab3dE9",
                              ".report1.avc.kestrel2-save-Ab3", ".notes.kestrel2-save-Ab3dE9x"};
    for (const QString& name : foreign) writeBytes(folder.filePath(name), "not ours");
    QVERIFY(QDir(folder.path()).mkdir(".dir.avc.kestrel2-save-Qq1Ww2"));
    // One that a save in another process is writing right now: it holds the lock.
    const QString live = folder.filePath(".busy.avc.kestrel2-save-Lv1Lv2");
    writeBytes(live, "being written");
    // One process that holds the lock for as long as it lives.
    QProcess writer;
    writer.start("sh", {"-c", "exec 9<>\"$0\" && flock 9 && exec sleep 30", live});
    QVERIFY(writer.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return isLockedElsewhere(live); }, 5000));

    QString error;
    QVERIFY2(CopyDocument(source, folder.filePath("report1.avc"), &error), qPrintable(error));
    QStringList expected = foreign + QStringList{".busy.avc.kestrel2-save-Lv1Lv2", "report1.avc"};
    expected.sort();
    QStringList left = filesIn(folder.path());
    left.sort();
    QCOMPARE(left, expected);
    QVERIFY(QFileInfo(folder.filePath(".dir.avc.kestrel2-save-Qq1Ww2")).isDir());
    QCOMPARE(readAll(folder.filePath("report1.avc")), whole);

    // Once its writer has gone, the next copy into the folder removes that one too.
    writer.kill();
    QVERIFY(writer.waitForFinished());
    QVERIFY2(CopyDocument(source, folder.filePath("report2.avc"), &error), qPrintable(error));
    QVERIFY(!QFileInfo::exists(live));
    QVERIFY(QFileInfo::exists(folder.filePath(foreign.first())));
}

void TestConfigDocuments::saveOnAFullDiskNamesTheCause()
{
    const QString smallDisk = qEnvironmentVariable("KESTREL2_SMALL_DISK");
    if (smallDisk.isEmpty()) {
        // This test again, in a mount namespace of its own over a 64 KiB file system.
        const QString unshare = QStandardPaths::findExecutable("unshare");
        if (unshare.isEmpty()) QSKIP("unshare is not installed");
        QTemporaryDir mountPoint;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTREL2_SMALL_DISK", mountPoint.path());
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(unshare, {"-rm", "sh", "-c",
                              "mount -t tmpfs -o size=64k kestrel2-full-disk \"$0\" && exec \"$1\" saveOnAFullDiskNamesTheCause",
                              mountPoint.path(), QCoreApplication::applicationFilePath()});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        if (!output.contains("Start testing"))
            QSKIP(qPrintable("no private mount namespace for a small file system here: " + QString::fromLocal8Bit(output)));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
        return;
    }

    // Inside: the old document is saved, then the file system fills up.
    const QString target = smallDisk + "/saved.avc";
    QString error;
    QVERIFY2(CopyDocument(makeDocument("full-disk-old.avc", sampleRecord()), target, &error), qPrintable(error));
    const QByteArray before = readAll(target);
    QFile filler(smallDisk + "/filler");
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(4096, '\0');
    while (filler.write(block) == block.size()) {
    }
    filler.close();

    ConfigurationRecord changed = sampleRecord();
    changed["Site"] = "the site after the change";
    QVERIFY(!CopyDocument(makeDocument("full-disk-new.avc", changed), target, &error));
    QCOMPARE(error, "Cannot write " + target + ": No space left on device");
    // The old document is whole, and nothing is left beside it.
    QCOMPARE(readAll(target), before);
    QStringList left = filesIn(smallDisk);
    left.sort();
    QCOMPARE(left, QStringList({"filler", "saved.avc"}));
}

void TestConfigDocuments::saveTargetName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("target");
    QTest::newRow("no extension") << "/docs/report1" << "/docs/report1.avc";
    QTest::newRow("with extension") << "/docs/report1.avc" << "/docs/report1.avc";
    QTest::newRow("extension in capitals") << "/docs/REPORT1.AVC" << "/docs/REPORT1.AVC.avc";
    QTest::newRow("mixed case extension") << "/docs/r.Avc" << "/docs/r.Avc.avc";
    QTest::newRow("other extension") << "/docs/report1.txt" << "/docs/report1.txt.avc";
    QTest::newRow("extension inside the name") << "/docs/a.avc.bak" << "/docs/a.avc.bak.avc";
    QTest::newRow("just the extension") << "/docs/.avc" << "/docs/.avc";
    QTest::newRow("preset left unchanged") << "*.avc" << "";
    QTest::newRow("preset in a folder") << "/docs/*.avc" << "";
    QTest::newRow("cancelled") << "" << "";
}

void TestConfigDocuments::saveTargetName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, target);
    QCOMPARE(SaveTargetName(chosen), target);
}

void TestConfigDocuments::reportToPdf_data()
{
    QTest::addColumn<int>("pageSize");
    QTest::newRow("A4") << int(QPageSize::A4);
    QTest::newRow("Letter") << int(QPageSize::Letter);
}

void TestConfigDocuments::reportToPdf()
{
    QFETCH(int, pageSize);
    const QString pdf = work.filePath(QString("report-%1.pdf").arg(pageSize));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::PageSizeId(pageSize)));
        printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        QVERIFY(PrintReport(printer, sampleRecord()));
    }
    QProcess info;
    info.start("pdfinfo", {pdf});
    QVERIFY(info.waitForFinished(10000));
    const QString details = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(details.contains(QRegularExpression("Pages:\\s+1\\b")), qPrintable(details));
    QVERIFY2(details.contains(pageSize == QPageSize::A4 ? "(A4)" : "(letter)"), qPrintable(details));

    // Ligatures (the "fi" of "configuration") come out as one character; compare their letters.
    auto pdfText = [&pdf](const QStringList& options) {
        QProcess text;
        text.start("pdftotext", options + QStringList{pdf, "-"});
        text.waitForFinished(10000);
        return QString::fromUtf8(text.readAllStandardOutput()).normalized(QString::NormalizationForm_KC).simplified();
    };
    const QString printed = pdfText({});
    const QString rows = pdfText({"-layout"});
    QStringList expected = {"Site:", "Service Engineer:", "Date configuration downloaded to actuator:",
                            QString::fromUtf8("J\xc3\xbcrgen Smith"), "O'Neill's \"quay\"", "VALVE-7 EAST",
                            "Monday, February 23, 2004 04:56 PM", "129 (binary 10000001)", "Odd Parity, 1 stop"};
    for (const Parameter& p : ParameterMap()) {
        expected << p.caption;
        if (!p.unit.isEmpty()) expected << p.unit;
    }
    for (const QString& e : expected) QVERIFY2(printed.contains(e), qPrintable(e + " missing from: " + printed));
    // Each caption is followed by its own value on its line.
    QVERIFY2(rows.contains("Deadband 40011 2.5 % (0.0-25.5%)"), qPrintable(rows));
    QVERIFY2(rows.contains("Analog maximum value 40021 1000 counts (0-1023)"), qPrintable(rows));
    QVERIFY2(rows.contains("Baud rate 40024 19200 baud"), qPrintable(rows));
    QVERIFY2(rows.contains("Date configuration downloaded to actuator: Monday, February 23, 2004 04:56 PM"),
             qPrintable(rows));
}

void TestConfigDocuments::reportToUnwritableFileFails()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(work.filePath("no/such/folder/report.pdf"));
    QVERIFY(!PrintReport(printer, sampleRecord()));
}

void TestConfigDocuments::reportRendering()
{
    const QImage page = RenderReportPage(sampleRecord(), QPageSize(QPageSize::A4), 100);
    QCOMPARE(page.size(), QPageSize(QPageSize::A4).sizePixels(100));
    // Something is drawn, and nothing in the right margin (the table fits the width).
    const int margin = int(15 / 25.4 * 100);
    bool inked = false;
    for (int y = 0; y < page.height(); y += 2)
        for (int x = 0; x < page.width(); x += 2) {
            const bool dark = qGray(page.pixel(x, y)) < 128;
            inked = inked || dark;
            if (dark && x > page.width() - margin + 2) QFAIL(qPrintable(QString("ink in the right margin at %1,%2").arg(x).arg(y)));
        }
    QVERIFY(inked);
    const QString renderDir = qEnvironmentVariable("BUSLINK_RENDER_DIR");
    if (!renderDir.isEmpty()) {
        QDir().mkpath(renderDir);
        QVERIFY(page.save(renderDir + "/config-report-page1.png"));
    }
}

QTEST_MAIN(TestConfigDocuments)
#include "test_config_documents.moc"
