#include "StatusMap.h"

namespace kestrel2 {

const QStringList& StatusCaptions()
{
    static const QStringList captions{
        QStringLiteral("Actuator moving"),
        QStringLiteral("Fully closed"),
        QStringLiteral("Fully open"),
        QStringLiteral("Running closed"),
        QStringLiteral("Running open"),
        QStringLiteral("Selector switch in remote"),
        QStringLiteral("Selector switch in stop"),
        QStringLiteral("Selector switch in local"),
    };
    return captions;
}

const QStringList& AlarmCaptions()
{
    static const QStringList captions{
        QStringLiteral("Thermostat tripped"),
        QStringLiteral("Monitor relay active"),
        QStringLiteral("Valve obstructed"),
        QStringLiteral("Valve jammed"),
        QStringLiteral("Manual operation"),
        QStringLiteral("Motion inhibit timer active"),
        QStringLiteral("In positioning mode"),
        QStringLiteral("Watchdog recovery"),
        QStringLiteral("Low battery"),
        QStringLiteral("Open interlock active"),
        QStringLiteral("Closed interlock active"),
        QStringLiteral("Digital input #1 active"),
        QStringLiteral("Digital input #2 active"),
        QStringLiteral("Digital input #3 active"),
        QStringLiteral("Digital input #4 active"),
        QStringLiteral("Slow mode"),
    };
    return captions;
}

QColor DesignColour() { return QColor(64, 64, 64); }
QColor InactiveColour() { return QColor(161, 161, 161); }
QColor StatusActiveColour() { return QColor(255, 255, 0); }
QColor AlarmActiveColour() { return QColor(255, 0, 0); }

bool IsActive(qint32 value) { return value == 1; }
QColor StatusColour(qint32 value) { return IsActive(value) ? StatusActiveColour() : InactiveColour(); }
QColor AlarmColour(qint32 value) { return IsActive(value) ? AlarmActiveColour() : InactiveColour(); }

double GaugePercent(qint32 registerValue)
{
    return qint16(quint16(registerValue & 0xFFFF)) / 10.0;
}

QString RelayText(qint32 value) { return IsActive(value) ? QStringLiteral("ON") : QStringLiteral("OFF"); }

QString DisplayableTagName(const QString& tagName)
{
    QString shown;
    shown.reserve(tagName.size());
    for (QChar c : tagName)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F) shown.append(c);
    return shown;
}

QList<QColor> StatusColours(const QList<qint32>& statusValues)
{
    QList<QColor> colours;
    for (int k = 0; k < StatusCount; ++k) colours.append(StatusColour(statusValues.value(k, 0)));
    return colours;
}

QList<QColor> AlarmColours(const QList<qint32>& alarmValues)
{
    QList<QColor> colours;
    for (int k = 0; k < AlarmCount; ++k) colours.append(AlarmColour(alarmValues.value(k, 0)));
    return colours;
}

QStringList RelayTexts(const QList<qint32>& relayValues)
{
    QStringList texts;
    for (int k = 0; k < RelayCount; ++k) texts.append(RelayText(relayValues.value(k, 0)));
    return texts;
}

} // namespace kestrel2
