// buslink-cli scan [--folder DIR] [--interval MS] [--seconds S] [--updates N]:
// runs the read scan over the scan route (from the database folder the INI
// file names, or from DIR) on the line of the common options and prints every
// update that reaches the I/O database service: "KEY VALUE [VALUE...]".
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
    QString folder;
    int interval = 500;
    double seconds = 0;
    int updates = 0;
    for (int i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (args[i] == QLatin1String("--folder") && hasValue) folder = args[++i];
        else if (args[i] == QLatin1String("--interval") && hasValue) interval = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--seconds") && hasValue) seconds = args[++i].toDouble(&ok);
        else if (args[i] == QLatin1String("--updates") && hasValue) updates = args[++i].toInt(&ok);
        else ok = false;
        if (!ok || interval <= 0)
            throw CliError{kUsage, QStringLiteral("scan takes [--folder DIR] [--interval MS] [--seconds S] [--updates N]")};
    }
    buslink::EnsureStartupRoutineRan();
    if (!folder.isEmpty()) {
        buslink::DatabaseFolder() = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
        // The folder given replaces the configured one before any instance works, so
        // the configured folder's missing database does not count.
        buslink::NoScanDatabase() = false;
        buslink::LoadScanRoute();
    }
    if (buslink::NoScanDatabase() || !QFileInfo(buslink::ScanDatabasePath()).isFile())
        throw CliError{kFailed, QStringLiteral("no scan database at %1 (buslink-cli init-db creates one)")
                                    .arg(buslink::ScanDatabasePath())};
    if (buslink::ScanEntryCount() == 0)
        throw CliError{kFailed, QStringLiteral("the scan route in %1 has no entries").arg(buslink::ScanDatabasePath())};

    buslink::Buslink& link = session.link();
    StopSignal stop;
    int seen = 0;
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
    link.setScanReadIOTimerInterval(interval);
    link.setScanReadEnable(true);
    stop.run(seconds);
    link.setScanReadEnable(false);
    return kOk;
}

} // namespace cli
