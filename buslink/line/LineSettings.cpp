#include "LineSettings.h"

#include "base/BuslinkError.h"

#include <QFileInfo>
#include <QStringList>

namespace buslink {

LineSettings ParseLineSettings(const QString& text)
{
    const auto invalid = [&] {
        return BuslinkError(ErrInvalidPropertyValue, QStringLiteral("Invalid property value: settings \"%1\"").arg(text));
    };
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4) throw invalid();
    LineSettings s;
    bool ok = false;
    s.baudRate = fields[0].trimmed().toInt(&ok);
    if (!ok || s.baudRate <= 0) throw invalid();
    const QString parity = fields[1].trimmed().toLower();
    if (parity.size() != 1 || !QStringLiteral("neoms").contains(parity)) throw invalid();
    s.parity = parity[0].toLatin1();
    s.dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8) throw invalid();
    s.stopBits = fields[3].trimmed();
    if (s.stopBits != QLatin1String("1") && s.stopBits != QLatin1String("1.5") && s.stopBits != QLatin1String("2"))
        throw invalid();
    return s;
}

bool isPseudoTerminal(const QString& device)
{
    const QString real = QFileInfo(device).canonicalFilePath();
    return real.startsWith(QLatin1String("/dev/pts/")) || real == QLatin1String("/dev/ptmx");
}

} // namespace buslink
