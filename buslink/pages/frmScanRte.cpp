#include "frmScanRte.h"

#include "scan/ScanRoute.h"

#include <QApplication>
#include <QAtomicInt>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace buslink {

namespace {

QPointer<frmScanRte>& openEditor()
{
    static QPointer<frmScanRte> editor;
    return editor;
}

frmScanRte::MessageHook& messageHook()
{
    static frmScanRte::MessageHook hook;
    return hook;
}

// The grid's columns: caption and bound field are the same.
const char* const kShownColumns[] = {"Start_reg", "End_reg", "Scan_rate", "ScanRegGroup"};

} // namespace

frmScanRte* frmScanRte::Open()
{
    // A console host has no windows to show.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    QPointer<frmScanRte>& editor = openEditor();
    if (!editor) {
        editor = new frmScanRte();
        editor->show();
        editor->Form_Load();
    }
    editor->show();
    editor->raise();
    editor->activateWindow();
    return editor;
}

frmScanRte* frmScanRte::Current()
{
    return openEditor();
}

void frmScanRte::setMessageHook(MessageHook hook)
{
    messageHook() = std::move(hook);
}

frmScanRte::frmScanRte()
{
    static QAtomicInt windows;
    connectionName = QStringLiteral("buslink-scan-editor-%1").arg(windows.fetchAndAddRelaxed(1));
    setObjectName(QStringLiteral("frmScanRte"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ScanRte"));

    grdDataGrid = new QTableView(this);
    grdDataGrid->setObjectName(QStringLiteral("grdDataGrid"));
    grdDataGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grdDataGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    grdDataGrid->horizontalHeader()->setStretchLastSection(true);

    // The data source strip: moves between rows and shows the current one.
    datPrimaryRS = new QWidget(this);
    datPrimaryRS->setObjectName(QStringLiteral("datPrimaryRS"));
    auto* dataLayout = new QHBoxLayout(datPrimaryRS);
    dataLayout->setContentsMargins(0, 0, 0, 0);
    const auto navigation = [&](const QString& text, const QString& tip, std::function<int()> target) {
        auto* b = new QToolButton(datPrimaryRS);
        b->setText(text);
        b->setToolTip(tip);
        connect(b, &QToolButton::clicked, this, [this, target] {
            if (recordSet && recordSet->rowCount() > 0) moveTo(target());
        });
        return b;
    };
    dataLayout->addWidget(navigation(QStringLiteral("|<"), QStringLiteral("First record"), [] { return 0; }));
    dataLayout->addWidget(navigation(QStringLiteral("<"), QStringLiteral("Previous record"),
                                     [this] { return qMax(0, currentRow() - 1); }));
    datCaption = new QLabel(datPrimaryRS);
    datCaption->setObjectName(QStringLiteral("datCaption"));
    datCaption->setAlignment(Qt::AlignCenter);
    datCaption->setFrameShape(QFrame::StyledPanel);
    dataLayout->addWidget(datCaption, 1);
    dataLayout->addWidget(navigation(QStringLiteral(">"), QStringLiteral("Next record"), [this] {
        return qMin(recordSet->rowCount() - 1, currentRow() + 1);
    }));
    dataLayout->addWidget(navigation(QStringLiteral(">|"), QStringLiteral("Last record"),
                                     [this] { return recordSet->rowCount() - 1; }));

    picButtons = new QWidget(this);
    picButtons->setObjectName(QStringLiteral("picButtons"));
    auto* buttonLayout = new QHBoxLayout(picButtons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    const auto button = [&](const char* name, const QString& text, void (frmScanRte::*click)()) {
        auto* b = new QPushButton(text, picButtons);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, click);
        buttonLayout->addWidget(b);
        return b;
    };
    cmdAdd = button("cmdAdd", QStringLiteral("&Add"), &frmScanRte::cmdAdd_Click);
    cmdDelete = button("cmdDelete", QStringLiteral("&Delete"), &frmScanRte::cmdDelete_Click);
    cmdRefresh = button("cmdRefresh", QStringLiteral("&Refresh"), &frmScanRte::cmdRefresh_Click);
    cmdUpdate = button("cmdUpdate", QStringLiteral("&Update"), &frmScanRte::cmdUpdate_Click);
    cmdClose = button("cmdClose", QStringLiteral("&Close"), &frmScanRte::cmdClose_Click);

    // The grid takes whatever height the two strips leave.
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdDataGrid, 1);
    layout->addWidget(datPrimaryRS);
    layout->addWidget(picButtons);
    resize(560, 360);
}

frmScanRte::~frmScanRte()
{
    delete recordSet;
    recordSet = nullptr;
    if (QSqlDatabase::contains(connectionName)) {
        QSqlDatabase::database(connectionName, false).close();
        QSqlDatabase::removeDatabase(connectionName);
    }
}

void frmScanRte::Form_Load()
{
    const QString path = ScanDatabasePath();
    setCursor(Qt::ArrowCursor);
    datCaption->setText(QString());
    if (!QFileInfo(path).isFile()) {
        // Opening would create an empty file; the editor works on an existing database only.
        dataError(QStringLiteral("Could not find file '%1'.").arg(QFileInfo(path).absoluteFilePath()));
        return;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    if (!db.open()) {
        dataError(db.lastError().text());
        return;
    }
    recordSet = new QSqlTableModel(nullptr, db);
    // Edits are kept until Update or until the user leaves the row (saveEdits).
    recordSet->setEditStrategy(QSqlTableModel::OnManualSubmit);
    recordSet->setTable(QStringLiteral("ModScanRte"));
    if (recordSet->lastError().isValid() || !recordSet->select()) {
        const QString text = recordSet->lastError().text();
        dataError(text.trimmed().isEmpty() ? QStringLiteral("Table 'ModScanRte' not found.") : text);
    }
    grdDataGrid->setModel(recordSet);
    const QSqlRecord fields = recordSet->record();
    for (int c = 0; c < fields.count(); ++c) grdDataGrid->setColumnHidden(c, true);
    int visual = 0;
    for (const char* name : kShownColumns) {
        const int c = fields.indexOf(QLatin1String(name));  // names match without regard to case
        if (c < 0) continue;
        grdDataGrid->setColumnHidden(c, false);
        recordSet->setHeaderData(c, Qt::Horizontal, QLatin1String(name));
        grdDataGrid->horizontalHeader()->moveSection(grdDataGrid->horizontalHeader()->visualIndex(c), visual++);
    }
    connect(grdDataGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (!current.isValid()) return;
                rowReached(current.row());
                // Leaving an edited row saves it, as a bound grid does; not inside the selection change.
                if (previous.isValid() && previous.row() != current.row() && recordSet->isDirty())
                    QTimer::singleShot(0, this, [this] {
                        const int row = currentRow();
                        if (saveEdits()) moveTo(qMin(row, recordSet->rowCount() - 1));
                    });
            });
    connect(recordSet, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& topLeft) {
        lastModifiedRow = topLeft.row();
        if (topLeft.row() == newRow) newRowTouched = true;
    });
    if (recordSet->rowCount() > 0) moveTo(0);
}

QString frmScanRte::recordCaption() const
{
    return datCaption->text();
}

int frmScanRte::currentRow() const
{
    const QModelIndex current = grdDataGrid->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void frmScanRte::moveTo(int row)
{
    if (!recordSet || row < 0 || row >= recordSet->rowCount()) return;
    aboutToAct();
    int column = grdDataGrid->currentIndex().isValid() ? grdDataGrid->currentIndex().column() : -1;
    if (column < 0 || grdDataGrid->isColumnHidden(column))
        column = grdDataGrid->horizontalHeader()->logicalIndex(0);
    grdDataGrid->setCurrentIndex(recordSet->index(row, column));
    rowReached(row);
}

void frmScanRte::rowReached(int row)
{
    setCursor(Qt::ArrowCursor);
    datCaption->setText(QStringLiteral("Record: %1").arg(row + 1));
}

void frmScanRte::aboutToAct()
{
    setCursor(Qt::WaitCursor);
}

void frmScanRte::dataError(const QString& description)
{
    setCursor(Qt::ArrowCursor);
    showMessage(QStringLiteral("Data error event hit err:") + description);
}

void frmScanRte::showMessage(const QString& text)
{
    if (messageHook()) {
        messageHook()(this, text);
        return;
    }
    QMessageBox::warning(this, windowTitle(), text);
}

void frmScanRte::cmdAdd_Click()
{
    if (!recordSet) return;
    // Last row, then one row down: the line for a new row.
    if (recordSet->rowCount() > 0) moveTo(recordSet->rowCount() - 1);
    grdDataGrid->setFocus();
    if (newRow >= 0) return;  // already on the line for a new row
    aboutToAct();
    const int row = recordSet->rowCount();
    if (!recordSet->insertRow(row)) {
        dataError(recordSet->lastError().text());
        return;
    }
    newRow = row;
    newRowTouched = false;
    lastModifiedRow = row;
    moveTo(row);
}

void frmScanRte::cmdDelete_Click()
{
    const int row = currentRow();
    if (!recordSet || row < 0) return;
    aboutToAct();
    if (row == newRow) {  // a new row not saved yet: just drop it
        recordSet->revertAll();
        newRow = -1;
    } else {
        const bool saved = saveEdits();  // a failed save has told the user already
        if (!saved || !recordSet->removeRow(row) || !recordSet->submitAll()) {
            if (saved && recordSet->lastError().isValid()) dataError(recordSet->lastError().text());
            recordSet->revertAll();
            newRow = -1;
            recordSet->select();
        }
    }
    // The next row, or the last one when the deleted row was the last.
    moveTo(qMin(row, recordSet->rowCount() - 1));
    if (recordSet->rowCount() == 0) datCaption->setText(QString());
}

void frmScanRte::cmdRefresh_Click()
{
    if (!recordSet) return;
    const int row = currentRow();
    aboutToAct();
    recordSet->revertAll();  // the grid shows the table as stored
    newRow = -1;
    if (!recordSet->select()) dataError(recordSet->lastError().text());
    moveTo(qBound(0, row, recordSet->rowCount() - 1));
    setCursor(Qt::ArrowCursor);
}

void frmScanRte::cmdUpdate_Click()
{
    if (!recordSet) return;
    // Taking the focus back from a cell editor hands its text to the row being saved.
    grdDataGrid->setFocus();
    const int modified = lastModifiedRow >= 0 ? lastModifiedRow : currentRow();
    aboutToAct();
    if (!saveEdits()) return;
    moveTo(qBound(0, modified, recordSet->rowCount() - 1));
    setCursor(Qt::ArrowCursor);
}

bool frmScanRte::saveEdits()
{
    if (!recordSet || !recordSet->isDirty()) return true;
    // A new row left without a value is no row: nothing to save.
    if (newRow >= 0 && !newRowTouched) {
        recordSet->revertRow(newRow);
        newRow = -1;
        if (!recordSet->isDirty()) return true;
    }
    aboutToAct();
    if (!recordSet->submitAll()) {
        dataError(recordSet->lastError().text());  // the edits stay for the user to put right
        return false;
    }
    newRow = -1;
    setCursor(Qt::ArrowCursor);
    return true;
}

void frmScanRte::cmdClose_Click()
{
    setCursor(Qt::ArrowCursor);
    close();
}

void frmScanRte::closeEvent(QCloseEvent* event)
{
    saveEdits();  // edits of the row being left are kept, as when leaving the row
    setCursor(Qt::ArrowCursor);
    // The read scan keeps the route it loaded until now.
    LoadScanRoute();
    event->accept();
    // Closed means gone: the next opening builds a new window with a new connection.
    if (openEditor() == this) openEditor() = nullptr;
}

} // namespace buslink
