#pragma once
// The one place through which the tool shows messages and file dialogs.
// In normal use it shows real dialogs; tests switch it to scripted mode,
// queue the answers and read back every dialog that was asked for.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QPrinter;
class QWidget;

namespace kestrel2 {

// The tool's title, used for message box titles and the about window.
QString ApplicationTitle();

enum class DialogButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class DialogIcon { None, Information, Warning, Critical, Question };
enum class DialogAnswer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };
enum class FileDialogKind { Open, Save };

struct MessageRecord {
    QString title;
    QString text;
    DialogButtons buttons = DialogButtons::Ok;
    DialogIcon icon = DialogIcon::None;
    DialogAnswer answer = DialogAnswer::Ok;
};

struct FileDialogRecord {
    FileDialogKind kind = FileDialogKind::Open;
    QString caption;
    QString presetFileName;  // the file name the dialog started with
    QString filter;
    QString answer;          // empty: cancelled
};

class DialogService {
public:
    static DialogService& instance();

    // A modal message box; returns the button pressed. Empty title: the application's title.
    DialogAnswer message(const QString& text, DialogButtons buttons = DialogButtons::Ok,
                         DialogIcon icon = DialogIcon::None, const QString& title = QString());
    // A file dialog; returns the chosen path, or an empty text when the user cancelled.
    QString fileName(FileDialogKind kind, const QString& caption, const QString& presetFileName,
                     const QString& filter, QWidget* parent = nullptr);
    // A print dialog that sets up the printer; returns false when the user cancelled.
    bool printDialog(QPrinter& printer, const QString& caption, QWidget* parent = nullptr);

    // ---- Test seam --------------------------------------------------------
    // Scripted mode: nothing is shown; answers come from the queues (or the responder).
    void setScripted(bool on) { scripted = on; }
    bool isScripted() const { return scripted; }
    void queueAnswer(DialogAnswer answer) { answers.append(answer); }
    void queueFileName(const QString& path) { fileAnswers.append(path); }  // empty text = cancel
    // Scripted print dialogs print into the queued PDF file; an empty text or an empty queue = cancel.
    void queuePrintToFile(const QString& pdfPath) { printAnswers.append(pdfPath); }
    // Called for a message when the queue is empty; without it the first button is the answer.
    std::function<DialogAnswer(const MessageRecord&)> responder;
    // Called once a message has been answered (lets a test react while the tool waits).
    std::function<void(const MessageRecord&)> observer;
    const QList<MessageRecord>& messages() const { return messageLog; }
    const QList<FileDialogRecord>& fileDialogs() const { return fileLog; }
    const QStringList& printDialogs() const { return printLog; }  // the captions, in order
    QStringList messageTexts() const;
    void reset();  // clears queues, logs and hooks; keeps the mode

private:
    DialogService() = default;
    bool scripted = false;
    QList<DialogAnswer> answers;
    QStringList fileAnswers;
    QList<MessageRecord> messageLog;
    QList<FileDialogRecord> fileLog;
    QStringList printAnswers;
    QStringList printLog;
};

} // namespace kestrel2
