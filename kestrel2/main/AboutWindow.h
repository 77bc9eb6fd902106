#pragma once
// The about window: title, version, what the tool is for, and a button that
// starts the desktop's system information program.
#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;

namespace kestrel2 {

// The system information program: the first of SystemInformationPrograms()
// found on the PATH; empty when there is none.
QString SystemInformationProgram();
// Names looked for on the PATH, in order of preference.
QStringList SystemInformationPrograms();
// Replaces the names looked for (tests); an empty list restores the usual ones.
void SetSystemInformationPrograms(const QStringList& names);
// What QSysInfo reports, one "Name: value" line each, for the fallback message.
QString SystemInformationSummary();

class FrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit FrmAbout(QWidget* parent = nullptr);

    QLabel* lblTitle() const { return title; }
    QLabel* lblVersion() const { return version; }
    QLabel* Label1() const { return description; }
    QLabel* Picture1() const { return picture; }
    QPushButton* cmdOK() const { return okButton; }
    QPushButton* cmdSysInfo() const { return sysInfoButton; }

    // Starts the system information program and returns at once; this window stays open.
    void StartSysInfo();

private:
    QLabel* title = nullptr;
    QLabel* version = nullptr;
    QLabel* description = nullptr;
    QLabel* picture = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* sysInfoButton = nullptr;
};

} // namespace kestrel2
