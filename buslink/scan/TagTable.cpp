#include "TagTable.h"

#include "DatabaseSchema.h"
#include "base/BuslinkTypes.h"

#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace buslink {

namespace {

struct Tags {
    BoundedArray<TagRecord> table{1, kTagTableCapacity};
    int count = 0;
    QHash<QString, int> byName;     // case-folded NAME -> index
    QHash<QString, int> byAddress;  // case-folded text of REGAB -> index
};

Tags& tags()
{
    static Tags t;
    return t;
}

QString key(const QString& text) { return text.toCaseFolded(); }

// A column of the current row, or an invalid variant when the table has no such column.
QVariant column(const QSqlQuery& query, const QSqlRecord& layout, const char* name)
{
    const int i = layout.indexOf(QLatin1String(name));
    return i < 0 ? QVariant() : query.value(i);
}

double number(const QVariant& v, double previous)
{
    if (!v.isValid() || v.isNull()) return previous;
    bool ok = false;
    const double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
    return ok ? d : previous;
}

QString& loadProblem()
{
    static QString text;
    return text;
}

void loadFrom(const QString& path)
{
    QString openError;
    const bool loaded = WithDatabase(path, &openError, [](QSqlDatabase& db, QString& why) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM TagData"))) {
            const QString text = query.lastError().databaseText();
            why = text.contains(QLatin1String("no such table")) ? QStringLiteral("the file has no table TagData")
                  : text.contains(QLatin1String("not a database")) ? QStringLiteral("the file is not a database")
                                                                   : text;
            return false;
        }
        Tags fresh;
        const QSqlRecord layout = query.record();
        int i = 1;
        while (i <= kTagTableCapacity && query.next()) {
            TagRecord& tag = fresh.table[i];
            tag.REG = column(query, layout, "REG");
            tag.REGAB = column(query, layout, "REGAB");
            tag.NAME = column(query, layout, "NAME");
            tag.Scale = number(column(query, layout, "Scale"), tag.Scale);
            tag.Offset = number(column(query, layout, "Offset"), tag.Offset);
            tag.DataType = column(query, layout, "DataType");
            tag.DataTypeCode = DataTypeCodeFromName(tag.DataType);
            // A key already present keeps its first tag; a null key is not entered.
            if (tag.NAME.isValid() && !tag.NAME.isNull() && !fresh.byName.contains(key(tag.NAME.toString())))
                fresh.byName.insert(key(tag.NAME.toString()), i);
            if (tag.REGAB.isValid() && !tag.REGAB.isNull() && !fresh.byAddress.contains(key(tag.REGAB.toString())))
                fresh.byAddress.insert(key(tag.REGAB.toString()), i);
            ++i;
        }
        fresh.count = i - 1;
        tags() = std::move(fresh);
        return true;
    });
    if (!loaded) loadProblem() = QStringLiteral("%1: %2").arg(path, openError);
}

} // namespace

QString& DatabaseFolder()
{
    static QString folder;
    return folder;
}

const BoundedArray<TagRecord>& TagTable() { return tags().table; }
int TagCount() { return tags().count; }

int TagIndexFromName(const QString& name)
{
    return tags().byName.value(key(name), 0);
}

int TagIndexFromAddress(const QString& addressText)
{
    return tags().byAddress.value(key(addressText), 0);
}

qint16 DataTypeCodeFromName(const QVariant& dataType)
{
    static const QHash<QString, qint16> codes{
        {QStringLiteral("ioWord"), ioWord},           {QStringLiteral("ioDWord"), ioDWord},
        {QStringLiteral("ioFloat"), ioFloat},         {QStringLiteral("ioDFloat"), ioDFloat},
        {QStringLiteral("ioString"), ioString},       {QStringLiteral("ioScaledWord"), ioScaledWord},
        {QStringLiteral("ioScaledDWord"), ioScaledDWord}, {QStringLiteral("ioScaledFloat"), ioScaledFloat},
        {QStringLiteral("ioScaledDFloat"), ioScaledDFloat},
    };
    if (!dataType.isValid() || dataType.isNull()) return 0;
    return codes.value(dataType.toString(), 0);
}

void LoadTagTable()
{
    const QString path = DatabaseFolder() + QStringLiteral("BLontrol.mdb");
    loadProblem().clear();
    if (!QFileInfo(path).isFile()) return;
    if (!QFileInfo(path).isReadable()) {
        loadProblem() = QStringLiteral("%1: the file cannot be read").arg(path);
        return;
    }
    loadFrom(path);
}

QString TagTableLoadProblem()
{
    return loadProblem();
}

} // namespace buslink
