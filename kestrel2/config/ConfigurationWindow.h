#pragma once
// The configuration window: the actuator's Modbus settings and control
// parameters, bound to the working configuration document. Upload reads the
// block from the actuator, download validates and writes it back, and the
// file menu opens, saves and prints documents.
#include "ConfigurationDownload.h"

#include <QDateTime>
#include <QMainWindow>
#include <QMap>
#include <functional>

class QAction;
class QLabel;
class QLineEdit;

namespace kestrel2 {

class DocumentBinding;

class FrmKXConfig : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmKXConfig(QWidget* parent = nullptr);
    ~FrmKXConfig() override;

    // Menu steps, also run by the menu items of the same names.
    void Upload();              // "&Upload configuration"
    void Download();            // "&Download configuration"
    void OpenSavedFile();       // "&Open saved file"
    void SaveCurrentFile();     // "&Save current file"
    void PrintDocument();       // "&Print report"
    void ServiceNotes();        // "&Service notes"
    void ReturnToMainScreen();  // "&Main screen"
    void ShowMonitorAndControl();  // "&Monitor and control"

    // Asks for a file name and copies the working document to it; false when nothing was written.
    bool SaveDocument();
    // Stores the fields into the working document's first record.
    bool CommitRecord();

    // The texts the window's parameter fields show, by control name.
    FormValues formValues() const;
    bool isCommunicating() const { return communicating; }

    // Clock of the date stamp (tests fix it); the system clock when empty.
    static std::function<QDateTime()> clock;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class BusyScope;
    friend class BusyScope;

    void buildMenus();
    void buildForm();
    void loadWorkingDocument();
    void stampDate();
    void showDataError(const QString& description);
    void updateMaskBinary(const QString& maskText);
    QWidget* control(const QString& name) const;

    DocumentBinding* datPrimaryRS = nullptr;
    QMap<QString, QWidget*> controls;
    QLabel* LblDate = nullptr;
    QLabel* Toggle1 = nullptr;
    QLineEdit* txtMaskBinary = nullptr;
    bool communicating = false;
};

} // namespace kestrel2
