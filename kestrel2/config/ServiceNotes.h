#pragma once
// "Service notes" opens the engineer's plain-text notes file in the desktop's
// default editor, without waiting for it. The launcher is a seam so tests can
// check what would be opened without starting an editor.
#include <QString>
#include <QUrl>
#include <functional>

namespace kestrel2 {

// service-notes.txt in the per-user data folder, beside the working document.
QString ServiceNotesPath();

using ServiceNotesLauncher = std::function<bool(const QUrl&)>;
// Replaces the launcher (QDesktopServices::openUrl); an empty function restores it.
void SetServiceNotesLauncher(ServiceNotesLauncher launcher);

// Creates the notes file when missing and hands it to the launcher; false with the reason on failure.
bool OpenServiceNotes(QString* error = nullptr);

} // namespace kestrel2
