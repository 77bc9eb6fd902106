#include "SerialPortService.h"

#include "LineTiming.h"
#include "PortMap.h"
#include "TcpClientLine.h"
#include "base/BuslinkError.h"

namespace buslink {

SerialPortService::SerialPortService(QObject* parent) : QObject(parent)
{
    parsed = ParseLineSettings(settingsText);
}

SerialPortService::~SerialPortService()
{
    if (line) {
        line->disconnect(this);
        line->close();
    }
}

void SerialPortService::setCommPort(qint16 number)
{
    if (number < 1) throw BuslinkError(ErrInvalidPortNumber, QStringLiteral("Invalid port number"));
    if (portOpen()) throw BuslinkError(ErrPortAlreadyOpen, QStringLiteral("Port already open"));
    portNumber = number;
}

void SerialPortService::setDevicePath(const QString& path)
{
    if (portOpen()) throw BuslinkError(ErrPortAlreadyOpen, QStringLiteral("Port already open"));
    explicitDevice = path;
}

QString SerialPortService::devicePath() const
{
    return explicitDevice.isEmpty() ? DevicePathForPort(portNumber) : explicitDevice;
}

Endpoint SerialPortService::endpoint() const
{
    Endpoint e;
    if (!ParseEndpoint(devicePath(), e)) e.device = devicePath();
    return e;
}

void SerialPortService::setSettings(const QString& text)
{
    const LineSettings s = ParseLineSettings(text);
    parsed = s;
    settingsText = text;
    if (serial) serial->setSettings(parsed, settingsText);
}

std::unique_ptr<Line> SerialPortService::makeLine(const Endpoint& e)
{
    if (e.isNetwork()) return std::make_unique<TcpClientLine>(e.host, e.port, e.text());
    auto s = std::make_unique<SerialLine>(e.device);
    s->setSettings(parsed, settingsText);
    s->setDataTerminalReady(dtr);
    s->setSilenceDetection(silenceMode);
    return s;
}

bool SerialPortService::portOpen() const
{
    return line && line->isOpen();
}

void SerialPortService::setPortOpen(bool open)
{
    if (open == portOpen()) {
        if (open) throw BuslinkError(ErrPortAlreadyOpen, QStringLiteral("Port already open"));
        if (line) line->close();
        lost = false;
        return;
    }
    if (!open) {
        line->close();
        lost = false;  // closed on purpose: nothing to report or reopen
        return;
    }
    QString why;
    Endpoint e;
    if (!ParseEndpoint(devicePath(), e, &why))
        throw BuslinkError(ErrInvalidPortNumber, QStringLiteral("Cannot open port %1: %2").arg(portNumber).arg(why));
    // A fresh line for each opening: the mapping may have changed, and a lost line's
    // object may still be unwinding from the notification that reported the loss.
    if (line) {
        line->disconnect(this);
        line.release()->deleteLater();
    }
    serial = nullptr;
    line = makeLine(e);
    serial = qobject_cast<SerialLine*>(line.get());
    connect(line.get(), &Line::readyRead, this, &SerialPortService::dataArrived);
    connect(line.get(), &Line::silence, this, &SerialPortService::silence);
    connect(line.get(), &Line::lost, this, &SerialPortService::lineGone);
    if (serial) connect(serial, &SerialLine::carrierChanged, this, [this] { notify(EvCD); });
    try {
        line->open();
    } catch (const BuslinkError& error) {
        throw BuslinkError(error.number(), QStringLiteral("Cannot open port %1 (%2)").arg(portNumber).arg(error.text()));
    }
    if (lost) {
        lost = false;
        emit lineRestored();
    }
}

bool SerialPortService::reopen()
{
    if (portOpen()) return true;
    try {
        setPortOpen(true);
    } catch (const BuslinkError&) {
        return false;
    }
    return true;
}

void SerialPortService::lineGone(const QString& reason)
{
    lost = true;
    lostReason = reason;
    emit lineLost(reason);
}

void SerialPortService::setSilenceDetection(SilenceDetection mode)
{
    silenceMode = mode;
    if (serial) serial->setSilenceDetection(mode);
}

bool SerialPortService::detectsSilence() const
{
    if (serial) return serial->detectsSilence();
    if (endpoint().isNetwork()) return false;
    return silenceMode == SilenceDetection::Always
           || (silenceMode == SilenceDetection::Auto && !isPseudoTerminal(devicePath()));
}

int SerialPortService::silenceIntervalUs() const
{
    if (serial) return serial->silenceIntervalUs();
    return FrameSilenceUs(parsed) + ReceiveLatencyUs(devicePath(), parsed);
}

void SerialPortService::setDTREnable(bool on)
{
    dtr = on;
    if (serial) serial->setDataTerminalReady(on);
}

bool SerialPortService::cdHolding() const
{
    if (!portOpen()) return false;
    return serial ? serial->carrierDetect() : true;
}

int SerialPortService::inBufferCount() const
{
    return portOpen() ? int(line->bytesAvailable()) : 0;
}

void SerialPortService::setInBufferCount(int zero)
{
    if (zero != 0) throw BuslinkError(ErrInvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (!portOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    line->discardInput();
}

void SerialPortService::setOutBufferCount(int zero)
{
    if (zero != 0) throw BuslinkError(ErrInvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (!portOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    line->discardOutput();
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
    if (!portOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    return line->read(inputLength);
}

QByteArray SerialPortService::peek(int maxBytes) const
{
    return portOpen() && maxBytes > 0 ? line->peek(maxBytes) : QByteArray();
}

void SerialPortService::output(const QByteArray& bytes)
{
    if (!portOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    line->write(bytes);
}

void SerialPortService::dataArrived()
{
    if (receiveThreshold > 0 && line && line->bytesAvailable() >= receiveThreshold) notify(EvReceive);
}

void SerialPortService::notify(int code)
{
    eventCode = code;
    emit onComm();
}

} // namespace buslink
