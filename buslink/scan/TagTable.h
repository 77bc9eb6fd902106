#pragma once
// The tag table: named points with their Modbus addresses, loaded once from the
// table TagData of the tag database DatabaseFolder() + "BLontrol.mdb" and shared
// by every component instance of the process. Looked up by name (address
// resolution, TagAddressFromName) and by address (TagNameFromAddress); both
// lookups ignore case.
#include "../base/BoundedArray.h"

#include <QString>
#include <QVariant>

namespace buslink {

// Prefix put in front of the database file names: empty, or a folder text that
// ends with a path separator. Set by the start-up routine.
QString& DatabaseFolder();

// One row of TagData.
struct TagRecord {
    QVariant NAME;
    QVariant REG;           // kept with the tag; nothing reads it
    QVariant REGAB;         // the tag's address, in any form the address resolution accepts
    double Scale = 0.0;     // kept with the tag
    double Offset = 0.0;    // kept with the tag
    QVariant DataType;      // the data type name as stored
    qint16 DataTypeCode = 0;
};

constexpr int kTagTableCapacity = 2000;

// Tags 1 .. TagCount(), in the order the database returned them.
const BoundedArray<TagRecord>& TagTable();
int TagCount();
// Index in TagTable of the tag with this NAME (TagNameIndex) or this address text
// (TagAddressIndex); 0 when there is none.
int TagIndexFromName(const QString& name);
int TagIndexFromAddress(const QString& addressText);

// IoType code of a data type name ("ioWord" 0 ... "ioScaledDFloat" 23); exact
// match, anything else gives 0.
qint16 DataTypeCodeFromName(const QVariant& dataType);

// Loads the table from DatabaseFolder() + "BLontrol.mdb". Silent: without the
// file, or when the table cannot be read, the table stays as it was (empty at
// start-up). A later load of a readable file replaces the whole table.
void LoadTagTable();
// Why the last load of an existing file failed ("the file is not a database", "the
// file has no table TagData", ...); empty when it worked or there was no file.
QString TagTableLoadProblem();

} // namespace buslink
