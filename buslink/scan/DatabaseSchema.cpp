#include "DatabaseSchema.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <functional>

namespace buslink {

namespace {

bool run(QSqlDatabase& db, const QString& statement, QString& why)
{
    QSqlQuery query(db);
    if (query.exec(statement)) return true;
    why = query.lastError().text();
    return false;
}

bool createNew(const QString& path, QString* error, const QStringList& statements)
{
    if (QFileInfo::exists(path)) {
        if (error) *error = QStringLiteral("%1 exists already").arg(path);
        return false;
    }
    return WithDatabase(path, error, [&](QSqlDatabase& db, QString& why) {
        for (const QString& s : statements)
            if (!run(db, s, why)) return false;
        return true;
    });
}

// A column that holds whole numbers only: SQLite would keep any text otherwise.
QString wholeNumber(const char* name, const char* extra = "")
{
    return QStringLiteral("\"%1\" INTEGER %2 CHECK (\"%1\" IS NULL OR typeof(\"%1\") = 'integer')")
        .arg(QLatin1String(name), QLatin1String(extra));
}

} // namespace

bool WithDatabase(const QString& path, QString* error, const std::function<bool(QSqlDatabase&, QString&)>& work)
{
    static QAtomicInt connections;
    const QString name = QStringLiteral("buslink-db-%1").arg(connections.fetchAndAddRelaxed(1));
    QString why;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            why = db.lastError().text();
        } else {
            ok = work(db, why);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok && error) *error = why;
    return ok;
}

bool CreateScanDatabase(const QString& path, QString* error)
{
    return createNew(path, error,
                     {QStringLiteral("CREATE TABLE ModScanRte ("
                                     "ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                                     "Start_Reg TEXT, End_Reg TEXT, %1, %2, %3, %4)")
                          .arg(wholeNumber("Scan_Rate"), wholeNumber("ScanRegGroup"),
                               wholeNumber("ScanQuantity", "DEFAULT 0"), wholeNumber("Write", "DEFAULT 0"))});
}

bool CreateTagDatabase(const QString& path, QString* error)
{
    return createNew(path, error,
                     {QStringLiteral("CREATE TABLE TagData (ID INTEGER PRIMARY KEY AUTOINCREMENT, NAME TEXT, REG, "
                                     "REGAB, Scale REAL DEFAULT 1, Offset REAL DEFAULT 0, DataType TEXT)")});
}

bool AddScanRouteRows(const QString& path, const QList<ScanRouteRow>& rows, QString* error)
{
    if (!QFileInfo(path).isFile()) {
        if (error) *error = QStringLiteral("%1 does not exist").arg(path);
        return false;
    }
    return WithDatabase(path, error, [&](QSqlDatabase& db, QString& why) {
        QSqlQuery query(db);
        if (!query.prepare(QStringLiteral("INSERT INTO ModScanRte (Start_Reg, End_Reg, Scan_Rate, ScanRegGroup, "
                                          "\"Write\") VALUES (?, ?, ?, ?, ?)"))) {
            why = query.lastError().text();
            return false;
        }
        db.transaction();
        for (const ScanRouteRow& row : rows) {
            query.addBindValue(row.Start_Reg);
            query.addBindValue(row.End_Reg);
            query.addBindValue(row.Scan_Rate);
            query.addBindValue(row.ScanRegGroup);
            query.addBindValue(row.Write);
            if (!query.exec()) {
                why = query.lastError().text();
                db.rollback();
                return false;
            }
        }
        return db.commit();
    });
}

} // namespace buslink
