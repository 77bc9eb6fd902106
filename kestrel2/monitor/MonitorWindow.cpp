#include "MonitorWindow.h"

#include "IndicationLabel.h"
#include "PercentGauge.h"
#include "StatusMap.h"
#include "config/ParameterMap.h"
#include "link/ConnectionWindow.h"
#include "link/RegisterAccess.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

namespace kestrel2 {

namespace {

constexpr int PositionSetPointRegister = 40007;

QGroupBox* indicationFrame(const QString& title, const QStringList& captions, QList<IndicationLabel*>& labels,
                           const QString& namePrefix)
{
    auto* frame = new QGroupBox(title);
    auto* frameLayout = new QVBoxLayout(frame);
    // Yellow and red text need a dark ground to be readable.
    auto* panel = new QWidget;
    panel->setAutoFillBackground(true);
    QPalette dark = panel->palette();
    dark.setColor(QPalette::Window, Qt::black);
    panel->setPalette(dark);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(8, 6, 8, 6);
    column->setSpacing(2);
    for (int k = 0; k < captions.size(); ++k) {
        auto* label = new IndicationLabel(captions.at(k), DesignColour());
        label->setObjectName(namePrefix + QString::number(k));
        column->addWidget(label);
        labels.append(label);
    }
    frameLayout->addWidget(panel);
    return frame;
}

// A column of the window, flush with its neighbours.
QVBoxLayout* column(QWidget* box)
{
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

// A bold heading at the top of a column.
QLabel* heading(const QString& text)
{
    auto* label = new QLabel(text);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

} // namespace

FrmKXgroup::FrmKXgroup(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FrmKXgroup"));
    setWindowTitle(QStringLiteral("KX actuator"));

    auto* mnuMain = menuBar()->addAction(QStringLiteral("&Main screen"));
    mnuMain->setObjectName(QStringLiteral("MnuMain"));
    connect(mnuMain, &QAction::triggered, this, [this] {
        close();
        ShowMainWindow();
    });
    auto* mnuConfig = menuBar()->addAction(QStringLiteral("&Actuator configuration"));
    mnuConfig->setObjectName(QStringLiteral("MnuconfigActuator"));
    connect(mnuConfig, &QAction::triggered, this, [this] {
        close();
        ShowConfigurationWindow();
    });
    auto* mnuHelp = menuBar()->addAction(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    connect(mnuHelp, &QAction::triggered, this, [] { ShowHelpPrompt(); });

    auto* central = new QWidget;
    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(10, 10, 10, 10);
    columns->setSpacing(14);
    columns->addWidget(buildIndications());
    columns->addWidget(buildInformation(), 1);
    columns->addWidget(buildControls());
    setCentralWidget(central);

    timer1 = new QTimer(this);
    timer1->setObjectName(QStringLiteral("Timer1"));
    timer1->setInterval(PollingIntervalMs);
    connect(timer1, &QTimer::timeout, this, &FrmKXgroup::PollTick);
}

QWidget* FrmKXgroup::buildIndications()
{
    auto* box = new QWidget;
    QVBoxLayout* layout = column(box);
    layout->addWidget(indicationFrame(QStringLiteral("Status"), StatusCaptions(), statusLabels,
                                      QStringLiteral("LblStatus")));
    layout->addWidget(indicationFrame(QStringLiteral("Alarms"), AlarmCaptions(), alarmLabels,
                                      QStringLiteral("lblAlarms")));
    layout->addStretch(1);
    return box;
}

QWidget* FrmKXgroup::buildInformation()
{
    auto* box = new QWidget;
    QVBoxLayout* layout = column(box);
    QLabel* title = heading(QStringLiteral("       Actuator information"));
    const QFont bold = title->font();
    layout->addWidget(title);

    auto* info = new QGridLayout;
    info->addWidget(new QLabel(QStringLiteral(" Tag name:")), 0, 0);
    tagLabel = new QLabel;
    tagLabel->setObjectName(QStringLiteral("lblTag"));
    tagLabel->setFont(bold);
    tagLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    info->addWidget(tagLabel, 0, 1);
    info->addWidget(new QLabel(QStringLiteral(" Actuator address:")), 1, 0);
    addressLabel = new QLabel;
    addressLabel->setObjectName(QStringLiteral("lblAddress"));
    addressLabel->setFont(bold);
    info->addWidget(addressLabel, 1, 1);
    lastReadingLabel = new QLabel;
    lastReadingLabel->setObjectName(QStringLiteral("lblLastReading"));
    // Room for the longest text, bold as when stale, so the layout never has to move.
    lastReadingLabel->setMinimumWidth(
        QFontMetrics(bold).horizontalAdvance(QStringLiteral("Not current: last good reading at 00:00:00 PM")) + 4);
    info->addWidget(lastReadingLabel, 2, 0, 1, 2);
    info->setColumnStretch(1, 1);
    layout->addLayout(info);
    layout->addSpacing(12);

    auto gauge = [&](const QString& caption, const QString& name) {
        layout->addWidget(new QLabel(caption));
        auto* g = new PercentGauge;
        g->setObjectName(name);
        layout->addWidget(g);
        layout->addSpacing(6);
        return g;
    };
    valvePosition = gauge(QStringLiteral("Actuator Position"), QStringLiteral("PercentValvePosition"));
    torque = gauge(QStringLiteral("Torque feedback"), QStringLiteral("Percenttorque"));
    analogInput = gauge(QStringLiteral("Analog input"), QStringLiteral("PercentAnalogInput"));
    layout->addSpacing(6);

    auto* relays = new QGroupBox(QStringLiteral("Output relays"));
    auto* grid = new QGridLayout(relays);
    for (int relay = 1; relay <= RelayCount; ++relay) {
        const QString n = QString::number(relay);
        grid->addWidget(new QLabel(QStringLiteral("Relay #") + n), relay - 1, 0);
        auto* state = new QLineEdit;
        state->setObjectName(QStringLiteral("txtRly%1Status").arg(relay));
        state->setReadOnly(true);
        state->setFocusPolicy(Qt::NoFocus);
        state->setAlignment(Qt::AlignCenter);
        state->setFixedWidth(state->fontMetrics().horizontalAdvance(QStringLiteral("OFFW")) + 16);
        grid->addWidget(state, relay - 1, 1);
        relayStatus.append(state);

        const int coil = RelayFirstCoil + relay - 1;
        auto* on = new QPushButton(QStringLiteral("ON"));
        on->setObjectName(QStringLiteral("cmdRelay%1ON").arg(relay));
        connect(on, &QPushButton::clicked, this, [this, coil, n] {
            command(coil, 1, QStringLiteral("Are you sure you want to energize Relay #") + n + '?');
        });
        grid->addWidget(on, relay - 1, 2);
        auto* off = new QPushButton(QStringLiteral("OFF"));
        off->setObjectName(QStringLiteral("cmdRelay%1Off").arg(relay));
        connect(off, &QPushButton::clicked, this, [this, coil, n] {
            command(coil, 0, QStringLiteral("Are you sure you want to de-energize Relay #") + n + '?');
        });
        grid->addWidget(off, relay - 1, 3);
    }
    grid->setColumnStretch(0, 1);
    layout->addWidget(relays);
    layout->addStretch(1);
    return box;
}

QWidget* FrmKXgroup::buildControls()
{
    auto* box = new QWidget;
    QVBoxLayout* layout = column(box);
    layout->addWidget(heading(QStringLiteral("Controls")));

    auto* discrete = new QGroupBox(QStringLiteral("Discrete controls"));
    auto* buttons = new QGridLayout(discrete);
    struct Command {
        const char* name;
        const char* caption;
        int coil;
        const char* question;
    };
    static const Command commands[] = {
        {"Cmdopen", "Open", 3, "Are you sure you want to OPEN the valve?"},
        {"Cmdclose", "Close", 2, "Are you sure you want to Close the valve?"},
        {"Cmdstop", "Stop", 1, "Are you sure you want to Stop the valve?"},
        {"cmdESD", "ESD", 4, "Are you sure you want to ESD the valve?"},
    };
    int slot = 0;
    for (const Command& c : commands) {
        auto* button = new QPushButton(QString::fromLatin1(c.caption));
        button->setObjectName(QString::fromLatin1(c.name));
        button->setMinimumHeight(button->sizeHint().height() + 8);
        const int coil = c.coil;
        const QString question = QString::fromLatin1(c.question);
        connect(button, &QPushButton::clicked, this, [this, coil, question] { command(coil, 1, question); });
        buttons->addWidget(button, slot / 2, slot % 2);
        ++slot;
    }
    layout->addWidget(discrete);

    auto* position = new QGroupBox(QStringLiteral("Position control"));
    auto* positionLayout = new QGridLayout(position);
    slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(QStringLiteral("positionslider"));
    slider->setToolTip(QStringLiteral("Drag the bar to the desired valve position"));
    slider->setRange(0, 100);
    slider->setSingleStep(1);
    slider->setPageStep(10);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(10);
    // One notification at the end of a drag (and one per key or page step), not one per pixel.
    slider->setTracking(false);
    slider->setMinimumWidth(200);
    connect(slider, &QSlider::valueChanged, this, &FrmKXgroup::positionMoved);
    connect(slider, &QSlider::sliderMoved, this, &FrmKXgroup::showSetPointToSend);
    positionLayout->addWidget(slider, 0, 0, 1, 3);
    positionLayout->addWidget(new QLabel(QStringLiteral("0 %")), 1, 0, Qt::AlignLeft);
    positionLayout->addWidget(new QLabel(QStringLiteral("% open")), 1, 1, Qt::AlignHCenter);
    positionLayout->addWidget(new QLabel(QStringLiteral("100 %")), 1, 2, Qt::AlignRight);
    setPointLabel = new QLabel;
    setPointLabel->setObjectName(QStringLiteral("lblSetPoint"));
    setPointLabel->setAlignment(Qt::AlignCenter);
    positionLayout->addWidget(setPointLabel, 2, 0, 1, 3);
    showSetPoint();
    layout->addWidget(position);
    layout->addSpacing(8);

    auto* profile = new QPushButton(QStringLiteral("View cycle torque profile"));
    profile->setObjectName(QStringLiteral("cmdTorqueProfile"));
    profile->setMinimumHeight(profile->sizeHint().height() + 8);
    connect(profile, &QPushButton::clicked, this, [] { ShowTorqueProfileWindow(); });
    layout->addWidget(profile);
    layout->addStretch(1);
    return box;
}

bool FrmKXgroup::isPolling() const { return timer1->isActive(); }

void FrmKXgroup::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        tracker.follow(this, [this] { ActivateWindow(); }, [this] { DeactivateWindow(); });
}

void FrmKXgroup::showEvent(QShowEvent* event)
{
    closing = false;
    QMainWindow::showEvent(event);
}

void FrmKXgroup::closeEvent(QCloseEvent* event)
{
    closing = true;
    timer1->stop();
    activationRequested = false;
    QMainWindow::closeEvent(event);
}

void FrmKXgroup::ActivateWindow()
{
    if (closing) return;
    if (activationRunning || tickRunning) {
        activationRequested = true;
        return;
    }
    runActivation();
}

void FrmKXgroup::DeactivateWindow()
{
    timer1->stop();
    activationRequested = false;
    deactivatedMeanwhile = true;
}

void FrmKXgroup::runActivation()
{
    const QPointer<FrmKXgroup> self(this);
    activationRunning = true;
    do {
        activationRequested = false;
        deactivatedMeanwhile = false;
        addressLabel->setText(ConnectionWindow().txtaddress()->text());
        const auto tag = ReadBlock(TagNameReference, TagNameRegisters);
        if (!self) return;  // closed and released while the read waited
        if (closing) {
            activationRunning = false;
            return;
        }
        if (!tag) {
            activationRunning = false;
            timer1->stop();
            DialogService::instance().message(
                QStringLiteral("Could not establish communications with actuator,\r\n"
                               "You must be connected to a Corvane actuator to use this facility"));
            if (!self) return;
            ShowMainWindow();
            close();
            return;
        }
        tagLabel->setText(DisplayableTagName(DecodeTagName(*tag)));
    } while (activationRequested && !closing);
    activationRunning = false;
    if (!deactivatedMeanwhile && !closing) timer1->start();
}

void FrmKXgroup::PollTick()
{
    if (tickRunning || activationRunning || closing) return;
    const QPointer<FrmKXgroup> self(this);
    tickRunning = true;
    const bool good = runTick();
    if (!self) return;
    tickRunning = false;
    if (!closing) showReadingState(good);
    if (activationRequested && !closing) runActivation();
}

bool FrmKXgroup::runTick()
{
    const QPointer<FrmKXgroup> self(this);
    // Each read returns nothing when it failed, or when the window was closed
    // (or released) while it waited; the rest of the tick is then skipped.
    auto read = [&](int reference, int count) -> std::optional<QList<qint32>> {
        auto values = ReadBlock(reference, count);
        if (!self || closing) return std::nullopt;
        return values;
    };

    const auto status = read(StatusFirstInput, StatusReadCount);
    if (!status) return false;
    const auto alarms = read(AlarmFirstInput, AlarmCount);
    if (!alarms) return false;
    ShowIndications(*status, *alarms);

    const auto position = read(ValvePositionRegister, 1);
    if (!position) return false;
    valvePosition->setValue(GaugePercent(position->at(0)));
    const auto torqueValue = read(TorqueRegister, 1);
    if (!torqueValue) return false;
    torque->setValue(GaugePercent(torqueValue->at(0)));
    const auto analog = read(AnalogInputRegister, 1);
    if (!analog) return false;
    analogInput->setValue(GaugePercent(analog->at(0)));

    const auto relays = read(RelayFirstCoil, RelayCount);
    if (!relays) return false;
    const QStringList texts = RelayTexts(*relays);
    for (int k = 0; k < RelayCount; ++k) relayStatus.at(k)->setText(texts.at(k));

    // The set-point the position slider shows between moves.
    const auto setPoint = read(PositionSetPointRegister, 1);
    if (!setPoint) return false;
    setPointTenths = setPoint->at(0);
    showSetPoint();
    return true;
}

void FrmKXgroup::showReadingState(bool good)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    if (good) lastGoodReading = QDateTime::currentDateTime();
    stale = !good;
    const QString time = english.toString(lastGoodReading.time(), QStringLiteral("hh:mm:ss AP"));
    if (!stale)
        lastReadingLabel->setText(QStringLiteral("Last reading at ") + time);
    else if (lastGoodReading.isValid())
        lastReadingLabel->setText(QStringLiteral("Not current: last good reading at ") + time);
    else
        lastReadingLabel->setText(QStringLiteral("Not current: no good reading yet"));
    QFont font = lastReadingLabel->font();
    font.setBold(stale);
    lastReadingLabel->setFont(font);
    for (IndicationLabel* label : statusLabels + alarmLabels) label->setStale(stale);
    for (PercentGauge* gauge : {valvePosition, torque, analogInput}) gauge->setStale(stale);
    for (QLineEdit* relay : relayStatus) relay->setEnabled(!stale);
    setPointLabel->setEnabled(!stale);
}

void FrmKXgroup::showSetPoint()
{
    // Not while the user drags the slider or answers its question: it shows what would be sent then.
    if (slider->isSliderDown() || positionQuestionUp) return;
    const QSignalBlocker quiet(slider);
    if (!setPointTenths) {
        slider->setValue(0);
        setPointLabel->setText(QStringLiteral("Set-point: not read yet"));
        return;
    }
    slider->setValue(qBound(0, int(std::lround(*setPointTenths / 10.0)), 100));
    setPointLabel->setText(QStringLiteral("Set-point: ") + TenthsText(*setPointTenths) + QStringLiteral(" %"));
}

void FrmKXgroup::showSetPointToSend(int percent)
{
    setPointLabel->setText(QStringLiteral("To send: %1 %").arg(percent));
}



void FrmKXgroup::ShowIndications(const QList<qint32>& statusValues, const QList<qint32>& alarmValues)
{
    const QList<QColor> alarmColours = AlarmColours(alarmValues);
    for (int k = 0; k < AlarmCount; ++k) alarmLabels.at(k)->setColour(alarmColours.at(k));
    const QList<QColor> statusColours = StatusColours(statusValues);
    for (int k = 0; k < StatusCount; ++k) statusLabels.at(k)->setColour(statusColours.at(k));
}

void FrmKXgroup::command(int coil, int value, const QString& question)
{
    if (DialogService::instance().message(question, DialogButtons::YesNo) != DialogAnswer::Yes) return;
    qint16 count = 1;
    WriteRegs(QVariant(coil), QVariant(value), count);
}

void FrmKXgroup::positionMoved(int percent)
{
    const QPointer<FrmKXgroup> self(this);
    positionQuestionUp = true;
    showSetPointToSend(percent);
    const bool yes = DialogService::instance().message(QStringLiteral("Do you want to position the valve?  "),
                                                       DialogButtons::YesNo) == DialogAnswer::Yes;
    if (!self) return;
    bool written = false;
    if (yes) {
        qint16 count = 1;
        WriteRegs(QVariant(qint32(PositionSetPointRegister)), QVariant(double(percent) * 10.0), count);
        written = WriteOk;
        if (!self) return;
    }
    positionQuestionUp = false;
    // The module now holds what was written; after No or a failed write the slider
    // goes back to the set-point it holds.
    if (written) setPointTenths = percent * 10;
    showSetPoint();
}

} // namespace kestrel2
