#include "SerialLine.h"

#include "LineTiming.h"
#include "base/BuslinkError.h"

#include <QSerialPort>
#include <QStringList>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

namespace buslink {

SerialLine::SerialLine(const QString& devicePath, QObject* parent)
    : Line(parent), port(new QSerialPort(this)), device(devicePath)
{
    parsed = ParseLineSettings(settingsText);
    connect(port, &QSerialPort::readyRead, this, &SerialLine::arrived);
    connect(&frameWake, &PreciseWake::due, this, &SerialLine::resume);
    connect(port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) { portError(int(e)); });
    silenceTimer.setSingleShot(true);
    silenceTimer.setTimerType(Qt::PreciseTimer);
    connect(&silenceTimer, &QTimer::timeout, this, [this] {
        // A thread held up longer than the silence finds the timer due before the bytes
        // that came meanwhile have been read: take those first, and it is no silence.
        if (!port->isOpen()) return;
        const qint64 before = port->bytesAvailable();
        const bool more = port->waitForReadyRead(0) && port->bytesAvailable() > before;
        if (!port->isOpen()) return;  // reading found the line gone
        port->clearError();           // a wait that found nothing reports a time-out
        if (!more) emit silence();
    });
    // Qt 6 reports no parity, framing or break errors; a damaged frame shows up
    // as a bad checksum or a time-out instead.
    carrierPoll.setInterval(200);
    connect(&carrierPoll, &QTimer::timeout, this, &SerialLine::pollCarrier);
}

SerialLine::~SerialLine()
{
    if (port->isOpen()) port->close();
}

void SerialLine::open()
{
    port->setPortName(device);
    if (!port->open(QIODevice::ReadWrite)) {
        const QString why = port->errorString();
        const int number = port->error() == QSerialPort::PermissionError ? ErrPortAlreadyOpen : ErrInvalidPortNumber;
        throw BuslinkError(number, QStringLiteral("%1: %2").arg(device, why));
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
    lastCarrier = carrierDetect();
    carrierPoll.start();
    armSilence();
}

void SerialLine::close()
{
    endPause();
    carrierPoll.stop();
    silenceTimer.stop();
    silenceMs = 0;
    if (port->isOpen()) port->close();
}

bool SerialLine::isOpen() const
{
    return port->isOpen();
}

qint64 SerialLine::bytesAvailable() const
{
    return port->isOpen() ? port->bytesAvailable() : 0;
}

QByteArray SerialLine::read(qint64 maxBytes)
{
    endPause();  // a reader that takes bytes now wants what arrives next too
    return maxBytes > 0 ? port->read(maxBytes) : port->readAll();
}

QByteArray SerialLine::peek(qint64 maxBytes) const
{
    return port->isOpen() && maxBytes > 0 ? port->peek(maxBytes) : QByteArray();
}

void SerialLine::discardInput()
{
    endPause();
    if (port->bytesAvailable() > 0) port->readAll();  // what Qt already buffered
    port->clear(QSerialPort::Input);  // and what the driver holds
}

void SerialLine::discardOutput()
{
    port->clear(QSerialPort::Output);
}

void SerialLine::write(const QByteArray& bytes)
{
    if (!port->isOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    qint64 done = 0;
#ifdef Q_OS_UNIX
    // Straight to the line while nothing else is queued: QSerialPort's buffered path switches
    // its write notifier on and off for every frame, which wakes the event loop twice.
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
        const QString why = QString::fromLocal8Bit(strerror(writeErrno));
        loseLine(why);
        throw BuslinkError(ErrPortNotOpen, QStringLiteral("Write failed: the serial line %1 is gone (%2)").arg(device, why));
    }
#endif
    const QByteArray rest = bytes.mid(done);
    if (port->write(rest) != rest.size())
        throw BuslinkError(ErrPortNotOpen, QStringLiteral("Write failed: %1").arg(port->errorString()));
    port->flush();  // hand the frame to the driver now rather than at the next event loop pass
}

void SerialLine::setWakeAfter(int bytes)
{
    wakeAfter = bytes;
    if (paused && port->bytesAvailable() >= wakeAfter) resume();
}

void SerialLine::arrived()
{
    if (paused) return;
    const qint64 have = port->bytesAvailable();
    // A frame still arriving: sleep until the rest can be here, unless only a byte or
    // two are missing (a wake-up each costs no more than the pause would).
    if (wakeAfter - have >= 3 && characterUs > 0) {
        pause(have);
        return;
    }
    if (silenceMs > 0) silenceTimer.start(silenceMs);
    bytesArrived();
}

void SerialLine::pause(qint64 have)
{
    // A full read buffer makes QSerialPort stop reading the device (and stop waking
    // us) until the buffer is drained or enlarged; the bytes wait in the driver.
    paused = true;
    silenceTimer.stop();
    port->setReadBufferSize(have);
    frameWake.start(qint64((wakeAfter - have) * characterUs) + latencyUs + 30);
}

void SerialLine::endPause()
{
    if (!paused) return;
    paused = false;
    frameWake.stop();
    port->setReadBufferSize(0);
}

void SerialLine::resume()
{
    if (!paused || !port->isOpen()) return;
    endPause();
    // Take what the driver holds now, in this wake-up; what is still short of a frame is
    // the reader's to judge.
    const qint64 before = port->bytesAvailable();
    if (port->waitForReadyRead(0) && port->bytesAvailable() > before) return;  // arrived() handled it
    port->clearError();
    if (!port->isOpen() || port->bytesAvailable() == 0) return;
    if (silenceMs > 0) silenceTimer.start(silenceMs);
    bytesArrived();
}

void SerialLine::setSettings(const LineSettings& settings, const QString& text)
{
    parsed = settings;
    settingsText = text;
    if (port->isOpen()) {
        applySettings();
        armSilence();
    }
}

void SerialLine::applySettings()
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
    const bool framed = !isPseudoTerminal(device);
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

void SerialLine::setDataTerminalReady(bool on)
{
    dtr = on;
    if (port->isOpen()) {
        port->setDataTerminalReady(on);
        port->clearError();
    }
}

bool SerialLine::carrierDetect() const
{
    if (!port->isOpen()) return false;
    const bool on = port->pinoutSignals().testFlag(QSerialPort::DataCarrierDetectSignal);
    port->clearError();
    return on;
}

void SerialLine::pollCarrier()
{
    const bool now = carrierDetect();
    if (now != lastCarrier) {
        lastCarrier = now;
        emit carrierChanged(now);
    }
}

void SerialLine::portError(int error)
{
    // A read error on an open port (a pseudo-terminal whose far end closed: EIO on every
    // read) or a vanished resource (a USB adapter unplugged) does not pass: left open,
    // the port's notifier would fire again at once, for ever.
    const auto e = QSerialPort::SerialPortError(error);
    if (!port->isOpen() || (e != QSerialPort::ReadError && e != QSerialPort::ResourceError)) return;
    loseLine(port->errorString());
}

void SerialLine::loseLine(const QString& why)
{
    if (!port->isOpen()) return;
    close();
    emit lost(QStringLiteral("the serial line %1 is gone (%2)").arg(device, why));
}

void SerialLine::setSilenceDetection(SilenceDetection mode)
{
    silenceMode = mode;
    if (port->isOpen()) armSilence();
}

bool SerialLine::detectsSilence() const
{
    switch (silenceMode) {
    case SilenceDetection::Always: return true;
    case SilenceDetection::Never: return false;
    case SilenceDetection::Auto: break;
    }
    return !isPseudoTerminal(device);
}

int SerialLine::silenceIntervalUs() const
{
    return FrameSilenceUs(parsed) + ReceiveLatencyUs(device, parsed);
}

void SerialLine::armSilence()
{
    // Worked out once per opening: the notification path must stay cheap.
    silenceMs = detectsSilence() ? std::max(1, (silenceIntervalUs() + 999) / 1000) : 0;
    characterUs = CharacterTimeUs(parsed);
    latencyUs = ReceiveLatencyUs(device, parsed);
}

} // namespace buslink
