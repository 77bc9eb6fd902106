#pragma once
// Prints a window's image on the current printer: the system's default
// printer, or a PDF file where the system has none.
#include <QString>

class QImage;

namespace kestrel2 {

class WindowPrinter {
public:
    enum class Result { Printed, PaintFailed, EndFailed };

    // True when a system printer is the current printer.
    static bool HasPrinter();
    // The current printer's name; PdfPrinterName() where there is no printer.
    static QString CurrentPrinterName();
    static QString PdfPrinterName() { return QStringLiteral("Print to PDF"); }

    // Prints the image, scaled to fit the page, and ends the job. With a pdfPath
    // the job goes into that file instead of the current printer.
    static Result Print(const QImage& image, const QString& pdfPath = QString());

    // Test seam: behave as if the system had no printer, so jobs go to PDF files.
    static void setPdfOnly(bool on);
};

} // namespace kestrel2
