// Address forms (reference numbers, unit texts, tag names) and the tag table
// they are looked up in, loaded from an SQLite tag database made here.
#include "scan/AddressResolution.h"
#include "protocol/AddressParsing.h"
#include "scan/DatabaseSchema.h"
#include "scan/TagTable.h"
#include "shell/Buslink.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace buslink;

namespace {

struct TagRow {
    QVariant name, reg, regab, scale, offset, dataType;
};

// Writes BLontrol.mdb with table TagData into `folder`; `columns` lets a test leave one out.
bool writeTagDatabase(const QString& folder, const QList<TagRow>& rows,
                      const QStringList& columns = {"NAME", "REG", "REGAB", "Scale", "Offset", "DataType"})
{
    const QString path = folder + "/BLontrol.mdb";
    QFile::remove(path);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "make-tags");
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            QStringList defs;
            for (const QString& c : columns) defs << c + (c == "Scale" || c == "Offset" ? " REAL" : "");
            ok = q.exec(QString("CREATE TABLE TagData (ID INTEGER PRIMARY KEY, %1)").arg(defs.join(", ")));
            db.transaction();
            for (const TagRow& r : rows) {
                QStringList marks;
                for (int i = 0; i < columns.size(); ++i) marks << "?";
                q.prepare(QString("INSERT INTO TagData (%1) VALUES (%2)").arg(columns.join(", "), marks.join(", ")));
                for (const QString& c : columns) {
                    const QVariant v = c == "NAME" ? r.name : c == "REG" ? r.reg : c == "REGAB" ? r.regab
                                       : c == "Scale" ? r.scale : c == "Offset" ? r.offset : r.dataType;
                    q.addBindValue(v);
                }
                ok = q.exec() && ok;
            }
            db.commit();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase("make-tags");
    return ok;
}

const QVariant null = QVariant(QMetaType::fromType<QString>());

} // namespace

class TestAddressResolution : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void noTagDatabaseFindsNothing();
    void resolution_data();
    void resolution();
    void parseKeepsFieldsItDoesNotReach();
    void tagLookupsIgnoreCaseAndKeepFirst();
    void tagNameFromNumberOrText();
    void dataTypeCodes_data();
    void dataTypeCodes();
    void missingColumnSkipsOnlyThatMember();
    void atMost2000Tags();
    void unreadableFileLeavesTableAlone();

private:
    void loadTags(const QList<TagRow>& rows);
    QTemporaryDir dir;
    std::unique_ptr<Buslink> component;
};

void TestAddressResolution::initTestCase()
{
    QVERIFY(dir.isValid());
    component = std::make_unique<Buslink>();  // the library's start-up routine has run
}

void TestAddressResolution::loadTags(const QList<TagRow>& rows)
{
    QVERIFY(writeTagDatabase(dir.path(), rows));
    DatabaseFolder() = dir.path() + "/";
    LoadTagTable();
}

void TestAddressResolution::noTagDatabaseFindsNothing()
{
    DatabaseFolder() = dir.path() + "/";
    LoadTagTable();
    QCOMPARE(TagCount(), 0);
    QVariant reference;
    qint16 unit = 7;
    QVERIFY(!ResolveAddressForm("Pump1", reference, unit));
    QVERIFY(!component->TagAddressFromName("Pump1").isValid());
}

void TestAddressResolution::resolution_data()
{
    loadTags({{"Pump1", 1, 40010, 1.0, 0.0, "ioWord"},
              {"PUMP1", 2, 40020, 1.0, 0.0, "ioWord"},
              {"Remote", 3, "2;30001", 1.0, 0.0, "ioWord"},
              {"Broken", 4, ";5", 1.0, 0.0, "ioWord"}});
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<bool>("resolved");
    QTest::addColumn<int>("unit");        // 7 is the caller's default
    QTest::addColumn<QString>("reference");

    QTest::newRow("number") << QVariant(40001) << true << 7 << "40001";
    QTest::newRow("numeric text") << QVariant("40001") << true << 7 << "40001";
    QTest::newRow("numeric text with blanks") << QVariant(" 40001 ") << true << 7 << " 40001 ";
    QTest::newRow("unit;reference") << QVariant("3;40001") << true << 3 << "40001";
    QTest::newRow("blank after the semicolon") << QVariant("3; 40001") << true << 3 << "40001";
    QTest::newRow("blank before the semicolon") << QVariant("3 ;40001") << false << 7 << "";
    QTest::newRow("extra fields") << QVariant("3;7;9;40001") << true << 3 << "40001";
    QTest::newRow("five extra fields") << QVariant("1;2;3;4;5;6;40001") << true << 1 << "40001";
    QTest::newRow("empty unit field") << QVariant(";40001") << false << 7 << "";
    QTest::newRow("unit beyond 16 bits") << QVariant("99999;40001") << false << 7 << "";
    QTest::newRow("largest unit") << QVariant("32767;40001") << true << 32767 << "40001";
    QTest::newRow("letter in the unit field") << QVariant("3a;40001") << false << 7 << "";
    QTest::newRow("unit 0 wins over the default") << QVariant("0;40001") << true << 0 << "40001";
    QTest::newRow("tag with a number address") << QVariant("Pump1") << true << 7 << "40010";
    QTest::newRow("tag name in another case") << QVariant("pUMP1") << true << 7 << "40010";
    QTest::newRow("tag with a unit text") << QVariant("Remote") << true << 2 << "30001";
    QTest::newRow("tag whose address does not parse") << QVariant("Broken") << false << 7 << "";
    QTest::newRow("unknown tag") << QVariant("Nobody") << false << 7 << "";
    QTest::newRow("empty text") << QVariant("") << false << 7 << "";
    QTest::newRow("no address at all") << QVariant() << false << 7 << "";
}

void TestAddressResolution::resolution()
{
    QFETCH(QVariant, address);
    QFETCH(bool, resolved);
    QFETCH(int, unit);
    QFETCH(QString, reference);
    QVariant ref;
    qint16 u = 7;
    QCOMPARE(ResolveAddressForm(address, ref, u), resolved);
    if (!resolved) return;
    QCOMPARE(int(u), unit);
    QCOMPARE(ref.toString(), reference);
}

void TestAddressResolution::parseKeepsFieldsItDoesNotReach()
{
    QVariant reference;
    qint16 unit = -1, f2 = -5, f3 = -5, f4 = -5, f5 = -5, f6 = -5;
    QVERIFY(ParseUnitAddress("3;7;9;40001", reference, unit, f2, f3, f4, f5, f6));
    QCOMPARE(unit, qint16(3));
    QCOMPARE(f2, qint16(7));
    QCOMPARE(f3, qint16(9));
    QCOMPARE(f4, qint16(-5));
    QCOMPARE(f6, qint16(-5));
    QCOMPARE(reference.toString(), QString("40001"));
    // Without a semicolon the reference is the address itself and nothing else changes.
    unit = -1;
    QVERIFY(ParseUnitAddress(QVariant(40001), reference, unit, f2, f3, f4, f5, f6));
    QCOMPARE(reference, QVariant(40001));
    QCOMPARE(unit, qint16(-1));
}

void TestAddressResolution::tagLookupsIgnoreCaseAndKeepFirst()
{
    loadTags({{"Pump1", 1, 40010, 1.5, 0.25, "ioFloat"},
              {"PUMP1", 2, 40020, 1.0, 0.0, "ioWord"},
              {null, 3, 40030, 1.0, 0.0, "ioWord"},
              {"NoAddress", 4, null, 1.0, 0.0, "ioWord"}});
    QCOMPARE(TagCount(), 4);
    QCOMPARE(TagTable()[2].NAME.toString(), QString("PUMP1"));
    QCOMPARE(TagIndexFromName("PUMP1"), 1);
    QCOMPARE(TagIndexFromName("pump1"), 1);
    QCOMPARE(TagTable()[1].Scale, 1.5);
    QCOMPARE(TagTable()[1].Offset, 0.25);
    QCOMPARE(TagTable()[1].DataTypeCode, qint16(ioFloat));
    // Rows with a null key are in the table but not in that map.
    QCOMPARE(TagIndexFromAddress("40030"), 3);
    QCOMPARE(TagIndexFromName("NoAddress"), 4);
    QCOMPARE(component->TagAddressFromName("pump1"), QVariant(40010));
    QVERIFY(!component->TagAddressFromName("nobody").isValid());
    QVERIFY(!component->TagNameFromAddress(40030).isValid() || component->TagNameFromAddress(40030).isNull());
}

void TestAddressResolution::tagNameFromNumberOrText()
{
    loadTags({{"Level", 1, 40001, 1.0, 0.0, "ioWord"}, {"Flow", 2, "30005", 1.0, 0.0, "ioWord"},
              {"Far", 3, "2;40001", 1.0, 0.0, "ioWord"}});
    QCOMPARE(component->TagNameFromAddress(40001).toString(), QString("Level"));
    QCOMPARE(component->TagNameFromAddress("40001").toString(), QString("Level"));
    QCOMPARE(component->TagNameFromAddress(30005).toString(), QString("Flow"));
    QCOMPARE(component->TagNameFromAddress("2;40001").toString(), QString("Far"));
    QVERIFY(!component->TagNameFromAddress(49999).isValid());
}

void TestAddressResolution::dataTypeCodes_data()
{
    QTest::addColumn<QVariant>("name");
    QTest::addColumn<int>("code");
    const QList<QPair<const char*, int>> known{{"ioWord", 0},        {"ioDWord", 1},       {"ioFloat", 2},
                                               {"ioDFloat", 3},      {"ioString", 4},      {"ioScaledWord", 20},
                                               {"ioScaledDWord", 21}, {"ioScaledFloat", 22}, {"ioScaledDFloat", 23}};
    for (const auto& [name, code] : known) QTest::newRow(name) << QVariant(name) << code;
    QTest::newRow("other case") << QVariant("IOFLOAT") << 0;
    QTest::newRow("unknown name") << QVariant("ioBits") << 0;
    QTest::newRow("empty") << QVariant("") << 0;
    QTest::newRow("null") << null << 0;
}

void TestAddressResolution::dataTypeCodes()
{
    QFETCH(QVariant, name);
    QFETCH(int, code);
    QCOMPARE(int(DataTypeCodeFromName(name)), code);
}

void TestAddressResolution::missingColumnSkipsOnlyThatMember()
{
    QVERIFY(writeTagDatabase(dir.path(), {{"Valve", 1, 40100, 2.0, 0.0, "ioDFloat"}},
                             {"NAME", "REGAB", "DataType"}));
    DatabaseFolder() = dir.path() + "/";
    LoadTagTable();
    QCOMPARE(TagCount(), 1);
    QCOMPARE(TagTable()[1].Scale, 0.0);
    QCOMPARE(TagTable()[1].DataTypeCode, qint16(ioDFloat));
    QCOMPARE(component->TagAddressFromName("valve"), QVariant(40100));
}

void TestAddressResolution::atMost2000Tags()
{
    QList<TagRow> rows;
    for (int i = 1; i <= 2001; ++i) rows.append({QString("T%1").arg(i), i, 40000 + i, 1.0, 0.0, "ioWord"});
    loadTags(rows);
    QCOMPARE(TagCount(), 2000);
    QCOMPARE(TagIndexFromName("T2000"), 2000);
    QCOMPARE(TagIndexFromName("T2001"), 0);
}

void TestAddressResolution::unreadableFileLeavesTableAlone()
{
    loadTags({{"Kept", 1, 40001, 1.0, 0.0, "ioWord"}});
    QTemporaryDir other;
    QFile junk(other.path() + "/BLontrol.mdb");
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("this is no database");
    junk.close();
    DatabaseFolder() = other.path() + "/";
    LoadTagTable();
    QCOMPARE(TagIndexFromName("Kept"), 1);
    QCOMPARE(TagTableLoadProblem(), junk.fileName() + ": the file is not a database");
    // A database without the table (a scan database under the tag database's name) says
    // so too; a good load clears the problem.
    QFile::remove(junk.fileName());
    QVERIFY(CreateScanDatabase(junk.fileName()));
    LoadTagTable();
    QCOMPARE(TagTableLoadProblem(), junk.fileName() + ": the file has no table TagData");
    loadTags({{"Kept", 1, 40001, 1.0, 0.0, "ioWord"}});
    QCOMPARE(TagTableLoadProblem(), QString());
}

QTEST_GUILESS_MAIN(TestAddressResolution)
#include "test_address_resolution.moc"
