#pragma once
// The actuator's live-status points as the monitor window shows them: which
// inputs, registers and coils it reads, their captions, and how a value read
// becomes a colour, a gauge percentage or a relay text. Pure: no window, no port.
#include "base/BoundedArray.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace kestrel2 {

constexpr int PollingIntervalMs = 3500;

// Status: the first eight of sixteen discrete inputs read from 10001.
constexpr int StatusFirstInput = 10001;
constexpr int StatusReadCount = 16;
constexpr int StatusCount = 8;
// Alarms: sixteen discrete inputs from 10009.
constexpr int AlarmFirstInput = 10009;
constexpr int AlarmCount = 16;
// Gauges: one input register each, tenths of a percent.
constexpr int ValvePositionRegister = 30004;
constexpr int TorqueRegister = 30003;
constexpr int AnalogInputRegister = 30005;
// Output relays 1 to 4 are coils 5 to 8.
constexpr int RelayFirstCoil = 5;
constexpr int RelayCount = 4;

// Captions, index 0 first (top of the column).
const QStringList& StatusCaptions();
const QStringList& AlarmCaptions();

// Label colours.
QColor DesignColour();          // before the first tick
QColor InactiveColour();
QColor StatusActiveColour();
QColor AlarmActiveColour();

// An input counts as active only when its value is exactly 1.
bool IsActive(qint32 value);
QColor StatusColour(qint32 value);
QColor AlarmColour(qint32 value);

// A gauge register (tenths of a percent) as a percentage. The register is taken
// as a signed 16-bit integer, so 65526 (an unsigned read of -10) gives -1.0.
double GaugePercent(qint32 registerValue);
// "ON" for exactly 1, "OFF" for anything else.
QString RelayText(qint32 value);

// A tag name as a label shows it: control characters (the NULs of an unused
// tail, stray line breaks) are dropped so they cannot upset the layout.
QString DisplayableTagName(const QString& tagName);

// Colours of a tick from the values read at 10001 (at least 8 used) and 10009 (16).
QList<QColor> StatusColours(const QList<qint32>& statusValues);
QList<QColor> AlarmColours(const QList<qint32>& alarmValues);
QStringList RelayTexts(const QList<qint32>& relayValues);

} // namespace kestrel2
