#include "DialogService.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace kestrel2 {

QString ApplicationTitle()
{
    return QStringLiteral("Kestrel II");
}

DialogService& DialogService::instance()
{
    static DialogService service;
    return service;
}

namespace {
DialogAnswer firstButton(DialogButtons buttons)
{
    switch (buttons) {
    case DialogButtons::Ok:
    case DialogButtons::OkCancel: return DialogAnswer::Ok;
    case DialogButtons::YesNo:
    case DialogButtons::YesNoCancel: return DialogAnswer::Yes;
    case DialogButtons::RetryCancel: return DialogAnswer::Retry;
    }
    return DialogAnswer::Ok;
}

QMessageBox::StandardButtons standardButtons(DialogButtons buttons)
{
    switch (buttons) {
    case DialogButtons::Ok: return QMessageBox::Ok;
    case DialogButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case DialogButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case DialogButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case DialogButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

DialogAnswer answerOf(int button)
{
    switch (button) {
    case QMessageBox::Cancel: return DialogAnswer::Cancel;
    case QMessageBox::Abort: return DialogAnswer::Abort;
    case QMessageBox::Retry: return DialogAnswer::Retry;
    case QMessageBox::Ignore: return DialogAnswer::Ignore;
    case QMessageBox::Yes: return DialogAnswer::Yes;
    case QMessageBox::No: return DialogAnswer::No;
    default: return DialogAnswer::Ok;
    }
}

QMessageBox::Icon iconOf(DialogIcon icon)
{
    switch (icon) {
    case DialogIcon::Information: return QMessageBox::Information;
    case DialogIcon::Warning: return QMessageBox::Warning;
    case DialogIcon::Critical: return QMessageBox::Critical;
    case DialogIcon::Question: return QMessageBox::Question;
    case DialogIcon::None: break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

DialogAnswer DialogService::message(const QString& text, DialogButtons buttons, DialogIcon icon, const QString& title)
{
    MessageRecord record{title.isEmpty() ? ApplicationTitle() : title, text, buttons, icon, DialogAnswer::Ok};
    if (scripted) {
        if (!answers.isEmpty()) record.answer = answers.takeFirst();
        else if (responder) record.answer = responder(record);
        else record.answer = firstButton(buttons);
    } else {
        QMessageBox box(iconOf(icon), record.title, text, standardButtons(buttons), QApplication::activeWindow());
        record.answer = answerOf(box.exec());
    }
    messageLog.append(record);
    if (observer) observer(record);
    return record.answer;
}

QString DialogService::fileName(FileDialogKind kind, const QString& caption, const QString& presetFileName,
                                const QString& filter, QWidget* parent)
{
    FileDialogRecord record{kind, caption, presetFileName, filter, QString()};
    if (scripted) {
        record.answer = fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    } else {
        record.answer = kind == FileDialogKind::Open
                            ? QFileDialog::getOpenFileName(parent, caption, presetFileName, filter)
                            : QFileDialog::getSaveFileName(parent, caption, presetFileName, filter);
    }
    fileLog.append(record);
    return record.answer;
}

bool DialogService::printDialog(QPrinter& printer, const QString& caption, QWidget* parent)
{
    printLog.append(caption);
    if (scripted) {
        const QString pdfPath = printAnswers.isEmpty() ? QString() : printAnswers.takeFirst();
        if (pdfPath.isEmpty()) return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
        return true;
    }
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(caption);
    return dialog.exec() == QDialog::Accepted;
}

QStringList DialogService::messageTexts() const
{
    QStringList texts;
    for (const MessageRecord& m : messageLog) texts.append(m.text);
    return texts;
}

void DialogService::reset()
{
    answers.clear();
    fileAnswers.clear();
    messageLog.clear();
    fileLog.clear();
    printAnswers.clear();
    printLog.clear();
    responder = nullptr;
    observer = nullptr;
}

} // namespace kestrel2
