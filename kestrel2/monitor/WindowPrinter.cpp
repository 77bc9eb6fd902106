#include "WindowPrinter.h"

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace kestrel2 {

namespace {
bool pdfOnly = false;
}

void WindowPrinter::setPdfOnly(bool on) { pdfOnly = on; }

bool WindowPrinter::HasPrinter()
{
    return !pdfOnly && !QPrinterInfo::defaultPrinterName().isEmpty();
}

QString WindowPrinter::CurrentPrinterName()
{
    return HasPrinter() ? QPrinterInfo::defaultPrinterName() : PdfPrinterName();
}

WindowPrinter::Result WindowPrinter::Print(const QImage& image, const QString& pdfPath)
{
    QPrinter printer(QPrinter::HighResolution);
    if (!pdfPath.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
    } else {
        printer.setPrinterName(QPrinterInfo::defaultPrinterName());
    }
    printer.setPageOrientation(image.width() > image.height() ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setDocName(QStringLiteral("Torque profile"));

    QPainter painter;
    if (image.isNull() || !painter.begin(&printer)) return Result::PaintFailed;
    const QRect page = painter.viewport();
    const QSize fitted = image.size().scaled(page.size(), Qt::KeepAspectRatio);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(page.x() + (page.width() - fitted.width()) / 2, page.y()), fitted), image);
    return painter.end() ? Result::Printed : Result::EndFailed;
}

} // namespace kestrel2
