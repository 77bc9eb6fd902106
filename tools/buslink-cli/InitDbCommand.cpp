// buslink-cli init-db [--folder DIR] [--sample]: creates the tag database
// (BLontrol.mdb) and the scan database (BLScanIO.mdb) with their tables, and
// with --sample a small scan route and a few tags. Existing files are left alone.
#include "CliCommands.h"

#include "scan/DatabaseSchema.h"
#include "scan/StartupConfiguration.h"
#include "scan/TagTable.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace cli {

namespace {

bool addSampleTags(const QString& path, QString& why)
{
    return buslink::WithDatabase(path, &why, [](QSqlDatabase& db, QString& error) {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("INSERT INTO TagData (NAME, REG, REGAB, Scale, Offset, DataType) VALUES "
                                  "('Pump1Speed', 1, '40001', 1, 0, 'ioWord'), "
                                  "('Pump1Flow', 3, '40003', 1, 0, 'ioDFloat'), "
                                  "('Valve2Position', 1, '2;30001', 0.1, 0, 'ioWord'), "
                                  "('Valve2Open', 1, '2;00001', 1, 0, 'ioWord')")))
            return true;
        error = q.lastError().text();
        return false;
    });
}

} // namespace

int RunInitDb(CliSession& session, const QStringList& args)
{
    if (!args.isEmpty()) throw UsageError(QStringLiteral("init-db takes no arguments: %1").arg(args.first()), "init-db");
    QString folder = session.options().folder;
    const bool sample = session.options().sample;
    if (folder.isEmpty()) {
        // Where the component looks: the folder its INI file names, or its configuration folder.
        buslink::EnsureStartupRoutineRan();
        folder = buslink::DatabaseFolder();
        if (folder.isEmpty()) folder = QDir::currentPath();
    }
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    if (!QDir().mkpath(folder)) throw CliError{kFailed, QStringLiteral("cannot create the folder %1").arg(folder), QString()};

    int result = kOk;
    const auto create = [&](const QString& name, auto&& make, auto&& fill) {
        const QString path = folder + name;
        if (QFileInfo::exists(path)) {
            session.out() << path << " exists, left as it is" << Qt::endl;
            return;
        }
        QString why;
        if (!make(path, &why)) {
            session.err() << "buslink-cli: cannot create " << path << ": " << why << Qt::endl;
            result = kFailed;
            return;
        }
        if (sample && !fill(path, why)) {
            session.err() << "buslink-cli: cannot fill " << path << ": " << why << Qt::endl;
            result = kFailed;
            return;
        }
        session.out() << "created " << path << (sample ? " (with sample rows)" : "") << Qt::endl;
    };
    create(QStringLiteral("BLontrol.mdb"), buslink::CreateTagDatabase, addSampleTags);
    create(QStringLiteral("BLScanIO.mdb"), buslink::CreateScanDatabase, [](const QString& path, QString& why) {
        return buslink::AddScanRouteRows(path,
                                         {{QStringLiteral("40001"), QStringLiteral("40010"), 1000, 1},
                                          {QStringLiteral("2;30001"), QStringLiteral("30004"), 500, 2},
                                          {QStringLiteral("00001"), QStringLiteral("00016"), 2000, 3}},
                                         &why);
    });
    return result;
}

} // namespace cli
