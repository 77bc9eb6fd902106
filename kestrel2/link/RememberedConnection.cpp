#include "RememberedConnection.h"

#include <QSettings>
#include <QStandardPaths>

namespace kestrel2 {

namespace {
const QString Group = QStringLiteral("Connection");

QString entryAt(const QStringList& entries, int position)
{
    return position >= 0 && position < entries.size() ? entries.at(position) : QString();
}
} // namespace

QString ToolSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kestrel2/kestrel2.ini");
}

void RememberConnection(const ConnectionChoice& choice)
{
    QSettings settings(ToolSettingsPath(), QSettings::IniFormat);
    settings.beginGroup(Group);
    settings.setValue(QStringLiteral("Port"), entryAt(ComPortEntries(), choice.comPort));
    settings.setValue(QStringLiteral("Baud"), entryAt(BaudEntries(), choice.baud));
    settings.setValue(QStringLiteral("Parity"), entryAt(ParityEntries(), choice.parity));
    settings.setValue(QStringLiteral("StopBits"), entryAt(StopBitEntries(), choice.stopBits));
    settings.setValue(QStringLiteral("Address"), choice.address.trimmed());
    settings.endGroup();
    settings.sync();
}

std::optional<ConnectionChoice> RememberedConnection()
{
    QSettings settings(ToolSettingsPath(), QSettings::IniFormat);
    if (!settings.childGroups().contains(Group)) return std::nullopt;
    settings.beginGroup(Group);
    ConnectionChoice choice;
    choice.comPort = int(ComPortEntries().indexOf(settings.value(QStringLiteral("Port")).toString()));
    choice.baud = int(BaudEntries().indexOf(settings.value(QStringLiteral("Baud")).toString()));
    choice.parity = int(ParityEntries().indexOf(settings.value(QStringLiteral("Parity")).toString()));
    choice.stopBits = int(StopBitEntries().indexOf(settings.value(QStringLiteral("StopBits")).toString()));
    const QString address = settings.value(QStringLiteral("Address")).toString();
    if (SlaveAddressFromText(address)) choice.address = address;
    return choice;
}

} // namespace kestrel2
