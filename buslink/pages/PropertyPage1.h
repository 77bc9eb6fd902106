#pragma once
// The design-time property page: six properties of the first selected
// component instance as text fields. Applying sets them in a fixed order; a
// property that rejects its text stops the rest.
#include <QList>
#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;

namespace buslink {

class Buslink;

class PropertyPage1 : public QWidget {
    Q_OBJECT
public:
    explicit PropertyPage1(QWidget* parent = nullptr);

    // The host's selection changed: the fields show the first instance's properties.
    void SelectionChanged(const QList<Buslink*>& selectedControls);
    // The host applies the page: NumOfWriteRetries, NumOfReadRetries, CommPort,
    // Address, Settings, ReplyTimeout, each from its field's text. Throws the first property's
    // error (BuslinkError); the properties after it are not set.
    void ApplyChanges();

    bool Changed() const { return changed; }
    void setChanged(bool on);

    QLineEdit* txtNumOfWriteRetries = nullptr;
    QLineEdit* txtNumOfReadRetries = nullptr;
    QLineEdit* txtCommPort = nullptr;
    QLineEdit* txtAddress = nullptr;
    QLineEdit* txtSettings = nullptr;
    QLineEdit* txtReplyTimeout = nullptr;  // milliseconds

signals:
    // An edit marked the page as changed (the host offers to apply it).
    void changedChanged(bool changed);

private:
    QPointer<Buslink> selected;
    bool changed = false;
};

} // namespace buslink
