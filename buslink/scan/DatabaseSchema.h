#pragma once
// The schemas of the component's two database files, for tools and hosts that
// create them: the scan database (table ModScanRte) and the tag database
// (table TagData). The loads match column names without regard to case.
#include <QString>
#include <QVariant>

#include <functional>

class QSqlDatabase;

namespace buslink {

// One row of ModScanRte as the editor and the load see it.
struct ScanRouteRow {
    QVariant Start_Reg;
    QVariant End_Reg;
    QVariant Scan_Rate;
    QVariant ScanRegGroup;
    QVariant Write = 0;
};

// Creates an empty scan database at path (which must not exist yet). New rows
// get Write 0 and ScanQuantity 0 from the database; Scan_Rate, ScanRegGroup,
// ScanQuantity and Write accept whole numbers only. False with a reason on failure.
bool CreateScanDatabase(const QString& path, QString* error = nullptr);
// Creates an empty tag database at path (which must not exist yet).
bool CreateTagDatabase(const QString& path, QString* error = nullptr);
// Runs work on a connection of its own to the SQLite file at path, closed and removed
// again afterwards. False when the file does not open or work returns false; the
// reason (the open error, or what work put in its second argument) goes to *error.
bool WithDatabase(const QString& path, QString* error, const std::function<bool(QSqlDatabase&, QString&)>& work);

// Appends rows to ModScanRte of an existing scan database.
bool AddScanRouteRows(const QString& path, const QList<ScanRouteRow>& rows, QString* error = nullptr);

} // namespace buslink
