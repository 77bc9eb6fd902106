#pragma once
// The printed configuration report of a document's record: the site, the
// engineer, the date and every parameter with its caption, value, unit and
// accepted range, laid out to the page it is printed on (A4 or Letter).
#include "ConfigurationDocument.h"

#include <QImage>
#include <QPageSize>
#include <QString>

class QPrinter;

namespace kestrel2 {

// The report as rich text (the layout both the printer and the preview use).
QString ReportHtml(const ConfigurationRecord& record);

// Prints every page on the printer and ends the job; false when the job could not be started.
bool PrintReport(QPrinter& printer, const ConfigurationRecord& record);

// The report's first page as an image of the given page size and resolution.
QImage RenderReportPage(const ConfigurationRecord& record, const QPageSize& pageSize = QPageSize(QPageSize::A4),
                        int dotsPerInch = 100);

} // namespace kestrel2
