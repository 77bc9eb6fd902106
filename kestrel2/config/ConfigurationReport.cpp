#include "ConfigurationReport.h"

#include "ParameterMap.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTextDocument>

namespace kestrel2 {

namespace {
QString fieldOf(const QString& control)
{
    for (const DocumentField& f : DocumentFields())
        if (f.control == control) return f.field;
    return QString();
}

// Escaped for rich text; runs of blanks (the date stamp has them) are kept.
QString cell(const QString& text)
{
    static const QRegularExpression blankAfterBlank(QStringLiteral("(?<= ) "));
    return text.toHtmlEscaped().replace(blankAfterBlank, QStringLiteral("&nbsp;"));
}

QString valueText(const Parameter& p, const ConfigurationRecord& record)
{
    const QString value = record.value(fieldOf(p.control));
    if (p.control == QLatin1String("txtMask")) {
        if (const auto binary = MaskBinaryText(value)) return value + QStringLiteral("  (binary ") + *binary + ')';
    }
    return value;
}

// Lays the report out for a page of pageSize device pixels on device and paints page after page.
template <typename NewPage>
void paintPages(QPainter& painter, QPaintDevice* device, const QSizeF& pageSize, const ConfigurationRecord& record,
                int maxPages, NewPage newPage)
{
    QTextDocument document;
    document.documentLayout()->setPaintDevice(device);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPointSizeF(10);
    document.setDefaultFont(font);
    document.setDocumentMargin(0);
    document.setHtml(ReportHtml(record));
    document.setPageSize(pageSize);
    const int pages = std::min(document.pageCount(), maxPages);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) newPage();
        painter.save();
        painter.translate(0, -page * pageSize.height());
        document.drawContents(&painter, QRectF(QPointF(0, page * pageSize.height()), pageSize));
        painter.restore();
    }
}
} // namespace

QString ReportHtml(const ConfigurationRecord& record)
{
    QString html;
    html += QStringLiteral("<h2>Kestrel II &mdash; Modbus Configuration report</h2>");
    html += QStringLiteral("<table cellpadding=\"3\" width=\"100%\">");
    const QList<QPair<QString, QString>> heading = {
        {QStringLiteral("Site:"), record.value(QStringLiteral("Site"))},
        {QStringLiteral("Service Engineer:"), record.value(QStringLiteral("Service Engineer"))},
        {QStringLiteral("Date configuration downloaded to actuator:"), record.value(QStringLiteral("Date"))},
    };
    for (const auto& row : heading)
        html += QStringLiteral("<tr><td nowrap><b>%1</b></td><td>%2</td></tr>").arg(cell(row.first), cell(row.second));
    html += QStringLiteral("</table>");
    html += QStringLiteral("<h3>Configuration</h3>");
    html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\" "
                           "style=\"border-collapse: collapse; border-color: #808080;\">");
    html += QStringLiteral("<tr style=\"background-color: #e8e8e8;\"><th align=\"left\">Parameter</th>"
                           "<th align=\"left\">Register</th><th align=\"left\">Value</th>"
                           "<th align=\"left\">Unit</th><th align=\"left\">Range</th></tr>");
    for (const Parameter& p : ParameterMap()) {
        const QString registers = p.registers > 1 ? QStringLiteral("%1-%2").arg(p.reference).arg(p.reference + p.registers - 1)
                                                  : QString::number(p.reference);
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td></tr>")
                    .arg(cell(p.caption), registers, cell(valueText(p, record)), cell(p.unit), cell(p.rangeLabel));
    }
    html += QStringLiteral("</table>");
    return html;
}

bool PrintReport(QPrinter& printer, const ConfigurationRecord& record)
{
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QSizeF page = printer.pageLayout().paintRectPixels(printer.resolution()).size();
    bool pageFailed = false;
    paintPages(painter, &printer, page, record, 100, [&] { pageFailed = pageFailed || !printer.newPage(); });
    return painter.end() && !pageFailed;
}

QImage RenderReportPage(const ConfigurationRecord& record, const QPageSize& pageSize, int dotsPerInch)
{
    const QSize paper = pageSize.sizePixels(dotsPerInch);
    QImage image(paper, QImage::Format_RGB32);
    const int dotsPerMeter = int(dotsPerInch / 0.0254 + 0.5);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    // The same margins a printer gets by default: 15 mm.
    const qreal margin = 15.0 / 25.4 * dotsPerInch;
    QPainter painter(&image);
    painter.translate(margin, margin);
    paintPages(painter, &image, QSizeF(paper.width() - 2 * margin, paper.height() - 2 * margin), record, 1, [] {});
    painter.end();
    return image;
}

} // namespace kestrel2
