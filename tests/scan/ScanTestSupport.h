#pragma once
// Fixtures of the scan tests: a private configuration folder per test program
// (the INI file and databases of one test never meet another's), and scan
// databases made from SQL.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

// Points XDG_CONFIG_HOME at a folder of its own for the life of the object.
class PrivateConfigHome {
public:
    PrivateConfigHome() { qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit()); }
    QString path() const { return dir.path(); }
    // The component's configuration folder inside it.
    QString buslinkFolder() const { return dir.path() + QStringLiteral("/buslink"); }
    void writeIni(const QByteArray& text) const
    {
        QDir().mkpath(buslinkFolder());
        QFile f(buslinkFolder() + QStringLiteral("/RAD.INI"));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(text);
    }
    QByteArray ini() const
    {
        QFile f(buslinkFolder() + QStringLiteral("/RAD.INI"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir;
};

// Runs SQL statements on a SQLite file (created when missing); false with the error on stderr.
inline bool runSql(const QString& path, const QStringList& statements)
{
    static int connections = 0;
    const QString name = QStringLiteral("scan-test-%1").arg(++connections);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        if (ok) {
            QSqlQuery q(db);
            for (const QString& s : statements) {
                if (!q.exec(s)) {
                    qWarning("SQL failed: %s: %s", qPrintable(s), qPrintable(q.lastError().text()));
                    ok = false;
                    break;
                }
            }
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// A ModScanRte table with the editor's column spelling and the given rows
// ("start", "end", rate, group, write as SQL value lists).
inline bool makeScanDatabase(const QString& path, const QStringList& valueLists)
{
    QStringList statements{QStringLiteral("CREATE TABLE ModScanRte (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                                          "Start_reg, End_reg, Scan_rate INTEGER, ScanRegGroup INTEGER, "
                                          "ScanQuantity INTEGER DEFAULT 0, \"Write\" INTEGER DEFAULT 0)")};
    statements << QStringLiteral("BEGIN");
    for (const QString& v : valueLists)
        statements << QStringLiteral("INSERT INTO ModScanRte (Start_reg, End_reg, Scan_rate, ScanRegGroup, \"Write\") "
                                     "VALUES (%1)").arg(v);
    statements << QStringLiteral("COMMIT");
    return runSql(path, statements);
}
