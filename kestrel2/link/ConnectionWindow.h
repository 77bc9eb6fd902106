#pragma once
// The connection window: port, line settings and slave address of the
// actuator. It owns the tool's one component instance, Buslink1, for the whole
// run; OK configures and opens the port, hides the window and probes the actuator.
#include "link/ConnectionFailure.h"
#include "link/ConnectionSettings.h"
#include "shell/Buslink.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrel2 {

// The last settings text the connection window gave the component.
extern QString CommSettings;

class FrmConnection : public QDialog {
    Q_OBJECT
public:
    explicit FrmConnection(QWidget* parent = nullptr);
    buslink::Buslink& Buslink1() { return *component; }

    QComboBox* cmbComPort() const { return comPortList; }
    QComboBox* CmbBaud() const { return baudList; }
    QComboBox* cmbParity() const { return parityList; }
    QComboBox* cmbStop() const { return stopList; }
    QLineEdit* txtaddress() const { return addressField; }
    QPushButton* cmdhide() const { return okButton; }
    QLabel* lblPortDevice() const { return portDeviceLabel; }
    // Hidden fields read by the register access: repeat attempts and the pause after each.
    QLineEdit* TxtNumberofretries() const { return retriesField; }
    QLineEdit* txtDelayTime() const { return delayField; }

    // The window became active: the component is disabled and its port closed.
    void Form_Activate();
    // Switches the component off and closes its port; a step that fails is skipped.
    void ReleasePort();
    // OK: validate, configure and open the port, hide, then probe the actuator.
    void cmdhide_Click();
    // Finds the actuator and checks (or converts) its register arrangement; a
    // connection that finds it is remembered for the next start.
    void DiscoverActuator(const ConnectionChoice& choice);
    // The port, device, settings and address the component now uses.
    LinkDescription DescribeLink() const;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowPortDevice();
    void PreselectRememberedConnection();

    buslink::Buslink* component;
    QComboBox* comPortList = nullptr;
    QComboBox* baudList = nullptr;
    QComboBox* parityList = nullptr;
    QComboBox* stopList = nullptr;
    QLineEdit* addressField = nullptr;
    QLineEdit* retriesField = nullptr;
    QLineEdit* delayField = nullptr;
    QPushButton* okButton = nullptr;
    QLabel* portDeviceLabel = nullptr;
};

} // namespace kestrel2
