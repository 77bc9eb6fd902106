#include "SerialPortService.h"

#include "LineTiming.h"
#include "PortMap.h"
#include "TcpClientLine.h"
#include "TcpServerLine.h"
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
    if (e.isNetwork() && listen) {
        auto s = std::make_unique<TcpServerLine>(e.host, e.port, e.text());
        s->setMaxConnections(limits.maxConnections);
        s->setIdleTimeout(limits.idleTimeoutMs);
        QList<QPair<QHostAddress, int>> networks;
        for (const QString& text : limits.allowed) {
            QPair<QHostAddress, int> network;
            if (ParseNetwork(text, network)) networks << network;
        }
        s->setAllowed(networks);
        return s;
    }
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
    server = nullptr;
    line = makeLine(e);
    serial = qobject_cast<SerialLine*>(line.get());
    server = qobject_cast<TcpServerLine*>(line.get());
    mbap = e.kind == Endpoint::Tcp;
    line->setArrivalHandler([this] { dataArrived(); });
    if (server) {
        connect(server, &TcpServerLine::connectionReadyRead, this, [this](int id) {
            server->selectConnection(id);
            dataArrived();
        });
        connect(server, &TcpServerLine::connectionClosed, this, &SerialPortService::connectionClosed);
        connect(server, &TcpServerLine::refused, this, &SerialPortService::connectionRefused);
    }
    connect(line.get(), &Line::silence, this, &SerialPortService::silence);
    connect(line.get(), &Line::lost, this, &SerialPortService::lineGone);
    if (serial) {
        connect(serial, &SerialLine::carrierChanged, this, [this] { notify(EvCD); });
        serial->setWakeAfter(awaitedFrame);
    }
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

QList<int> SerialPortService::connectionIds() const
{
    return server ? server->connections() : QList<int>();
}

int SerialPortService::currentConnection() const
{
    return server ? server->currentConnection() : 0;
}

void SerialPortService::selectConnection(int id)
{
    if (server) server->selectConnection(id);
}

void SerialPortService::dropConnection(int id)
{
    if (server) server->dropConnection(id);
}

QString SerialPortService::peerOf(int id) const
{
    return server ? server->peerOf(id) : QString();
}

void SerialPortService::setServerLimits(const ServerLimits& l)
{
    for (const QString& text : l.allowed) {
        QPair<QHostAddress, int> network;
        if (!ParseNetwork(text, network))
            throw BuslinkError(ErrInvalidPropertyValue, QStringLiteral("\"%1\" is no address or network (ADDRESS[/BITS])").arg(text));
    }
    limits = l;
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

void SerialPortService::setAwaitedFrame(int bytes)
{
    awaitedFrame = bytes < 0 ? 0 : bytes;
    if (serial) serial->setWakeAfter(awaitedFrame);
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
