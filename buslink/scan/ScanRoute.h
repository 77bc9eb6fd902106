#pragma once
// The scan route: the register blocks the read scan polls, loaded from the
// table ModScanRte of the scan database. One route per process, shared by
// every component instance.
#include "../base/BoundedArray.h"

#include <QString>
#include <QVariant>

namespace buslink {

// One row of ModScanRte after address resolution.
struct ScanEntry {
    qint16 Unit = -1;         // unit to poll; -1: the instance's DefaultUnit
    qint16 Write = 0;         // stored with the entry; the read scan polls every entry
    QVariant StartReg;        // first register, as a reference number (40001, 400001, ...)
    QVariant EndReg;          // last register
    qint16 ScanRate = 0;      // milliseconds between polls
    qint16 Quantity = 0;      // EndReg - StartReg + 1
    qint16 ScanRegGroup = 0;  // SetScanRegGroup switches a group on or off
    bool Active = false;      // the read scan polls the entry
};

constexpr int kScanRouteCapacity = 1000;

// Entries 1 to kScanRouteCapacity; entries 1 to ScanEntryCount() are valid.
BoundedArray<ScanEntry>& ScanRoute();
int& ScanEntryCount();
// Set when a load finds no scan database; the read scan stays off for the rest of the process.
bool& NoScanDatabase();

// DatabaseFolder() + "BLScanIO.mdb".
QString ScanDatabasePath();

// (Re)loads the route from the scan database. Silent: a missing file sets
// NoScanDatabase; a load that fails part-way (a null or out-of-range number,
// a quantity above 32767, more than 1000 entries, a table that cannot be read)
// leaves the previous route and count in force. Rows whose addresses do not
// resolve to reference numbers are skipped.
void LoadScanRoute();
// Why the last load failed or what it skipped ("row 3: Scan_Rate 99999 is out of
// range (-32768 to 32767)", "the file is not a database", ...); empty when every row
// of the route was taken.
QString ScanRouteLoadProblem();

} // namespace buslink
