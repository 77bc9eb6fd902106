#pragma once
// Binds a window's controls to the fields of a configuration document's first
// record. Edits stay in the controls until commit() stores them; load() shows
// the record. Each call opens the document for that one step and closes it again.
#include "ConfigurationDocument.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace kestrel2 {

class DocumentBinding : public QObject {
    Q_OBJECT
public:
    explicit DocumentBinding(QObject* parent = nullptr);

    void setDocumentPath(const QString& path) { documentPath = path; }
    QString path() const { return documentPath; }
    // Binds a line edit, combo box (by its entry text) or label to a field.
    void bind(const QString& field, QWidget* control);

    // Shows the first record in the bound controls.
    bool load();
    // Stores the bound controls into the first record.
    bool commit();
    // The record as the bound controls show it.
    ConfigurationRecord currentRecord() const;

    // Reported data errors (the description); the window shows them.
    std::function<void(const QString&)> dataError;

    static QString controlText(const QWidget* control);
    static void setControlText(QWidget* control, const QString& text);

private:
    void report(const QString& description);

    QString documentPath;
    QList<QPair<QString, QWidget*>> bindings;
};

} // namespace kestrel2
