// buslink-cli scan [--folder DIR] [--interval MS] [--seconds S] [--updates N]:
// runs the read scan over the scan route (from the database folder the INI
// file names, or from DIR) on the line of the line options and prints every
// update that reaches the I/O database service: "KEY VALUE [VALUE...]". A route
// that cannot be loaded is refused with the reason.
#include "CliCommands.h"

#include "StopSignal.h"
#include "scan/IoDatabaseService.h"
#include "scan/ScanRoute.h"
#include "scan/StartupConfiguration.h"
#include "scan/TagTable.h"

#include <QFileInfo>

namespace cli {

int RunScan(CliSession& session, const QStringList& args)
{
    if (!args.isEmpty()) throw UsageError(QStringLiteral("scan takes no arguments: %1").arg(args.first()), "scan");
    const CliOptions& o = session.options();
    const qint64 updates = o.updates;
    buslink::EnsureStartupRoutineRan();
    if (!o.folder.isEmpty()) {
        buslink::DatabaseFolder() = o.folder.endsWith(QLatin1Char('/')) ? o.folder : o.folder + QLatin1Char('/');
        // The folder given replaces the configured one before any instance works, so the
        // configured folder's missing database does not count, and a load that fails
        // leaves no route of the configured folder in force.
        buslink::NoScanDatabase() = false;
        buslink::ScanEntryCount() = 0;
        buslink::LoadScanRoute();
    }
    if (buslink::NoScanDatabase() || !QFileInfo(buslink::ScanDatabasePath()).isFile())
        throw CliError{kFailed, QStringLiteral("no scan database at %1 (buslink-cli init-db creates one)")
                                    .arg(buslink::ScanDatabasePath()), QString()};
    const QString problem = buslink::ScanRouteLoadProblem();
    if (buslink::ScanEntryCount() == 0)
        throw CliError{kFailed, problem.isEmpty() ? QStringLiteral("the scan route in %1 has no entries").arg(buslink::ScanDatabasePath())
                                                  : QStringLiteral("the scan route cannot be loaded: %1").arg(problem), QString()};
    // Rows skipped: the rest of the route is scanned, and the user told which.
    if (!problem.isEmpty()) session.err() << "buslink-cli: " << problem << Qt::endl;

    buslink::Buslink& link = session.link();
    StopSignal stop;
    qint64 seen = 0;
    QObject::connect(&link.ownIoDatabase(), &buslink::InMemoryIoDatabase::updated, &link,
                     [&](const QString& key, const QVariantList& values) {
                         if (updates > 0 && seen >= updates) return;  // stopping: the loop ends next
                         QTextStream& out = session.out();
                         out << key;
                         for (const QVariant& v : values) out << ' ' << ValueText(v);
                         out << Qt::endl;
                         if (updates > 0 && ++seen >= updates) stop.stop();
                     });
    QObject::connect(&link, &buslink::Buslink::CommCompleteEx, &link,
                     [&](const buslink::VariantArray& data, qint32, qint16, const QString& error, qint16) {
                         if (error == QLatin1String("Read error"))
                             session.err() << "buslink-cli: replies lost from unit " << data[1].toString() << Qt::endl;
                     });
    link.setScanReadIOTimerInterval(o.intervalMs);
    link.setScanReadEnable(true);
    stop.run(o.seconds);
    link.setScanReadEnable(false);
    return kOk;
}

} // namespace cli
