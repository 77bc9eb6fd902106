#pragma once
// The torque profile of the last strokes: the registers the profile window
// reads, the chart's fixed layout and the texts it fills in. Pure.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace kestrel2 {

// Torque at 0 %, 10 % ... 100 % position of the last opening and closing strokes.
constexpr int OpenStrokeRegister = 400035;
constexpr int ClosedStrokeRegister = 400046;
constexpr int ProfilePoints = 11;
// Element 1: closed torque switch setting, element 2: open (% rated).
constexpr int TorqueSwitchRegister = 400033;
constexpr int TorqueSwitchCount = 2;
// Elements 1 + 2: closed contactor operations, elements 3 + 4: open.
constexpr int OperationsRegister = 400057;
constexpr int OperationsCount = 4;
// The tag name is read as elements 19 to 24 of a block from 40009.
constexpr int ProfileTagBlockRegister = 40009;
constexpr int ProfileTagBlockCount = 24;
constexpr int ProfileTagFirstElement = 19;

constexpr double TorqueAxisMaximum = 120;

// Category labels of the chart rows: "0", "10" ... "100".
QStringList PositionCategories();

// An operation count kept in two registers, shown as their sum.
QString OperationCountText(qint32 first, qint32 second);

// The profile as a CSV table: the tag name and the time of reading (ISO 8601,
// local time; "not read" when invalid) on a line each, then the header and one
// row per position (0 ... 100): position, open stroke torque, closed stroke torque.
QString ProfileCsv(const QString& tagName, const QDateTime& readAt, const QList<double>& openStroke,
                   const QList<double>& closedStroke);
// A CSV field: quoted (quotes doubled) when it holds a comma, a quote or a line break.
QString CsvField(const QString& text);

// The name the user typed with the extension added when it has none.
QString WithDefaultSuffix(const QString& fileName, const QString& suffix);

} // namespace kestrel2
