#include "PropertyBag.h"

#include "DesignPages.h"

#include <QCoreApplication>
#include <QSettings>

namespace buslink {

QVariant MemoryPropertyBag::read(const QString& key, const QVariant& defaultValue) const
{
    return values.value(key, defaultValue);
}

void MemoryPropertyBag::write(const QString& key, const QVariant& value, const QVariant& defaultValue)
{
    Q_UNUSED(defaultValue);
    values.insert(key, value);
}

SettingsPropertyBag::SettingsPropertyBag(QSettings& settings, const QString& group)
    : settings(settings), group(group)
{
}

QVariant SettingsPropertyBag::read(const QString& key, const QVariant& defaultValue) const
{
    return settings.value(group + QLatin1Char('/') + key, defaultValue);
}

void SettingsPropertyBag::write(const QString& key, const QVariant& value, const QVariant& defaultValue)
{
    Q_UNUSED(defaultValue);
    settings.setValue(group + QLatin1Char('/') + key, value);
}

QString RunModeHost::ambientFont() const
{
    // Console hosts have no GUI application and so no application font to offer; the
    // widgets library tells the font of one that has.
    const auto& font = RegisteredDesignPages().ambientFont;
    return font ? font() : QString();
}

} // namespace buslink
