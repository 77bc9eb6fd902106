#include "PortMap.h"

#include "base/ConfigFolder.h"

#include <QSettings>

namespace buslink {

QString DefaultDevicePathForPort(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyUSB%1").arg(portNumber - 1);
#endif
}

QString DevicePathForPort(int portNumber)
{
    QSettings ini(IniFilePath(), QSettings::IniFormat);
    const QString mapped = ini.value(QStringLiteral("Ports/%1").arg(portNumber)).toString().trimmed();
    return mapped.isEmpty() ? DefaultDevicePathForPort(portNumber) : mapped;
}

} // namespace buslink
