#include "ScanRoute.h"

#include "DatabaseSchema.h"
#include "TagTable.h"
#include "conversions/VariantNumbers.h"
#include "AddressResolution.h"
#include "protocol/AddressParsing.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>

namespace buslink {

namespace {

// The load ends at the first row it cannot take, saying why.
struct LoadEnds {
    QString why;
};

QString& loadProblem()
{
    static QString text;
    return text;
}

QVariant column(const QSqlRecord& row, const char* name)
{
    const int i = row.indexOf(QLatin1String(name));  // names match without regard to case
    if (i < 0) throw LoadEnds{QStringLiteral("the table ModScanRte has no column %1").arg(QLatin1String(name))};
    return row.value(i);
}

qint16 int16Column(const QSqlRecord& row, const char* name)
{
    const QVariant v = column(row, name);
    if (v.isNull()) throw LoadEnds{QStringLiteral("%1 is empty").arg(QLatin1String(name))};
    try {
        return VariantToInt16(v);
    } catch (const BuslinkError&) {
        throw LoadEnds{QStringLiteral("%1 %2 is out of range (-32768 to 32767)").arg(QLatin1String(name), v.toString())};
    }
}

// Resolves both addresses of a row; a unit named in End_Reg wins over one in Start_Reg.
bool resolveEntry(ScanEntry& entry)
{
    qint16 unit = -1;
    qint16 f2 = 0, f3 = 0, f4 = 0, f5 = 0, f6 = 0;
    QVariant start, end;
    if (!ParseUnitAddress(entry.StartReg, start, unit, f2, f3, f4, f5, f6)) return false;
    if (!ParseUnitAddress(entry.EndReg, end, unit, f2, f3, f4, f5, f6)) return false;
    // A reference that is not a number could never be polled.
    if (!IsNumericAddress(start) || !IsNumericAddress(end)) return false;
    entry.StartReg = start;
    entry.EndReg = end;
    entry.Unit = unit;
    return true;
}

qint16 quantityOf(const ScanEntry& entry)
{
    const double q = VariantNumber(entry.EndReg) - VariantNumber(entry.StartReg) + 1;
    try {
        return qint16(RoundedInRange(q, -32768.0, 32767.0));
    } catch (const BuslinkError&) {
        throw LoadEnds{QStringLiteral("the quantity %1 to %2 is out of range (at most 32767)")
                           .arg(entry.StartReg.toString(), entry.EndReg.toString())};
    }
}

} // namespace

BoundedArray<ScanEntry>& ScanRoute()
{
    static BoundedArray<ScanEntry> route(1, kScanRouteCapacity);
    return route;
}

int& ScanEntryCount()
{
    static int count = 0;
    return count;
}

bool& NoScanDatabase()
{
    static bool none = false;
    return none;
}

QString ScanDatabasePath()
{
    return DatabaseFolder() + QStringLiteral("BLScanIO.mdb");
}

QString ScanRouteLoadProblem()
{
    return loadProblem();
}

void LoadScanRoute()
{
    const QString path = ScanDatabasePath();
    loadProblem().clear();
    if (!QFileInfo(path).isFile()) {
        NoScanDatabase() = true;
        loadProblem() = QStringLiteral("%1: no such file").arg(path);
        return;
    }
    if (!QFileInfo(path).isReadable()) {
        loadProblem() = QStringLiteral("%1: the file cannot be read").arg(path);
        return;
    }
    // The new route is built aside and takes over only when the whole table has been read.
    BoundedArray<ScanEntry> loaded(1, kScanRouteCapacity);
    int count = 0;
    bool complete = false;
    QStringList skipped;
    QString problem;

    QString openError;
    WithDatabase(path, &openError, [&](QSqlDatabase& db, QString&) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM ModScanRte"))) {
            const QString why = query.lastError().databaseText();
            problem = why.contains(QLatin1String("no such table")) ? QStringLiteral("the file has no table ModScanRte")
                      : why.contains(QLatin1String("not a database")) ? QStringLiteral("the file is not a database")
                                                                      : why;
            return false;
        }
        int rowNumber = 0;
        try {
            while (query.next()) {
                ++rowNumber;
                if (count == kScanRouteCapacity)  // no slot for another entry
                    throw LoadEnds{QStringLiteral("more than %1 entries").arg(kScanRouteCapacity)};
                const QSqlRecord row = query.record();
                ScanEntry entry;
                entry.Write = int16Column(row, "Write");
                entry.StartReg = column(row, "Start_Reg");
                entry.EndReg = column(row, "End_Reg");
                entry.ScanRate = int16Column(row, "Scan_Rate");
                entry.ScanRegGroup = int16Column(row, "ScanRegGroup");
                entry.Active = true;
                if (!resolveEntry(entry)) {  // skipped: the route goes on without it
                    skipped << QString::number(rowNumber);
                    continue;
                }
                entry.Quantity = quantityOf(entry);
                loaded[++count] = entry;
            }
            complete = query.lastError().type() == QSqlError::NoError;
            if (!complete) problem = query.lastError().text();
        } catch (const LoadEnds& e) {
            problem = QStringLiteral("row %1: %2").arg(rowNumber).arg(e.why);
        }
        return complete;
    });

    if (!complete) {
        loadProblem() = QStringLiteral("%1: %2").arg(path, problem.isEmpty() ? openError : problem);
        return;
    }
    if (!skipped.isEmpty())
        loadProblem() = QStringLiteral("%1: row %2 skipped, addresses that do not resolve to reference numbers")
                            .arg(path, skipped.join(QStringLiteral(", ")));
    ScanRoute() = loaded;
    ScanEntryCount() = count;
}

} // namespace buslink
