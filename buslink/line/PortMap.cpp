#include "PortMap.h"

#include "base/ConfigFolder.h"

#include <QSettings>

namespace buslink {

QString DefaultDevicePathForPort(int portNumber)
{
    return QStringLiteral("/dev/ttyUSB%1").arg(portNumber - 1);
}

QString DevicePathForPort(int portNumber)
{
    QSettings ini(IniFilePath(), QSettings::IniFormat);
    const QString mapped = ini.value(QStringLiteral("Ports/%1").arg(portNumber)).toString().trimmed();
    return mapped.isEmpty() ? DefaultDevicePathForPort(portNumber) : mapped;
}

} // namespace buslink
