#pragma once
// Where the component keeps its per-user configuration: the INI file "RAD.INI"
// (database folder, port map) lives in <GenericConfigLocation>/buslink.
#include <QString>

namespace buslink {

// The configuration folder, created when missing, without a trailing separator.
QString ConfigFolder();
// Full path of the component's INI file in that folder.
QString IniFilePath();

} // namespace buslink
