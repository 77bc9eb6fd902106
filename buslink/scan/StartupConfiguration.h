#pragma once
// The library's start-up routine: reads the INI file, records the I/O device,
// loads the scan route and the tag table. Runs once per process before any
// component instance works; `Buslink::mains` runs it again.
#include <QString>

namespace buslink {

// At most this many characters of the INI file's database folder are used.
constexpr int kDatabasePathLimit = 100;

// The database folder for the INI file's "pDatabasePath" text: empty gives the
// configuration folder (with a trailing separator); "..\" or "../" gives an
// empty folder (bare file names from the current directory); any other text is
// used unchanged, so a folder must end with its separator.
QString DatabaseFolderFromSetting(const QString& configured, const QString& systemFolder);

void RunStartupRoutine();
// Runs the start-up routine unless it has run already in this process.
void EnsureStartupRoutineRan();

} // namespace buslink
