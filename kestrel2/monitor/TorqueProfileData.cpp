#include "TorqueProfileData.h"

#include <QFileInfo>

namespace kestrel2 {

QStringList PositionCategories()
{
    QStringList labels;
    for (int k = 0; k < ProfilePoints; ++k) labels.append(QString::number(10 * k));
    return labels;
}

QString OperationCountText(qint32 first, qint32 second)
{
    // Summed in 64 bits: two large register values must not wrap.
    return QString::number(qint64(first) + qint64(second));
}

QString CsvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\r')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString ProfileCsv(const QString& tagName, const QDateTime& readAt, const QList<double>& openStroke,
                   const QList<double>& closedStroke)
{
    QString csv = QStringLiteral("Tag name,") + CsvField(tagName) + QStringLiteral("\r\n");
    csv += QStringLiteral("Time of reading,") +
           (readAt.isValid() ? readAt.toString(Qt::ISODate) : QStringLiteral("not read")) + QStringLiteral("\r\n");
    csv += QStringLiteral("Valve position % open,Open stroke torque % rated,Closed stroke torque % rated\r\n");
    const QStringList positions = PositionCategories();
    auto cell = [](const QList<double>& series, int k) {
        return k < series.size() ? QString::number(series.at(k), 'g', 12) : QString();
    };
    for (int k = 0; k < ProfilePoints; ++k)
        csv += positions.at(k) + ',' + cell(openStroke, k) + ',' + cell(closedStroke, k) + QStringLiteral("\r\n");
    return csv;
}

QString WithDefaultSuffix(const QString& fileName, const QString& suffix)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty()) return fileName;
    return fileName + '.' + suffix;
}

} // namespace kestrel2
