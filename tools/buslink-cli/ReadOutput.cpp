#include "ReadOutput.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>
#include <cmath>

namespace cli {

namespace {

// Values JSON has no number for: NaN, infinities, and a value that is not there.
bool noJsonNumber(const QVariant& value)
{
    const int type = value.typeId();
    return !value.isValid() || ((type == QMetaType::Float || type == QMetaType::Double) && !std::isfinite(value.toDouble()));
}

QString jsonString(const QString& text)
{
    // QJsonDocument does the escaping; the array brackets around it are dropped.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

bool OutputFormatFromName(const QString& name, OutputFormat& format)
{
    if (name == QLatin1String("text")) format = OutputFormat::Text;
    else if (name == QLatin1String("csv")) format = OutputFormat::Csv;
    else if (name == QLatin1String("json")) format = OutputFormat::Json;
    else return false;
    return true;
}

QString ValueText(const QVariant& value)
{
    char buf[64];
    switch (value.typeId()) {
    case QMetaType::Float: {
        const auto r = std::to_chars(buf, buf + sizeof buf, value.toFloat());
        return QString::fromLatin1(buf, int(r.ptr - buf));
    }
    case QMetaType::Double: {
        const auto r = std::to_chars(buf, buf + sizeof buf, value.toDouble(), std::chars_format::general, 10);
        return QString::fromLatin1(buf, int(r.ptr - buf));
    }
    default:
        return value.toString();
    }
}

QString TimestampText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

ReadPrinter::ReadPrinter(OutputFormat format, bool polling, QTextStream& out)
    : format(format), polling(polling), out(out)
{
}

void ReadPrinter::print(const ReadSample& sample)
{
    const QString time = TimestampText(sample.time);
    switch (format) {
    case OutputFormat::Text:
        if (polling) {
            out << time;
            for (int i = 0; i < sample.values.size(); ++i)
                out << ' ' << sample.references.value(i) << '=' << ValueText(sample.values[i]);
            out << '\n';
        } else {
            for (int i = 0; i < sample.values.size(); ++i)
                out << sample.references.value(i) << ' ' << ValueText(sample.values[i]) << '\n';
        }
        break;
    case OutputFormat::Csv:
        if (!headerDone) {
            out << "time";
            for (const QString& reference : sample.references) out << ',' << csvField(reference);
            out << '\n';
            headerDone = true;
        }
        out << time;
        for (const QVariant& value : sample.values) out << ',' << ValueText(value);
        out << '\n';
        break;
    case OutputFormat::Json: {
        out << "{\"time\":" << jsonString(time) << ",\"values\":[";
        for (int i = 0; i < sample.values.size(); ++i) {
            if (i > 0) out << ',';
            const QVariant& value = sample.values[i];
            out << "{\"reference\":" << jsonString(sample.references.value(i)) << ",\"value\":"
                << (noJsonNumber(value) ? QStringLiteral("null") : ValueText(value)) << '}';
        }
        out << "]}\n";
        break;
    }
    }
    out.flush();
}

} // namespace cli
