#include "HelpWindow.h"

#include "main/DialogService.h"
#include "main/ToolWindows.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace kestrel2 {

namespace {
DocumentViewer& viewer()
{
    static DocumentViewer v;
    return v;
}

const QString LineBreak = QStringLiteral("\r\n");
} // namespace

QString MakerWebSite() { return QStringLiteral("https://www.corvane.example/publications"); }

QString UserPublicationsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/kestrel2/publications");
}

QString InstalledPublicationsFolder()
{
    // The program is installed as <prefix>/bin/kestrel2.
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kestrel2/publications"));
}

QString PublicationsFolder()
{
    const QString user = UserPublicationsFolder();
    if (QFileInfo(user).isDir()) return user;
    const QString installed = InstalledPublicationsFolder();
    if (QFileInfo(installed).isDir()) return installed;
    QDir().mkpath(user);
    return user;
}

void SetDocumentViewer(DocumentViewer v) { viewer() = std::move(v); }

void ShowHelpPrompt()
{
    DialogService& dialogs = DialogService::instance();
    const DialogAnswer answer =
        dialogs.message(QStringLiteral("Please put the CD supplied with this software in your CD rom drive.Then click OK"),
                        DialogButtons::OkCancel, DialogIcon::None, QStringLiteral("Help CD"));
    if (answer == DialogAnswer::Ok) {
        ShowPublicationsWindow();
        return;
    }
    dialogs.message(QStringLiteral("If you do not have the disk") + LineBreak + LineBreak +
                    QStringLiteral(" The technical publications can be downloaded from the Corvane web site at ") +
                    MakerWebSite());
}

Frmhelp::Frmhelp(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmhelp"));
    setWindowTitle(QStringLiteral("Corvane technical publications "));

    documentLabel = new QLabel(this);
    documentLabel->setObjectName(QStringLiteral("lblDocument"));
    documentLabel->setWordWrap(true);
    documentLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folderLabel = new QLabel(this);
    folderLabel->setObjectName(QStringLiteral("lblFolder"));
    folderLabel->setWordWrap(true);
    folderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    chooseButton = new QPushButton(QStringLiteral("&Open publication..."), this);
    chooseButton->setObjectName(QStringLiteral("cmdChoose"));
    connect(chooseButton, &QPushButton::clicked, this, [this] { Form_Load(); });
    closeButton = new QPushButton(QStringLiteral("&Close"), this);
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(chooseButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->addWidget(documentLabel);
    layout->addWidget(folderLabel);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumSize(460, 170);
    ShowDocument(QString());
}

void Frmhelp::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (loaded) return;
    loaded = true;
    // The file dialog comes up over the window once it is on the screen.
    QMetaObject::invokeMethod(this, [this] { Form_Load(); }, Qt::QueuedConnection);
}

void Frmhelp::Form_Load()
{
    const QString chosen = DialogService::instance().fileName(
        FileDialogKind::Open, QStringLiteral("Corvane publication list"), PublicationsFolder(),
        QStringLiteral("*.pdf"), this);
    ShowDocument(chosen);
}

void Frmhelp::ShowDocument(const QString& path)
{
    folderLabel->setText(QStringLiteral("Publications are kept in %1").arg(QDir::toNativeSeparators(PublicationsFolder())));
    if (path.isEmpty()) {
        shown.clear();
        documentLabel->setText(QStringLiteral("No publication was chosen."));
        return;
    }
    const QString fullName = QFileInfo(path).absoluteFilePath();
    const QUrl url = QUrl::fromLocalFile(fullName);
    const bool opened = viewer() ? viewer()(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        shown.clear();
        documentLabel->setText(QStringLiteral("No publication is shown."));
        DialogService::instance().message(QStringLiteral("The document viewer could not open %1").arg(fullName),
                                          DialogButtons::Ok, DialogIcon::Warning);
        return;
    }
    shown = fullName;
    documentLabel->setText(QStringLiteral("%1 is shown in your document viewer.").arg(QFileInfo(fullName).fileName()));
}

} // namespace kestrel2
