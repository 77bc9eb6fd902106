#pragma once
// Configuration documents: SQLite files (".avc") with one table, mastertable,
// whose first record holds one actuator's configuration as the window shows it
// (texts as typed, list entries by their text), with the site, the service
// engineer and the date. The window always works on the working document; open
// and save are whole-file copies that never leave a half-written file behind.
#include <QList>
#include <QMap>
#include <QString>

namespace kestrel2 {

// One field of mastertable and the window control bound to it.
struct DocumentField {
    QString field;
    QString control;
};
// The document's fields in table order.
const QList<DocumentField>& DocumentFields();

// Field name -> text.
using ConfigurationRecord = QMap<QString, QString>;

// actconfig.avc in the per-user data folder (the folder is created when missing).
QString WorkingDocumentPath();
// Creates the working document from the built-in empty document when it does not exist.
bool EnsureWorkingDocument(QString* error = nullptr);
// Writes an empty document (schema and one empty record) to path, replacing it.
bool CreateEmptyDocument(const QString& path, QString* error = nullptr);

// Empty when path is a configuration document (an SQLite file whose mastertable has
// every field and at least one record); otherwise why it is not, for the user.
QString CheckDocument(const QString& path);

// The first record; a document whose table is empty gives an all-empty record.
bool ReadFirstRecord(const QString& path, ConfigurationRecord& record, QString* error = nullptr);
// Stores the record as the document's first record (inserting it into an empty table).
bool WriteFirstRecord(const QString& path, const ConfigurationRecord& record, QString* error = nullptr);

// Copies a document to target: the copy is written beside the target, checked and
// renamed into place, so the target is either the old file or the whole new one.
// A source that is not a configuration document is refused.
bool CopyDocument(const QString& source, const QString& target, QString* error = nullptr);

// The file a save writes for the name the save dialog returned: the name itself when it ends
// in ".avc" (letter case counts), else the name with ".avc" appended. Empty when the dialog
// was cancelled (nothing chosen, or the preset "*.avc" unchanged).
QString SaveTargetName(const QString& chosen);

// Copies are written as ".<target name>.kestrel2-save-XXXXXX" beside their target. One
// that a save killed half-way left behind is removed by the next copy into that
// folder (or RemoveLeftoverCopies); nothing else is ever removed: only names of this
// pattern, only plain files, and only when no save holds them locked.
extern const QString LeftoverCopyMark;  // ".kestrel2-save-"
bool IsLeftoverCopyName(const QString& fileName);
// Removes such leftovers from the folder; the number removed.
int RemoveLeftoverCopies(const QString& folder);

// The preset file name of the open and save dialogs.
QString DocumentFileNamePreset();
QString DocumentFileFilter();

} // namespace kestrel2
