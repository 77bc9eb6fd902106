#include "AboutWindow.h"

#include "main/DialogService.h"
#include "main/Pictures.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QSysInfo>
#include <QVBoxLayout>

namespace kestrel2 {

namespace {
QStringList& programNames()
{
    static QStringList names;
    return names;
}

const QString UnavailableMessage = QStringLiteral("System Information Is Unavailable At This Time");
} // namespace

QStringList SystemInformationPrograms()
{
    // Desktop system information programs of the usual Linux desktops.
    static const QStringList usual{QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"),
                                   QStringLiteral("kinfocenter"), QStringLiteral("gnome-system-monitor")};
    return programNames().isEmpty() ? usual : programNames();
}

void SetSystemInformationPrograms(const QStringList& names) { programNames() = names; }

QString SystemInformationProgram()
{
    for (const QString& name : SystemInformationPrograms()) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty()) return found;
    }
    return QString();
}

QString SystemInformationSummary()
{
    const QString lineBreak = QStringLiteral("\r\n");
    return QStringLiteral("Operating system: ") + QSysInfo::prettyProductName() + lineBreak +
           QStringLiteral("Kernel: ") + QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion() +
           lineBreak + QStringLiteral("Processor architecture: ") + QSysInfo::currentCpuArchitecture() + lineBreak +
           QStringLiteral("Computer name: ") + QSysInfo::machineHostName() + lineBreak +
           QStringLiteral("Qt version: ") + QString::fromLatin1(qVersion());
}

FrmAbout::FrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + ApplicationTitle());

    picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(AboutPicture());
    picture->setFixedSize(AboutPicture().size());

    title = new QLabel(QStringLiteral("Kestrel II"), this);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    title->setFont(titleFont);

    version = new QLabel(QStringLiteral("Version:  1.00.00.07"), this);
    version->setObjectName(QStringLiteral("lblVersion"));

    description = new QLabel(QStringLiteral("Kestrel is a utility program to configure and document Corvane "
                                            "actuators fitted with a modbus digital network interface card."),
                             this);
    description->setObjectName(QStringLiteral("Label1"));
    description->setWordWrap(true);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("cmdOK"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    sysInfoButton = new QPushButton(QStringLiteral("&System Info..."), this);
    sysInfoButton->setObjectName(QStringLiteral("cmdSysInfo"));
    sysInfoButton->setAutoDefault(false);
    connect(sysInfoButton, &QPushButton::clicked, this, [this] { StartSysInfo(); });

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(18, 18, 18, 18);
    grid->setHorizontalSpacing(16);
    grid->addWidget(picture, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(title, 0, 1);
    grid->addWidget(version, 1, 1);
    grid->addWidget(description, 2, 1);
    grid->setRowMinimumHeight(3, 12);
    grid->setRowStretch(3, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(okButton);
    buttons->addWidget(sysInfoButton);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addLayout(buttons);
    grid->addLayout(buttonRow, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    description->setMinimumWidth(340);
    setSizeGripEnabled(false);
}

void FrmAbout::StartSysInfo()
{
    DialogService& dialogs = DialogService::instance();
    const QString program = SystemInformationProgram();
    if (program.isEmpty()) {
        // No such program on this desktop: what the system reports about itself.
        dialogs.message(SystemInformationSummary(), DialogButtons::Ok, DialogIcon::Information,
                        QStringLiteral("System Information"));
        return;
    }
    if (!QProcess::startDetached(program, {})) dialogs.message(UnavailableMessage);
}

} // namespace kestrel2
