#pragma once
// The monitor-and-control window: polls the actuator's status, alarms, gauges,
// relays and position set-point every 3.5 s while it is the active window, and
// sends the operator's open, close, stop, ESD, relay and position commands.
// After a failed poll the values shown are greyed as stale, with the time of the
// last good reading, until a poll succeeds again.
#include "ActivationTracker.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;

namespace kestrel2 {

class IndicationLabel;
class PercentGauge;

class FrmKXgroup : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmKXgroup(QWidget* parent = nullptr);

    // The window became the active one: show the slave address, read the tag
    // name and start polling, or give up and go back to the main window.
    // Runs from the window's activation events; tests may call it directly.
    void ActivateWindow();
    // Another window of the tool became active: polling stops.
    void DeactivateWindow();
    // One polling tick (Timer1). A tick that comes while an earlier tick or an
    // activation is still inside a read or a prompt is skipped.
    void PollTick();

    bool isPolling() const;
    bool isTickRunning() const { return tickRunning; }
    QTimer& Timer1() { return *timer1; }

    // Colours the sixteen alarm labels, then the eight status labels, from the
    // values read at 10009 and 10001.
    void ShowIndications(const QList<qint32>& statusValues, const QList<qint32>& alarmValues);

    // Controls, by the names the window gives them.
    IndicationLabel* LblStatus(int index) const { return statusLabels.value(index); }
    IndicationLabel* lblAlarms(int index) const { return alarmLabels.value(index); }
    PercentGauge* PercentValvePosition() const { return valvePosition; }
    PercentGauge* Percenttorque() const { return torque; }
    PercentGauge* PercentAnalogInput() const { return analogInput; }
    QLineEdit* txtRlyStatus(int relay) const { return relayStatus.value(relay - 1); }  // relay 1..4
    QLabel* lblTag() const { return tagLabel; }
    QLabel* lblAddress() const { return addressLabel; }
    QSlider* positionslider() const { return slider; }
    // "Set-point: 25 %" between moves; "To send: 40 %" while dragged and while asked.
    QLabel* lblSetPoint() const { return setPointLabel; }
    // The time of the last good reading, and whether the values shown are stale.
    QLabel* lblLastReading() const { return lastReadingLabel; }
    bool isStale() const { return stale; }

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildIndications();
    QWidget* buildInformation();
    QWidget* buildControls();
    void runActivation();
    bool runTick();  // true when every read of the tick succeeded
    void showReadingState(bool good);
    void showSetPoint();
    void showSetPointToSend(int percent);
    void command(int coil, int value, const QString& question);
    void positionMoved(int percent);

    QList<IndicationLabel*> statusLabels;
    QList<IndicationLabel*> alarmLabels;
    PercentGauge* valvePosition = nullptr;
    PercentGauge* torque = nullptr;
    PercentGauge* analogInput = nullptr;
    QList<QLineEdit*> relayStatus;
    QLabel* tagLabel = nullptr;
    QLabel* addressLabel = nullptr;
    QSlider* slider = nullptr;
    QLabel* setPointLabel = nullptr;
    QLabel* lastReadingLabel = nullptr;
    QTimer* timer1 = nullptr;

    bool stale = false;
    QDateTime lastGoodReading;            // invalid until a poll has succeeded
    std::optional<int> setPointTenths;    // the actuator's set-point as last read (or written)
    bool positionQuestionUp = false;      // the slider's question is being asked

    ActivationTracker tracker;
    bool tickRunning = false;
    bool activationRunning = false;
    bool activationRequested = false; // an activation came while a tick or activation ran
    bool deactivatedMeanwhile = false;
    bool closing = false;
};

} // namespace kestrel2
