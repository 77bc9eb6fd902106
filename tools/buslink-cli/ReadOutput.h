#pragma once
// How `read` prints what it read: plain text, CSV or JSON, once or once per poll.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QVariant>

namespace cli {

enum class OutputFormat { Text, Csv, Json };

// The name on the command line ("text", "csv", "json"); false when unknown.
bool OutputFormatFromName(const QString& name, OutputFormat& format);

// One read: when it was taken, and the values with the reference each starts at.
struct ReadSample {
    QDateTime time;
    QStringList references;
    QList<QVariant> values;
};

// Prints samples as they come:
//   text, one read:  "40001 7" per value
//   text, polling:   "2025-01-31T14:03:07.123 40001=7 40002=0" per poll
//   csv:             a header "time,40001,40002" once, then one row per read
//   json:            one object per read and line:
//                    {"time":"2025-01-31T14:03:07.123","values":[{"reference":"40001","value":7},...]}
// JSON has no NaN or infinity: such values are printed as null there (and as nan, inf, -inf elsewhere).
class ReadPrinter {
public:
    ReadPrinter(OutputFormat format, bool polling, QTextStream& out);
    void print(const ReadSample& sample);

private:
    OutputFormat format;
    bool polling;
    QTextStream& out;
    bool headerDone = false;
};

// A value as printed: integers plainly, floats in their shortest exact form.
QString ValueText(const QVariant& value);
// The time of a sample as printed: local time to the millisecond.
QString TimestampText(const QDateTime& time);

} // namespace cli
