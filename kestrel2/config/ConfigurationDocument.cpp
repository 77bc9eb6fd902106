#include "ConfigurationDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel2 {

const QString LeftoverCopyMark = QStringLiteral(".kestrel2-save-");

namespace {
const QString TableName = QStringLiteral("mastertable");

void setError(QString* error, const QString& text)
{
    if (error) *error = text;
}

QString quoted(const QString& name) { return QLatin1Char('"') + QString(name).replace('"', "\"\"") + QLatin1Char('"'); }

// One SQLite connection with a name of its own, closed and removed when it goes.
class DocumentConnection {
public:
    DocumentConnection(const QString& path, bool readOnly)
    {
        static std::atomic<int> counter{0};
        name = QStringLiteral("kestrel2-document-%1").arg(++counter);
        database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(path);
        if (readOnly) database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    }
    ~DocumentConnection()
    {
        database.close();
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    DocumentConnection(const DocumentConnection&) = delete;
    DocumentConnection& operator=(const DocumentConnection&) = delete;

    bool open(QString* error)
    {
        if (database.open()) return true;
        setError(error, database.lastError().text());
        return false;
    }
    QSqlDatabase& db() { return database; }

private:
    QString name;
    QSqlDatabase database;
};

QString text(const QVariant& value) { return value.isNull() ? QString() : value.toString(); }

// Flushes a file (or a folder, so a rename in it is durable) to the disk.
bool syncPath(const QString& path, bool directory)
{
    const int fd = ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDWR);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

QString systemError(int number) { return QString::fromLocal8Bit(std::strerror(number)); }

// Writes all of bytes to fd; false with errno set when the system refuses (a full disk, say).
bool writeAll(int fd, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

// A temporary file beside target that is renamed over it once it is complete and
// checked. Its name, ".<target name>.kestrel2-save-XXXXXX", is ours alone, and it is
// locked while it is written, so a copy left by a save that died can be told from
// one being written and removed later (LeftoverCopyName, RemoveLeftoverCopies).
class SiblingFile {
public:
    explicit SiblingFile(const QString& target)
        : finalPath(QFileInfo(target).absoluteFilePath()),
          temporary(QFileInfo(finalPath).absolutePath() + QStringLiteral("/.") + QFileInfo(finalPath).fileName() +
                    LeftoverCopyMark + QStringLiteral("XXXXXX"))
    {
    }
    bool create(QString* error)
    {
        RemoveLeftoverCopies(QFileInfo(finalPath).absolutePath());
        if (temporary.open()) {
            ::flock(temporary.handle(), LOCK_EX | LOCK_NB);
            return true;
        }
        setError(error, QStringLiteral("Cannot write in the folder %1: %2")
                            .arg(QDir::toNativeSeparators(QFileInfo(finalPath).absolutePath()),
                                 temporary.errorString()));
        return false;
    }
    // Appends bytes; on failure the error names the target and the system's reason.
    bool write(const QByteArray& bytes, QString* error)
    {
        if (writeAll(temporary.handle(), bytes)) return true;
        setError(error,
                 QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(finalPath), systemError(errno)));
        return false;
    }
    QString path() const { return temporary.fileName(); }
    // Flushes the copy to the disk (a full disk may only show here) and renames it into
    // place; the old target stays untouched on failure. The copy stays open, and locked,
    // until it has been renamed.
    bool commit(QString* error)
    {
        if (!syncPath(path(), false)) {
            setError(error, QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(finalPath),
                                                                      systemError(errno)));
            return false;
        }
        const QFileDevice::Permissions permissions =
            QFileInfo::exists(finalPath) ? QFile::permissions(finalPath)
                                         : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                               QFileDevice::ReadOther;
        QFile::setPermissions(path(), permissions);
        if (std::rename(QFile::encodeName(path()).constData(), QFile::encodeName(finalPath).constData()) != 0) {
            setError(error, QStringLiteral("Cannot replace %1: %2").arg(QDir::toNativeSeparators(finalPath),
                                                                        systemError(errno)));
            return false;
        }
        temporary.setAutoRemove(false);
        temporary.close();
        syncPath(QFileInfo(finalPath).absolutePath(), true);
        return true;
    }

private:
    QString finalPath;
    QTemporaryFile temporary;
};

QList<DocumentField> buildFields()
{
    return {
        {"Tag name", "txtTag"},
        {"Modbus address", "txtAddress"},
        {"Minimum position", "txtMinPosition"},
        {"Maximum position", "txtMaxPosition"},
        {"Deadband", "txtDeadband"},
        {"MIT", "txtMit"},
        {"Aux input mask", "txtMask"},
        {"Comms loss position", "txtCommsLossPosition"},
        {"Hysteresis", "txtHysteresis"},
        {"Slow mode range", "txtSlowModeRange"},
        {"Valve jammed time", "txtJammedTime"},
        {"Manual movement travel", "txtManualMoveTravel"},
        {"Watchdog timeout", "txtWatchdogTime"},
        {"Analog input max", "txtAnalogMax"},
        {"Comms fault timer", "txtCommsTimer"},
        {"DI4 action", "CmbESDDI4"},
        {"Comms loss action", "CmbCommsLossAction"},
        {"Baud rate", "CmbBaud"},
        {"Parity stop", "cmbParityStop"},
        {"Database format", "CmbDataBase"},
        {"Site", "TxtSite"},
        {"Service Engineer", "TxtServiceEng"},
        {"Date", "LblDate"},
    };
}
} // namespace

const QList<DocumentField>& DocumentFields()
{
    static const QList<DocumentField> fields = buildFields();
    return fields;
}

QString WorkingDocumentPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return folder + QStringLiteral("/actconfig.avc");
}

bool CreateEmptyDocument(const QString& path, QString* error)
{
    SiblingFile sibling(path);
    if (!sibling.create(error)) return false;
    {
        DocumentConnection connection(sibling.path(), false);
        if (!connection.open(error)) return false;
        QStringList columns;
        QStringList placeholders;
        for (const DocumentField& f : DocumentFields()) {
            columns.append(quoted(f.field) + QStringLiteral(" TEXT"));
            placeholders.append(QStringLiteral("''"));
        }
        QSqlQuery query(connection.db());
        if (!query.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(TableName, columns.join(", "))) ||
            !query.exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(TableName, placeholders.join(", ")))) {
            setError(error, query.lastError().text());
            return false;
        }
    }
    return sibling.commit(error);
}

bool EnsureWorkingDocument(QString* error)
{
    const QString path = WorkingDocumentPath();
    if (QFileInfo::exists(path)) return true;
    return CreateEmptyDocument(path, error);
}

QString CheckDocument(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) return QStringLiteral("the file does not exist");
    if (!info.isFile() || !info.isReadable()) return QStringLiteral("the file cannot be read");
    DocumentConnection connection(path, true);
    QString openError;
    if (!connection.open(&openError)) return QStringLiteral("the file cannot be opened (%1)").arg(openError);
    QSqlQuery query(connection.db());
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next()) {
        // SQLITE_CORRUPT (11): a database file with pages missing or overwritten.
        if (query.lastError().nativeErrorCode() == QLatin1String("11"))
            return QStringLiteral("the database in it is damaged");
        return QStringLiteral("it is not a configuration database");
    }
    if (query.value(0).toString() != QLatin1String("ok")) return QStringLiteral("the database in it is damaged");
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = '%1' "
                                   "COLLATE NOCASE")
                        .arg(TableName)) ||
        !query.next())
        return QStringLiteral("it has no table %1").arg(TableName);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(TableName)))
        return QStringLiteral("its table %1 cannot be read").arg(TableName);
    QSet<QString> columns;
    while (query.next()) columns.insert(query.value(1).toString().toLower());
    for (const DocumentField& f : DocumentFields())
        if (!columns.contains(f.field.toLower()))
            return QStringLiteral("its table %1 has no field \"%2\"").arg(TableName, f.field);
    if (!query.exec(QStringLiteral("select* from %1").arg(TableName)))
        return QStringLiteral("its table %1 cannot be read").arg(TableName);
    if (!query.next()) return QStringLiteral("it holds no configuration record");
    return QString();
}

bool ReadFirstRecord(const QString& path, ConfigurationRecord& record, QString* error)
{
    if (!QFileInfo::exists(path)) {
        setError(error, QStringLiteral("The document %1 does not exist").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    DocumentConnection connection(path, true);
    if (!connection.open(error)) return false;
    QSqlQuery query(connection.db());
    if (!query.exec(QStringLiteral("select* from %1").arg(TableName))) {
        setError(error, query.lastError().text());
        return false;
    }
    const bool hasRecord = query.next();
    const QSqlRecord columns = query.record();
    for (const DocumentField& f : DocumentFields()) {
        const int index = columns.indexOf(f.field);
        if (index < 0) {
            setError(error, QStringLiteral("The table %1 has no field %2").arg(TableName, f.field));
            return false;
        }
    }
    record.clear();
    for (const DocumentField& f : DocumentFields())
        record.insert(f.field, hasRecord ? text(query.value(columns.indexOf(f.field))) : QString());
    return true;
}

bool WriteFirstRecord(const QString& path, const ConfigurationRecord& record, QString* error)
{
    // SQLite would quietly create an empty database for a missing file.
    if (!QFileInfo::exists(path)) {
        setError(error, QStringLiteral("The document %1 does not exist").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    DocumentConnection connection(path, false);
    if (!connection.open(error)) return false;
    QSqlDatabase& db = connection.db();
    if (!db.transaction()) {
        setError(error, db.lastError().text());
        return false;
    }
    bool ok = false;
    {
        QSqlQuery query(db);
        auto fail = [&](const QSqlQuery& q) {
            setError(error, q.lastError().text());
            return false;
        };
        ok = query.exec(QStringLiteral("SELECT min(rowid) FROM %1").arg(TableName)) && query.next();
        if (!ok) {
            fail(query);
        } else {
            const QVariant first = query.value(0);
            QStringList names;
            QStringList assignments;
            for (const DocumentField& f : DocumentFields()) {
                names.append(quoted(f.field));
                assignments.append(quoted(f.field) + QStringLiteral(" = ?"));
            }
            QSqlQuery write(db);
            if (first.isNull()) {
                QStringList marks;
                for (int i = 0; i < names.size(); ++i) marks.append(QStringLiteral("?"));
                write.prepare(
                    QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(TableName, names.join(", "), marks.join(", ")));
            } else {
                write.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(TableName, assignments.join(", ")));
            }
            for (const DocumentField& f : DocumentFields()) write.addBindValue(record.value(f.field));
            if (!first.isNull()) write.addBindValue(first);
            ok = write.exec();
            if (!ok) fail(write);
        }
    }
    if (ok && !db.commit()) {
        setError(error, db.lastError().text());
        ok = false;
    }
    if (!ok) db.rollback();
    return ok;
}

bool CopyDocument(const QString& source, const QString& target, QString* error)
{
    const QString problem = CheckDocument(source);
    if (!problem.isEmpty()) {
        setError(error, QStringLiteral("%1 is not a configuration document: %2.")
                            .arg(QDir::toNativeSeparators(source), problem));
        return false;
    }
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(source), input.errorString()));
        return false;
    }
    SiblingFile sibling(target);
    if (!sibling.create(error)) return false;
    while (!input.atEnd()) {
        const QByteArray chunk = input.read(64 * 1024);
        if (chunk.isEmpty() && input.error() != QFileDevice::NoError) {
            setError(error,
                     QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(source), input.errorString()));
            return false;
        }
        if (!sibling.write(chunk, error)) return false;
    }
    // Check the bytes that will be renamed into place, not only the source.
    const QString copied = CheckDocument(sibling.path());
    if (!copied.isEmpty()) {
        setError(error, QStringLiteral("The copy of %1 is damaged: %2.").arg(QDir::toNativeSeparators(source), copied));
        return false;
    }
    return sibling.commit(error);
}

QString SaveTargetName(const QString& chosen)
{
    if (chosen.isEmpty() || QFileInfo(chosen).fileName() == DocumentFileNamePreset()) return QString();
    if (chosen.endsWith(QLatin1String(".avc"), Qt::CaseSensitive)) return chosen;
    return chosen + QStringLiteral(".avc");
}

QString DocumentFileNamePreset() { return QStringLiteral("*.avc"); }

QString DocumentFileFilter() { return QStringLiteral("Configuration documents (*.avc);;All files (*)"); }

bool IsLeftoverCopyName(const QString& fileName)
{
    static const QRegularExpression ours(QStringLiteral("^\\..+") + QRegularExpression::escape(LeftoverCopyMark) +
                                         QStringLiteral("[A-Za-z0-9]{6}$"));
    return ours.match(fileName).hasMatch();
}

int RemoveLeftoverCopies(const QString& folder)
{
    int removed = 0;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (!IsLeftoverCopyName(name)) continue;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        // Only a plain file that no save holds locked any more: its writer has gone.
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

} // namespace kestrel2
