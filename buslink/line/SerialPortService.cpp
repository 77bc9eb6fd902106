#include "SerialPortService.h"

#include "base/BuslinkError.h"
#include "LineTiming.h"
#include "PortMap.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace buslink {

LineSettings ParseLineSettings(const QString& text)
{
    const auto invalid = [&] {
        return BuslinkError(ErrInvalidPropertyValue, QStringLiteral("Invalid property value: settings \"%1\"").arg(text));
    };
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4) throw invalid();
    LineSettings s;
    bool ok = false;
    s.baudRate = fields[0].trimmed().toInt(&ok);
    if (!ok || s.baudRate <= 0) throw invalid();
    const QString parity = fields[1].trimmed().toLower();
    if (parity.size() != 1 || !QStringLiteral("neoms").contains(parity)) throw invalid();
    s.parity = parity[0].toLatin1();
    s.dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8) throw invalid();
    s.stopBits = fields[3].trimmed();
    if (s.stopBits != QLatin1String("1") && s.stopBits != QLatin1String("1.5") && s.stopBits != QLatin1String("2"))
        throw invalid();
    return s;
}

bool isPseudoTerminal(const QString& device)
{
    const QString real = QFileInfo(device).canonicalFilePath();
    return real.startsWith(QLatin1String("/dev/pts/")) || real == QLatin1String("/dev/ptmx");
}

SerialPortService::SerialPortService(QObject* parent)
    : QObject(parent), port(new QSerialPort(this))
{
    parsed = ParseLineSettings(settingsText);
    connect(port, &QSerialPort::readyRead, this, &SerialPortService::dataArrived);
    connect(port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) { portError(int(e)); });
    silenceTimer.setSingleShot(true);
    silenceTimer.setTimerType(Qt::PreciseTimer);
    connect(&silenceTimer, &QTimer::timeout, this, &SerialPortService::silence);
    // Qt 6 reports no parity, framing or break errors; a damaged frame shows up
    // as a bad checksum or a time-out instead.
    carrierPoll.setInterval(200);
    connect(&carrierPoll, &QTimer::timeout, this, &SerialPortService::pollCarrier);
}

SerialPortService::~SerialPortService()
{
    if (port->isOpen()) port->close();
}

void SerialPortService::setCommPort(qint16 number)
{
    if (number < 1) throw BuslinkError(ErrInvalidPortNumber, QStringLiteral("Invalid port number"));
    if (port->isOpen()) throw BuslinkError(ErrPortAlreadyOpen, QStringLiteral("Port already open"));
    portNumber = number;
}

void SerialPortService::setDevicePath(const QString& path)
{
    if (port->isOpen()) throw BuslinkError(ErrPortAlreadyOpen, QStringLiteral("Port already open"));
    explicitDevice = path;
}

QString SerialPortService::devicePath() const
{
    return explicitDevice.isEmpty() ? DevicePathForPort(portNumber) : explicitDevice;
}

void SerialPortService::setSettings(const QString& text)
{
    const LineSettings s = ParseLineSettings(text);
    parsed = s;
    settingsText = text;
    if (port->isOpen()) {
        applySettings();
        armSilence();
    }
}

void SerialPortService::armSilence()
{
    // Worked out once per opening: the notification path must stay cheap.
    silenceMs = detectsSilence() ? std::max(1, (silenceIntervalUs() + 999) / 1000) : 0;
}

void SerialPortService::applySettings()
{
    // Each setting on its own, so a refusal can name what the line would not take.
    QStringList refused;
    const auto note = [&](bool ok, const QString& what) {
        if (!ok) refused << QStringLiteral("%1 (%2)").arg(what, port->errorString());
        port->clearError();
    };
    note(port->setBaudRate(parsed.baudRate), QStringLiteral("%1 baud").arg(parsed.baudRate));
    // A pseudo-terminal carries bytes without framing: Qt cannot set 7 data bits or even
    // parity on one, and neither means anything there, so only a real line may refuse them.
    const bool framed = !isPseudoTerminal(openedDevice);
    if (!port->setDataBits(static_cast<QSerialPort::DataBits>(parsed.dataBits)) && framed)
        note(false, QStringLiteral("%1 data bits").arg(parsed.dataBits));
    port->clearError();
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (parsed.parity) {
    case 'e': parity = QSerialPort::EvenParity; break;
    case 'o': parity = QSerialPort::OddParity; break;
    case 'm': parity = QSerialPort::MarkParity; break;
    case 's': parity = QSerialPort::SpaceParity; break;
    default: break;
    }
    if (!port->setParity(parity) && framed) note(false, QStringLiteral("parity %1").arg(QLatin1Char(parsed.parity)));
    port->clearError();
    const QSerialPort::StopBits stop = parsed.stopBits == QLatin1String("2")     ? QSerialPort::TwoStop
                                       : parsed.stopBits == QLatin1String("1.5") ? QSerialPort::OneAndHalfStop
                                                                                  : QSerialPort::OneStop;
    note(port->setStopBits(stop), QStringLiteral("%1 stop bits").arg(parsed.stopBits));
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->clearError();
    if (!refused.isEmpty())
        throw BuslinkError(ErrDeviceSettings, QStringLiteral("The line rejected the settings \"%1\": %2")
                                                  .arg(settingsText, refused.join(QStringLiteral(", "))));
}

bool SerialPortService::portOpen() const
{
    return port->isOpen();
}

void SerialPortService::setPortOpen(bool open)
{
    if (open == port->isOpen()) {
        if (open) throw BuslinkError(ErrPortAlreadyOpen, QStringLiteral("Port already open"));
        return;
    }
    if (!open) {
        carrierPoll.stop();
        silenceTimer.stop();
        port->close();
        silenceMs = 0;
        lost = false;  // closed on purpose: nothing to report or reopen
        return;
    }
    const QString device = devicePath();
    port->setPortName(device);
    openedDevice = device;
    if (!port->open(QIODevice::ReadWrite)) {
        const QString why = port->errorString();
        const int number = port->error() == QSerialPort::PermissionError ? ErrPortAlreadyOpen : ErrInvalidPortNumber;
        throw BuslinkError(number, QStringLiteral("Cannot open port %1 (%2): %3").arg(portNumber).arg(device, why));
    }
    try {
        applySettings();
    } catch (...) {
        port->close();
        throw;
    }
    // Pseudo-terminals and some adapters have no modem lines; DTR is best effort there.
    port->setDataTerminalReady(dtr);
    port->clearError();
    lastCarrier = cdHolding();
    carrierPoll.start();
    armSilence();
    if (lost) {
        lost = false;
        emit lineRestored();
    }
}

bool SerialPortService::reopen()
{
    if (port->isOpen()) return true;
    try {
        setPortOpen(true);
    } catch (const BuslinkError&) {
        return false;
    }
    return true;
}

void SerialPortService::portError(int error)
{
    // A read error on an open port (a pseudo-terminal whose far end closed: EIO on every
    // read) or a vanished resource (a USB adapter unplugged) does not pass: left open,
    // the port's notifier would fire again at once, for ever.
    const auto e = QSerialPort::SerialPortError(error);
    if (!port->isOpen() || (e != QSerialPort::ReadError && e != QSerialPort::ResourceError)) return;
    loseLine(port->errorString());
}

void SerialPortService::loseLine(const QString& why)
{
    if (lost && !port->isOpen()) return;
    carrierPoll.stop();
    silenceTimer.stop();
    port->close();
    silenceMs = 0;
    lost = true;
    lostReason = QStringLiteral("the serial line %1 is gone (%2)").arg(openedDevice, why);
    emit lineLost(lostReason);
}

void SerialPortService::setSilenceDetection(SilenceDetection mode)
{
    silenceMode = mode;
    if (port->isOpen()) armSilence();
}

bool SerialPortService::detectsSilence() const
{
    switch (silenceMode) {
    case SilenceDetection::Always: return true;
    case SilenceDetection::Never: return false;
    case SilenceDetection::Auto: break;
    }
    return !isPseudoTerminal(openedDevice.isEmpty() ? devicePath() : openedDevice);
}

int SerialPortService::silenceIntervalUs() const
{
    return FrameSilenceUs(parsed) + ReceiveLatencyUs(openedDevice.isEmpty() ? devicePath() : openedDevice, parsed);
}

void SerialPortService::setDTREnable(bool on)
{
    dtr = on;
    if (port->isOpen()) {
        port->setDataTerminalReady(on);
        port->clearError();
    }
}

bool SerialPortService::cdHolding() const
{
    if (!port->isOpen()) return false;
    const bool on = port->pinoutSignals().testFlag(QSerialPort::DataCarrierDetectSignal);
    port->clearError();
    return on;
}

void SerialPortService::pollCarrier()
{
    const bool now = cdHolding();
    if (now != lastCarrier) {
        lastCarrier = now;
        notify(EvCD);
    }
}

int SerialPortService::inBufferCount() const
{
    return port->isOpen() ? int(port->bytesAvailable()) : 0;
}

void SerialPortService::setInBufferCount(int zero)
{
    if (zero != 0) throw BuslinkError(ErrInvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (!port->isOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    if (port->bytesAvailable() > 0) port->readAll();  // what Qt already buffered
    port->clear(QSerialPort::Input);  // and what the driver holds
}

void SerialPortService::setOutBufferCount(int zero)
{
    if (zero != 0) throw BuslinkError(ErrInvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (!port->isOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    port->clear(QSerialPort::Output);
}

void SerialPortService::setRThreshold(int bytes)
{
    receiveThreshold = bytes < 0 ? 0 : bytes;
}

void SerialPortService::setInputLen(int bytes)
{
    inputLength = bytes < 0 ? 0 : bytes;
}

QByteArray SerialPortService::input()
{
    if (!port->isOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    return inputLength > 0 ? port->read(inputLength) : port->readAll();
}

QByteArray SerialPortService::peek(int maxBytes) const
{
    return port->isOpen() && maxBytes > 0 ? port->peek(maxBytes) : QByteArray();
}

void SerialPortService::output(const QByteArray& bytes)
{
    if (!port->isOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    // Straight to the line while nothing else is queued: QSerialPort's buffered path switches
    // its write notifier on and off for every frame, which wakes the event loop twice.
    qint64 done = 0;
    int writeErrno = 0;
    if (port->bytesToWrite() == 0 && port->handle() >= 0) {
        while (done < bytes.size()) {
            const ssize_t n = ::write(int(port->handle()), bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
            } else if (!(n < 0 && errno == EINTR)) {
                writeErrno = n < 0 ? errno : 0;
                break;  // full (EAGAIN) or failed: the queued path takes the rest
            }
        }
    }
    if (done == bytes.size()) return;
    if (writeErrno == EIO || writeErrno == ENXIO || writeErrno == ENODEV) {
        // The device is gone under us: the same as a read that fails.
        loseLine(QString::fromLocal8Bit(strerror(writeErrno)));
        throw BuslinkError(ErrPortNotOpen, QStringLiteral("Write failed: %1").arg(lostReason));
    }
    const QByteArray rest = bytes.mid(done);
    if (port->write(rest) != rest.size())
        throw BuslinkError(ErrPortNotOpen, QStringLiteral("Write failed: %1").arg(port->errorString()));
    port->flush();  // hand the frame to the driver now rather than at the next event loop pass
}

void SerialPortService::dataArrived()
{
    if (silenceMs > 0) silenceTimer.start(silenceMs);
    if (receiveThreshold > 0 && port->bytesAvailable() >= receiveThreshold) notify(EvReceive);
}

void SerialPortService::notify(int code)
{
    eventCode = code;
    emit onComm();
}

} // namespace buslink
