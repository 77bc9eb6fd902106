#include "ServiceNotes.h"

#include "ConfigurationDocument.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestrel2 {

namespace {
ServiceNotesLauncher& launcher()
{
    static ServiceNotesLauncher current;
    return current;
}
} // namespace

QString ServiceNotesPath()
{
    return QFileInfo(WorkingDocumentPath()).absolutePath() + QStringLiteral("/service-notes.txt");
}

void SetServiceNotesLauncher(ServiceNotesLauncher replacement) { launcher() = std::move(replacement); }

bool OpenServiceNotes(QString* error)
{
    const QString path = ServiceNotesPath();
    if (!QFileInfo::exists(path)) {
        QFile notes(path);
        // Append mode creates the file without touching one that appeared meanwhile.
        if (!notes.open(QIODevice::Append | QIODevice::Text)) {
            if (error) *error = QStringLiteral("Cannot create %1: %2").arg(QDir::toNativeSeparators(path), notes.errorString());
            return false;
        }
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const bool started = launcher() ? launcher()(url) : QDesktopServices::openUrl(url);
    if (!started && error) *error = QStringLiteral("No text editor could be started for %1").arg(QDir::toNativeSeparators(path));
    return started;
}

} // namespace kestrel2
