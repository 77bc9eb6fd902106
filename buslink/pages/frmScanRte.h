#pragma once
// The scan route editor: a grid over the table ModScanRte of the scan
// database. It works directly on the file; closing it reloads the scan route.
// One window per process.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QSqlTableModel;
class QTableView;
class QToolButton;

namespace buslink {

class frmScanRte : public QWidget {
    Q_OBJECT
public:
    // Shows the editor without blocking; when it is open already, brings it forward.
    static frmScanRte* Open();
    // The open editor, or nullptr.
    static frmScanRte* Current();

    // Every message the editor shows goes through this hook; the default shows a QMessageBox.
    using MessageHook = std::function<void(QWidget* parent, const QString& text)>;
    static void setMessageHook(MessageHook hook);  // empty: the default

    ~frmScanRte() override;

    // The data source's caption, "Record: n".
    QString recordCaption() const;
    int currentRow() const;
    QSqlTableModel* model() const { return recordSet; }
    QTableView* grid() const { return grdDataGrid; }

    // The buttons.
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdRefresh_Click();
    void cmdUpdate_Click();
    void cmdClose_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    frmScanRte();
    void Form_Load();
    void moveTo(int row);
    void rowReached(int row);
    void aboutToAct();
    void dataError(const QString& description);
    void showMessage(const QString& text);
    bool saveEdits();  // false: the database refused them (the error has been shown)

    QString connectionName;
    QSqlTableModel* recordSet = nullptr;
    QWidget* datPrimaryRS = nullptr;
    QLabel* datCaption = nullptr;
    QTableView* grdDataGrid = nullptr;
    QWidget* picButtons = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdClose = nullptr;
    int lastModifiedRow = -1;
    int newRow = -1;             // the row added by Add and not saved yet
    bool newRowTouched = false;  // a value has been typed into it
};

} // namespace buslink
