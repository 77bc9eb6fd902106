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

// The load ends at the first row it cannot take.
struct LoadEnds {};

QVariant column(const QSqlRecord& row, const char* name)
{
    const int i = row.indexOf(QLatin1String(name));  // names match without regard to case
    if (i < 0) throw LoadEnds{};
    return row.value(i);
}

qint16 int16Column(const QSqlRecord& row, const char* name)
{
    const QVariant v = column(row, name);
    if (v.isNull()) throw LoadEnds{};
    try {
        return VariantToInt16(v);
    } catch (const BuslinkError&) {
        throw LoadEnds{};
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
        throw LoadEnds{};
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

void LoadScanRoute()
{
    const QString path = ScanDatabasePath();
    if (!QFileInfo(path).isFile()) {
        NoScanDatabase() = true;
        return;
    }
    // The new route is built aside and takes over only when the whole table has been read.
    BoundedArray<ScanEntry> loaded(1, kScanRouteCapacity);
    int count = 0;
    bool complete = false;

    WithDatabase(path, nullptr, [&](QSqlDatabase& db, QString&) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM ModScanRte"))) return false;
        try {
            while (query.next()) {
                if (count == kScanRouteCapacity) throw LoadEnds{};  // no slot for another entry
                const QSqlRecord row = query.record();
                ScanEntry entry;
                entry.Write = int16Column(row, "Write");
                entry.StartReg = column(row, "Start_Reg");
                entry.EndReg = column(row, "End_Reg");
                entry.ScanRate = int16Column(row, "Scan_Rate");
                entry.ScanRegGroup = int16Column(row, "ScanRegGroup");
                entry.Active = true;
                if (!resolveEntry(entry)) continue;  // skipped without a message
                entry.Quantity = quantityOf(entry);
                loaded[++count] = entry;
            }
            complete = query.lastError().type() == QSqlError::NoError;
        } catch (const LoadEnds&) {
        }
        return complete;
    });

    if (!complete) return;
    ScanRoute() = loaded;
    ScanEntryCount() = count;
}

} // namespace buslink
