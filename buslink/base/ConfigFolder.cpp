#include "ConfigFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace buslink {

QString ConfigFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                           + QStringLiteral("/buslink");
    QDir().mkpath(folder);
    return folder;
}

QString IniFilePath()
{
    return ConfigFolder() + QStringLiteral("/RAD.INI");
}

} // namespace buslink
