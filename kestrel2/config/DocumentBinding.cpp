#include "DocumentBinding.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace kestrel2 {

DocumentBinding::DocumentBinding(QObject* parent) : QObject(parent) {}

void DocumentBinding::bind(const QString& field, QWidget* control) { bindings.append({field, control}); }

QString DocumentBinding::controlText(const QWidget* control)
{
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
    if (auto* list = qobject_cast<const QComboBox*>(control)) return list->currentIndex() < 0 ? QString() : list->currentText();
    if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    return QString();
}

void DocumentBinding::setControlText(QWidget* control, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
    } else if (auto* list = qobject_cast<QComboBox*>(control)) {
        // A text that is not one of the entries selects nothing.
        list->setCurrentIndex(list->findText(text));
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    }
}

ConfigurationRecord DocumentBinding::currentRecord() const
{
    ConfigurationRecord record;
    for (const auto& b : bindings) record.insert(b.first, controlText(b.second));
    return record;
}

bool DocumentBinding::load()
{
    ConfigurationRecord record;
    QString error;
    if (!ReadFirstRecord(documentPath, record, &error)) {
        report(error);
        return false;
    }
    for (const auto& b : bindings) setControlText(b.second, record.value(b.first));
    return true;
}

bool DocumentBinding::commit()
{
    QString error;
    if (!WriteFirstRecord(documentPath, currentRecord(), &error)) {
        report(error);
        return false;
    }
    return true;
}

void DocumentBinding::report(const QString& description)
{
    if (dataError) dataError(description);
}

} // namespace kestrel2
