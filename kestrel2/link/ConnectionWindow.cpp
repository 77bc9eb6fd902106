#include "ConnectionWindow.h"

#include "base/BuslinkError.h"
#include "line/PortMap.h"
#include "link/ConnectionFailure.h"
#include "link/ConnectionSettings.h"
#include "link/RegisterAccess.h"
#include "link/RememberedConnection.h"
#include "link/Safely.h"
#include "main/DialogService.h"
#include "main/WindowPlacement.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <exception>

namespace kestrel2 {

QString CommSettings;

namespace {

// The actuator's registers the probe uses.
constexpr int PresenceRegister = 400006;     // any actuator answers here
constexpr int FormatRegister = 400026;       // exists only in the MKII arrangement
constexpr int FormatChangeRegister = 40007;  // 1 asks an MK 1 module for MKII at the next power-up
// The answer of an MK 1 module to the format probe: it has no register 26. Only this
// answer means MK 1; in MKII, 40007 is the position set-point, so a write of 1 on a
// mere guess would drive the valve to 0.1 % open.
constexpr int IllegalDataAddress = 2;

const QString LineBreak = QStringLiteral("\r\n");
const QString NotFoundMessage =
    QStringLiteral("Unable to locate KX actuator, double check your settings and connections.");
const QString FormatCheckFailedMessage = QStringLiteral(
    "Communication with the KX actuator failed during the MKII format check; nothing has been written to the actuator.");

QComboBox* makeList(const QString& name, const QStringList& entries, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->addItems(entries);
    list->setCurrentIndex(-1);
    list->setPlaceholderText(QStringLiteral("(choose)"));
    return list;
}

} // namespace

FrmConnection::FrmConnection(QWidget* parent) : QDialog(parent), component(new buslink::Buslink(this))
{
    setObjectName(QStringLiteral("frmConnection"));
    setWindowTitle(QStringLiteral("Connection "));
    component->setObjectName(QStringLiteral("Buslink1"));
    // The instance sits on this window as if placed there with its defaults.
    Safely([this] { component->ReadProperties(buslink::MemoryPropertyBag()); });

    comPortList = makeList(cmbComPortName, ComPortEntries(), this);
    baudList = makeList(CmbBaudName, BaudEntries(), this);
    parityList = makeList(cmbParityName, ParityEntries(), this);
    stopList = makeList(cmbStopName, StopBitEntries(), this);
    addressField = new QLineEdit(this);
    addressField->setObjectName(txtaddressName);
    addressField->setMaxLength(10);
    retriesField = new QLineEdit(QStringLiteral("2"), this);
    retriesField->setObjectName(QStringLiteral("TxtNumberofretries"));
    retriesField->hide();
    delayField = new QLineEdit(QStringLiteral("0.06"), this);
    delayField->setObjectName(QStringLiteral("txtDelayTime"));
    delayField->hide();

    auto* portFrame = new QGroupBox(QStringLiteral("PC Com Port"), this);
    portFrame->setObjectName(QStringLiteral("framePort"));
    auto* portLayout = new QVBoxLayout(portFrame);
    portLayout->addWidget(comPortList);
    portDeviceLabel = new QLabel(portFrame);
    portDeviceLabel->setObjectName(QStringLiteral("lblPortDevice"));
    portDeviceLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    portLayout->addWidget(portDeviceLabel);
    // Only the device shown follows the choice; nothing is opened until OK.
    connect(comPortList, &QComboBox::currentIndexChanged, this, [this] { ShowPortDevice(); });

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(QStringLiteral("Baud rate:"), baudList);
    form->addRow(QStringLiteral("Parity :"), parityList);
    form->addRow(QStringLiteral("Stop bits:"), stopList);
    form->addRow(QStringLiteral("Modbus slave address:"), addressField);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("cmdhide"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, [this] { cmdhide_Click(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(portFrame);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumWidth(360);
    PreselectRememberedConnection();
    ShowPortDevice();
}

void FrmConnection::PreselectRememberedConnection()
{
    const std::optional<ConnectionChoice> remembered = RememberedConnection();
    if (!remembered) return;
    comPortList->setCurrentIndex(remembered->comPort);
    baudList->setCurrentIndex(remembered->baud);
    parityList->setCurrentIndex(remembered->parity);
    stopList->setCurrentIndex(remembered->stopBits);
    addressField->setText(remembered->address);
}

LinkDescription FrmConnection::DescribeLink() const
{
    LinkDescription link;
    link.port = component->CommPort();
    link.device = component->devicePath().isEmpty() ? buslink::DevicePathForPort(link.port) : component->devicePath();
    link.settings = CommSettings;
    link.address = component->Address();
    return link;
}

void FrmConnection::ShowPortDevice()
{
    // Each port number opens the device the component's INI file maps it to.
    for (int i = 0; i < comPortList->count(); ++i)
        comPortList->setItemData(
            i, QStringLiteral("Port %1 opens %2").arg(i + 1).arg(buslink::DevicePathForPort(i + 1)),
            Qt::ToolTipRole);
    const int position = comPortList->currentIndex();
    portDeviceLabel->setText(position < 0 ? QStringLiteral("Choose the port that leads to the actuator.")
                                          : QStringLiteral("Port %1 opens %2")
                                                .arg(position + 1)
                                                .arg(buslink::DevicePathForPort(position + 1)));
}

bool FrmConnection::event(QEvent* event)
{
    // A late activation of a window that OK has hidden meanwhile must not close the port under the probe.
    if (event->type() == QEvent::WindowActivate && isVisible()) Form_Activate();
    return QDialog::event(event);
}

void FrmConnection::showEvent(QShowEvent* event)
{
    // Shown from the main window or the configuration window: centred on it, on its screen.
    if (!event->spontaneous()) PlaceOnParentScreen(this, OpeningWindow());
    // The host shows the component with its window; showing stops its timers.
    component->Show();
    ShowPortDevice();
    QDialog::showEvent(event);
}

void FrmConnection::Form_Activate()
{
    ReleasePort();
}

void FrmConnection::ReleasePort()
{
    Safely([this] { component->setEnabled(false); });
    Safely([this] { component->setPortOpen(false); });
}

void FrmConnection::cmdhide_Click()
{
    DialogService& dialogs = DialogService::instance();
    const ConnectionChoice choice{comPortList->currentIndex(), baudList->currentIndex(), parityList->currentIndex(),
                                  stopList->currentIndex(), addressField->text()};
    if (const std::optional<ValidationFailure> failure = ValidateConnection(choice)) {
        dialogs.message(failure->message, DialogButtons::Ok);
        if (auto* control = findChild<QWidget*>(failure->focusControl)) control->setFocus(Qt::OtherFocusReason);
        return;
    }

    CommSettings = SettingsText(choice.baud, choice.parity, choice.stopBits);
    const int address = SlaveAddressFromText(choice.address).value_or(1);
    Safely([&] { component->setAddress(address); });
    Safely([&] { component->setCommPort(qint16(choice.comPort + 1)); });
    Safely([&] { component->setSettings(CommSettings); });
    retriesField->setText(QStringLiteral("2"));
    delayField->setText(QStringLiteral("0.06"));
    // A port that cannot be opened is reported at once, with the reason, instead of
    // through the retries of a probe that cannot reach anything.
    QString openError;
    try {
        component->setPortOpen(true);
    } catch (const buslink::BuslinkError& error) {
        openError = error.text();
    } catch (const std::exception& error) {
        openError = QString::fromLocal8Bit(error.what());
    }
    Safely([&] { component->setEnabled(true); });
    hide();

    if (!openError.isEmpty()) {
        const QString device = DescribeLink().device;
        dialogs.message(NotFoundMessage + LineBreak + PortOpenCause(device, QFileInfo::exists(device), openError));
        return;
    }
    DiscoverActuator(choice);
}

void FrmConnection::DiscoverActuator(const ConnectionChoice& choice)
{
    DialogService& dialogs = DialogService::instance();
    dialogs.message(QStringLiteral("Testing communications") + LineBreak + QStringLiteral("Please Wait!!"));

    ReadRegs(QVariant(PresenceRegister), 1);
    if (!ReadOk) {
        dialogs.message(NotFoundMessage + LineBreak +
                        NoReplyCause(DescribeLink(), LastAttemptOutcome(), LastAttemptExceptionCode()));
        return;
    }
    // An actuator answers on these settings: offer them at the next start.
    RememberConnection(choice);
    dialogs.message(QStringLiteral("KX actuator found the program will confirm MKII format."));

    ReadRegs(QVariant(FormatRegister), 1);
    if (ReadOk) {
        dialogs.message(QStringLiteral("KX actuator found in MKII format."));
        return;
    }
    if (LastAttemptExceptionCode() != IllegalDataAddress) {
        // No answer, a damaged one or another exception says nothing about the format.
        dialogs.message(FormatCheckFailedMessage + LineBreak +
                        NoReplyCause(DescribeLink(), LastAttemptOutcome(), LastAttemptExceptionCode()));
        return;
    }

    const QString question = QStringLiteral("The modbus module is not in MKII format") + LineBreak +
                             QStringLiteral("To use this tool, the module must be in MKII format") + LineBreak +
                             LineBreak + QStringLiteral("Do you want to change the format to MKII? ");
    if (dialogs.message(question, DialogButtons::YesNo) != DialogAnswer::Yes) return;

    // Whether the request was taken shows only after the power cycle.
    qint16 count = 1;
    WriteRegs(QVariant(FormatChangeRegister), QVariant(1), count);
    dialogs.message(QStringLiteral("Please cycle the actuator power.") + LineBreak +
                    QStringLiteral(" Press OK when finished"));

    ReadRegs(QVariant(FormatRegister), 1);
    if (ReadOk)
        dialogs.message(QStringLiteral("KX actuator found. Database reset to MKII"));
    else
        dialogs.message(QStringLiteral("Sorry the change was not successful, try again") + LineBreak +
                        QStringLiteral(" This utility program will only work in MK II database arrangement."));
}

} // namespace kestrel2
