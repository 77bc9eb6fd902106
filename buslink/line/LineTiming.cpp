#include "LineTiming.h"

#include "LineSettings.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace buslink {

double BitsPerCharacter(const LineSettings& settings)
{
    const double stop = settings.stopBits == QLatin1String("2")     ? 2.0
                        : settings.stopBits == QLatin1String("1.5") ? 1.5
                                                                     : 1.0;
    return 1.0 + settings.dataBits + (settings.parity == 'n' ? 0.0 : 1.0) + stop;
}

double CharacterTimeUs(const LineSettings& settings)
{
    return BitsPerCharacter(settings) * 1e6 / double(settings.baudRate > 0 ? settings.baudRate : 1);
}

int FrameSilenceUs(const LineSettings& settings)
{
    if (settings.baudRate > 19200) return 1750;
    return int(std::ceil(3.5 * CharacterTimeUs(settings)));
}

DeviceKind KindOfDevice(const QString& device)
{
    if (isPseudoTerminal(device)) return DeviceKind::PseudoTerminal;
    const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"))) return DeviceKind::UsbAdapter;
    return DeviceKind::Uart;
}

int ReceiveLatencyUs(const QString& device, const LineSettings& settings)
{
    switch (KindOfDevice(device)) {
    case DeviceKind::PseudoTerminal:
        return 0;
    case DeviceKind::UsbAdapter: {
        // FTDI adapters publish their latency timer (milliseconds).
        const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
        QFile timer(QStringLiteral("/sys/class/tty/%1/device/latency_timer").arg(name));
        int ms = 16;
        if (timer.open(QIODevice::ReadOnly)) {
            bool ok = false;
            const int read = timer.readAll().trimmed().toInt(&ok);
            if (ok && read >= 0 && read <= 255) ms = read;
        }
        return (ms + 1) * 1000;
    }
    case DeviceKind::Uart:
        return int(std::ceil(14 * CharacterTimeUs(settings))) + 1000;
    }
    return 0;
}

} // namespace buslink
