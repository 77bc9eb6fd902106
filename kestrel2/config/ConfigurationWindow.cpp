#include "ConfigurationWindow.h"

#include "ConfigurationDocument.h"
#include "ConfigurationReport.h"
#include "DocumentBinding.h"
#include "ParameterMap.h"
#include "ServiceNotes.h"
#include "link/ConnectionWindow.h"
#include "link/RegisterAccess.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPageLayout>
#include <QPrinter>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrel2 {

namespace {
const QString LineBreak = QStringLiteral("\r\n");

const QString DownloadQuestion =
    QStringLiteral("This action will modify the configuration of the actuator!!") + LineBreak +
    QStringLiteral("              Do You want to Continue?");
const QString CyclePowerQuestion =
    QStringLiteral("If you have modified the communicatons parameters of the actuator, you will need ") + LineBreak +
    QStringLiteral("to cycle the actuator power for the new settings to take effect.") + LineBreak + LineBreak +
    QStringLiteral("Are you going to cycle the power now?");
const QString ConfirmSettingsText = QStringLiteral(
    "Please confirm the communication settings in this program match the new parameters set in the actuator.");
const QString SaveQuestion = QStringLiteral("Do you want to save the configuration");
const QString PrintQuestion =
    QStringLiteral("You need a printer connected, or a PDF file to print to, to use the Print Function") + LineBreak +
    QStringLiteral(" Do you want to continue?");
const QString PrintFailure = QStringLiteral(
    "Unable to print.  Either you do not have a printer connected or the report could not be written to the chosen file.");

// Widths in average characters, so the form scales with the font.
int charactersWide(const QWidget* widget, int characters)
{
    return widget->fontMetrics().averageCharWidth() * characters + 16;
}
} // namespace

std::function<QDateTime()> FrmKXConfig::clock;

// Shows the busy indicator and keeps the menus and the close box from starting a
// second operation while register access lets events run.
class FrmKXConfig::BusyScope {
public:
    explicit BusyScope(FrmKXConfig& window) : w(window)
    {
        w.communicating = true;
        w.menuBar()->setEnabled(false);
        w.Toggle1->show();
        w.setCursor(Qt::WaitCursor);
    }
    ~BusyScope() { end(); }
    void end()
    {
        if (!active) return;
        active = false;
        w.Toggle1->hide();
        w.unsetCursor();
        w.menuBar()->setEnabled(true);
        w.communicating = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    FrmKXConfig& w;
    bool active = true;
};

FrmKXConfig::FrmKXConfig(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmKXConfig"));
    setWindowTitle(QStringLiteral("Modbus Configuration"));
    datPrimaryRS = new DocumentBinding(this);
    datPrimaryRS->setObjectName(QStringLiteral("datPrimaryRS"));
    datPrimaryRS->dataError = [this](const QString& description) { showDataError(description); };
    buildMenus();
    buildForm();
    for (const DocumentField& f : DocumentFields()) datPrimaryRS->bind(f.field, control(f.control));
    loadWorkingDocument();
}

FrmKXConfig::~FrmKXConfig() = default;

void FrmKXConfig::buildMenus()
{
    auto item = [this](QMenu* menu, const QString& text, const QString& name, void (FrmKXConfig::*step)()) {
        QAction* action = menu ? menu->addAction(text) : menuBar()->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, [this, step] { (this->*step)(); });
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    item(file, QStringLiteral("&Open saved file"), QStringLiteral("MnuOpen"), &FrmKXConfig::OpenSavedFile)
        ->setShortcut(QKeySequence::Open);
    item(file, QStringLiteral("&Save current file"), QStringLiteral("mnuSave"), &FrmKXConfig::SaveCurrentFile)
        ->setShortcut(QKeySequence::Save);
    item(file, QStringLiteral("&Print report"), QStringLiteral("MnuPrint"), &FrmKXConfig::PrintDocument)
        ->setShortcut(QKeySequence::Print);
    item(nullptr, QStringLiteral("&Upload configuration"), QStringLiteral("mnuUpload"), &FrmKXConfig::Upload);
    item(nullptr, QStringLiteral("&Download configuration"), QStringLiteral("MNUDownload"), &FrmKXConfig::Download);
    item(nullptr, QStringLiteral("&Main screen"), QStringLiteral("MnuReturn"), &FrmKXConfig::ReturnToMainScreen);
    // "M" is the main screen's: the monitor takes "o".
    item(nullptr, QStringLiteral("M&onitor and control"), QStringLiteral("MnuKXgroup"),
         &FrmKXConfig::ShowMonitorAndControl);
    item(nullptr, QStringLiteral("&Service notes"), QStringLiteral("mnuServiceNotes"), &FrmKXConfig::ServiceNotes);
    QAction* help = menuBar()->addAction(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("MnuHelp"));
    connect(help, &QAction::triggered, this, [] { ShowHelpPrompt(); });
}

void FrmKXConfig::buildForm()
{
    auto* central = new QWidget(this);
    auto* page = new QVBoxLayout(central);

    // Document heading: site, engineer and the date stamp.
    auto* heading = new QFormLayout();
    heading->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* site = new QLineEdit(central);
    site->setObjectName(QStringLiteral("TxtSite"));
    auto* engineer = new QLineEdit(central);
    engineer->setObjectName(QStringLiteral("TxtServiceEng"));
    LblDate = new QLabel(central);
    LblDate->setObjectName(QStringLiteral("LblDate"));
    LblDate->setFrameShape(QFrame::StyledPanel);
    LblDate->setFrameShadow(QFrame::Sunken);
    LblDate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LblDate->setMinimumWidth(charactersWide(LblDate, 58));
    LblDate->setMinimumHeight(site->sizeHint().height());
    heading->addRow(QStringLiteral("Site:"), site);
    heading->addRow(QStringLiteral("Service Engineer:"), engineer);
    heading->addRow(QStringLiteral("Date configuration downloaded to actuator:"), LblDate);
    controls.insert(site->objectName(), site);
    controls.insert(engineer->objectName(), engineer);
    controls.insert(LblDate->objectName(), LblDate);
    page->addLayout(heading);

    // The parameters in two columns: caption, control, range label.
    auto* frame = new QGroupBox(QStringLiteral("Configuration"), central);
    frame->setObjectName(QStringLiteral("fraConfiguration"));
    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(8);
    const QList<Parameter>& map = ParameterMap();
    const int rowsPerColumn = int((map.size() + 1) / 2);
    for (int i = 0; i < map.size(); ++i) {
        const Parameter& p = map.at(i);
        const int row = i % rowsPerColumn;
        const int column = i < rowsPerColumn ? 0 : 4;
        auto* caption = new QLabel(p.caption, frame);
        caption->setObjectName(QStringLiteral("lbl") + p.control.mid(3));
        grid->addWidget(caption, row, column);
        QWidget* editor = nullptr;
        if (p.entries.isEmpty()) {
            auto* edit = new QLineEdit(frame);
            edit->setFixedWidth(charactersWide(edit, p.kind == ParameterKind::TagName ? 16 : 7));
            editor = edit;
        } else {
            auto* list = new QComboBox(frame);
            list->addItems(p.entries);
            list->setCurrentIndex(-1);
            list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
            editor = list;
        }
        editor->setObjectName(p.control);
        caption->setBuddy(editor);
        controls.insert(p.control, editor);
        if (p.control == QLatin1String("txtMask")) {
            // The mask also shows as eight binary digits (display only, not stored).
            auto* box = new QHBoxLayout();
            box->setContentsMargins(0, 0, 0, 0);
            box->setSpacing(6);
            box->addWidget(editor);
            auto* dec = new QLabel(p.rangeLabel, frame);
            dec->setObjectName(QStringLiteral("lblMaskDec"));
            box->addWidget(dec);
            txtMaskBinary = new QLineEdit(frame);
            txtMaskBinary->setObjectName(QStringLiteral("txtMaskBinary"));
            txtMaskBinary->setFixedWidth(charactersWide(txtMaskBinary, 10));
            txtMaskBinary->setReadOnly(true);
            box->addWidget(txtMaskBinary);
            auto* bin = new QLabel(QStringLiteral("(Bin)"), frame);
            bin->setObjectName(QStringLiteral("lblMaskBin"));
            box->addWidget(bin);
            box->addStretch(1);
            grid->addLayout(box, row, column + 1, 1, 2);
            connect(static_cast<QLineEdit*>(editor), &QLineEdit::textChanged, this, &FrmKXConfig::updateMaskBinary);
        } else {
            grid->addWidget(editor, row, column + 1);
            if (!p.rangeLabel.isEmpty()) {
                auto* range = new QLabel(p.rangeLabel, frame);
                range->setObjectName(QStringLiteral("lblRange") + p.control.mid(3));
                grid->addWidget(range, row, column + 2);
            }
        }
    }
    // The lists share one width, that of the widest, so their edges line up.
    int listWidth = 0;
    for (QComboBox* list : frame->findChildren<QComboBox*>())
        listWidth = std::max(listWidth, list->sizeHint().width() + 12);
    for (QComboBox* list : frame->findChildren<QComboBox*>()) list->setFixedWidth(listWidth);
    // A gap between the two columns; spare width goes to the captions.
    grid->setColumnMinimumWidth(3, 32);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(4, 1);
    page->addWidget(frame);

    Toggle1 = new QLabel(QStringLiteral("Communicating with actuator   Please wait!!!!!"), central);
    Toggle1->setObjectName(QStringLiteral("Toggle1"));
    Toggle1->setAlignment(Qt::AlignCenter);
    Toggle1->setStyleSheet(QStringLiteral("QLabel { background-color: #ffd700; color: black; font-weight: bold; "
                                          "border: 1px solid #806000; padding: 6px; }"));
    Toggle1->hide();
    page->addWidget(Toggle1);
    page->addStretch(1);
    setCentralWidget(central);
}

QWidget* FrmKXConfig::control(const QString& name) const { return controls.value(name); }

void FrmKXConfig::loadWorkingDocument()
{
    QString error;
    if (!EnsureWorkingDocument(&error)) {
        showDataError(error);
        return;
    }
    datPrimaryRS->setDocumentPath(WorkingDocumentPath());
    datPrimaryRS->load();
}

void FrmKXConfig::showDataError(const QString& description)
{
    DialogService::instance().message(QStringLiteral("Data error event hit err:") + description);
}

void FrmKXConfig::stampDate()
{
    LblDate->setText(FormatDateStamp(clock ? clock() : QDateTime::currentDateTime()));
}

void FrmKXConfig::updateMaskBinary(const QString& maskText)
{
    if (const auto binary = MaskBinaryText(maskText)) txtMaskBinary->setText(*binary);
}

FormValues FrmKXConfig::formValues() const
{
    FormValues values;
    for (const Parameter& p : ParameterMap()) values.insert(p.control, DocumentBinding::controlText(control(p.control)));
    return values;
}

void FrmKXConfig::Upload()
{
    if (communicating) return;
    BusyScope busy(*this);
    stampDate();
    const auto block = ReadBlock(ConfigurationBlockStart, ConfigurationBlockSize);
    if (!block) return;
    for (const Parameter& p : ParameterMap())
        if (const auto text = UploadedText(p, *block)) DocumentBinding::setControlText(control(p.control), *text);
}

void FrmKXConfig::Download()
{
    if (communicating) return;
    DialogService& dialogs = DialogService::instance();
    if (dialogs.message(DownloadQuestion, DialogButtons::YesNo) != DialogAnswer::Yes) return;
    const FormValues values = formValues();
    if (const auto refusal = ValidateDownload(values)) {
        dialogs.message(refusal->message, DialogButtons::Ok, DialogIcon::Warning);
        if (QWidget* field = control(refusal->control)) field->setFocus(Qt::OtherFocusReason);
        return;
    }
    {
        BusyScope busy(*this);
        stampDate();
        for (const RegisterWrite& write : DownloadWrites(values)) {
            qint16 count = 1;
            WriteRegs(QVariant(write.reference), QVariant(write.value), count);
            if (!WriteOk) return;
        }
    }
    if (dialogs.message(CyclePowerQuestion, DialogButtons::YesNo) != DialogAnswer::Yes) return;
    dialogs.message(ConfirmSettingsText, DialogButtons::OkCancel);
    FrmConnection& connection = ConnectionWindow();
    connection.show();
    connection.raise();
    connection.activateWindow();
}

bool FrmKXConfig::CommitRecord() { return datPrimaryRS->commit(); }

bool FrmKXConfig::SaveDocument()
{
    DialogService& dialogs = DialogService::instance();
    const QString chosen = dialogs.fileName(FileDialogKind::Save, QStringLiteral("Save current file"),
                                            DocumentFileNamePreset(), DocumentFileFilter(), this);
    const QString target = SaveTargetName(chosen);
    if (target.isEmpty()) return false;
    QString error;
    if (!CopyDocument(WorkingDocumentPath(), target, &error)) {
        dialogs.message(QStringLiteral("Unable to save the configuration.") + LineBreak + error, DialogButtons::Ok,
                        DialogIcon::Warning);
        return false;
    }
    return true;
}

void FrmKXConfig::SaveCurrentFile()
{
    if (communicating) return;
    CommitRecord();
    SaveDocument();
}

void FrmKXConfig::OpenSavedFile()
{
    if (communicating) return;
    DialogService& dialogs = DialogService::instance();
    const QString chosen = dialogs.fileName(FileDialogKind::Open, QStringLiteral("Open saved file"),
                                            DocumentFileNamePreset(), DocumentFileFilter(), this);
    if (chosen.isEmpty() || QFileInfo(chosen).fileName() == DocumentFileNamePreset()) return;
    // Copies that a save killed half-way left in that folder go now.
    RemoveLeftoverCopies(QFileInfo(chosen).absolutePath());
    // A file that is not a configuration document is refused before anything is closed or replaced.
    const QString problem = CheckDocument(chosen);
    if (!problem.isEmpty()) {
        dialogs.message(QStringLiteral("Unable to open %1: %2.").arg(QDir::toNativeSeparators(chosen), problem) +
                            LineBreak + QStringLiteral("The current configuration has not been changed."),
                        DialogButtons::Ok, DialogIcon::Warning);
        return;
    }
    // Close (with its save question) and open again as the same window object, so the
    // window's slot in the tool's window list stays valid throughout.
    const bool deleteOnClose = testAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_DeleteOnClose, false);
    close();
    setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
    QString error;
    if (!CopyDocument(chosen, WorkingDocumentPath(), &error))
        dialogs.message(QStringLiteral("Unable to open %1.").arg(QDir::toNativeSeparators(chosen)) + LineBreak + error +
                            LineBreak + QStringLiteral("The current configuration has not been changed."),
                        DialogButtons::Ok, DialogIcon::Warning);
    loadWorkingDocument();
    show();
    raise();
    activateWindow();
}

void FrmKXConfig::PrintDocument()
{
    if (communicating) return;
    DialogService& dialogs = DialogService::instance();
    if (dialogs.message(PrintQuestion, DialogButtons::OkCancel) != DialogAnswer::Ok) return;
    bool printed = CommitRecord();
    if (printed) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(QStringLiteral("Configuration report"));
        printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        if (!dialogs.printDialog(printer, QStringLiteral("Print report"), this)) return;
        ConfigurationRecord record;
        printed = ReadFirstRecord(WorkingDocumentPath(), record) && PrintReport(printer, record);
    }
    if (!printed) dialogs.message(PrintFailure, DialogButtons::Ok, DialogIcon::Warning);
}

void FrmKXConfig::ServiceNotes()
{
    QString error;
    if (!OpenServiceNotes(&error))
        DialogService::instance().message(QStringLiteral("Unable to open the service notes.") + LineBreak + error,
                                          DialogButtons::Ok, DialogIcon::Warning);
}

void FrmKXConfig::ReturnToMainScreen()
{
    if (!close()) return;
    kestrel2::ShowMainWindow();
}

void FrmKXConfig::ShowMonitorAndControl()
{
    if (!close()) return;
    ShowMonitorWindow();
}

void FrmKXConfig::closeEvent(QCloseEvent* event)
{
    // Register access lets events run; closing in the middle of an upload or a
    // download would delete the window under it.
    if (communicating) {
        event->ignore();
        return;
    }
    const bool save = DialogService::instance().message(SaveQuestion, DialogButtons::YesNo) == DialogAnswer::Yes;
    // The pending edits go into the working document before it is copied, so the saved file holds them.
    CommitRecord();
    if (save) SaveDocument();
    unsetCursor();
    event->accept();
}

} // namespace kestrel2
