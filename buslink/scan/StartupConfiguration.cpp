#include "StartupConfiguration.h"

#include "IniFile.h"
#include "ScanRoute.h"
#include "TagTable.h"
#include "base/ConfigFolder.h"

namespace buslink {

QString DatabaseFolderFromSetting(const QString& configured, const QString& systemFolder)
{
    QString folder = configured;
    if (folder.isEmpty()) folder = systemFolder + QLatin1Char('/');
    // "..\" (or "../") means: open the databases by bare file name from the current directory.
    if (folder == QLatin1String("..\\") || folder == QLatin1String("../")) folder.clear();
    return folder;
}

void RunStartupRoutine()
{
    DatabaseFolder().clear();
    // The configuration folder plays the part of the system directory.
    const QString systemFolder = ConfigFolder();
    const QString ini = IniFilePath();
    const QString configured = ReadIniString(ini, QStringLiteral("DatabasePath"), QStringLiteral("pDatabasePath"),
                                             QString(), kDatabasePathLimit);
    DatabaseFolder() = DatabaseFolderFromSetting(configured, systemFolder);
    WriteIniString(ini, QStringLiteral("IOType"), QStringLiteral("IODevice"), QStringLiteral("Modbus"));
    LoadScanRoute();
    LoadTagTable();
}

void EnsureStartupRoutineRan()
{
    static bool ran = false;
    if (ran) return;
    ran = true;
    RunStartupRoutine();
}

} // namespace buslink
