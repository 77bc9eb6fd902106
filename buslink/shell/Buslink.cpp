#include "Buslink.h"

#include "base/BuslinkError.h"
#include "protocol/FrameCodec.h"
#include "scan/IoDatabaseService.h"
#include "scan/StartupConfiguration.h"

#include <QDateTime>

namespace buslink {

namespace {
constexpr QSize kCreatedSize{825, 450};
constexpr QSize kShownSize{475, 500};

bool isSlaveMode(qint16 mode) { return mode == SlaveRtu || mode == SlaveAscii; }

qint16 toInt16(qint64 v)
{
    if (v < -32768 || v > 32767) throw BuslinkError(ErrOverflow, QStringLiteral("Overflow"));
    return qint16(v);
}
} // namespace

Buslink::Buslink(QObject* parent, BuslinkHost* host)
    : QObject(parent), hostInterface(host), MSComm2(new SerialPortService(this)),
      ownDatabase(new InMemoryIoDatabase(this)), ioDatabase(ownDatabase)
{
    if (!hostInterface) {
        ownHost = std::make_unique<RunModeHost>();
        hostInterface = ownHost.get();
    }
    EnsureStartupRoutineRan();
    connect(MSComm2, &SerialPortService::onComm, this, [this] {
        // Nothing a notification does may escape into the event loop.
        try {
            OnComm();
        } catch (...) {
        }
    });
    // The line has been quiet long enough to end a frame (real lines only).
    connect(MSComm2, &SerialPortService::silence, this, [this] {
        try {
            if (RawMode) return;
            if (isSlaveMode(modBusModeDispatch)) SlaveEndOfBurst();
            else MasterEndOfBurst();
        } catch (...) {
        }
    });
    connect(MSComm2, &SerialPortService::lineLost, this, [this](const QString& reason) {
        try {
            OnLineLost(reason);
        } catch (...) {
        }
    });
    connect(MSComm2, &SerialPortService::lineRestored, this, [this] {
        reopenTimer.stop();
        if (isSlaveModeNow()) SetUpSlaveMode();
        emit LineRestored();
    });
    connect(MSComm2, &SerialPortService::connectionClosed, this, [this](int id) {
        connectionBuffers.erase(id);
        pendingConnections.removeAll(id);
    });
    connect(MSComm2, &SerialPortService::connectionRefused, this, [this](const QString& why) {
        if (frameTrace) trace(false, QByteArray(), why);
    });
    reopenTimer.setInterval(1000);
    connect(&reopenTimer, &QTimer::timeout, this, [this] {
        try {
            TryReopenForSlave();
        } catch (...) {
        }
    });
    Timer1.setInterval(2000);
    Timer2.setInterval(500);
    Timer3.setInterval(250);
    connect(&Timer1, &QTimer::timeout, this, [this] { try { WatchdogTick(); } catch (...) {} });
    connect(&Timer2, &QTimer::timeout, this, [this] { try { ReadScanTick(); } catch (...) {} });
    connect(&Timer3, &QTimer::timeout, this, [this] { try { WriteQueueTick(); } catch (...) {} });

    // Creation.
    Timer1.stop();
    Timer2.stop();
    Timer3.stop();
    sizeTwips = kCreatedSize;
    ReadDone = WriteDone = true;
    DefaultUnit = qint16(address);
}

Buslink::~Buslink() = default;

void Buslink::setHost(BuslinkHost* host)
{
    if (host) {
        hostInterface = host;
        ownHost.reset();
    } else if (!ownHost) {
        ownHost = std::make_unique<RunModeHost>();
        hostInterface = ownHost.get();
    }
}

BuslinkHost& Buslink::host() const
{
    return *hostInterface;
}

// ---- Life cycle -------------------------------------------------------------

void Buslink::InitProperties()
{
    backColor = foreColor = 0;
    enabled = false;
    font = hostInterface->ambientFont();
    backStyle = borderStyle = appearance = 0;
    commPort = 1;
    portOpenStored = false;
    numOfReadRetries = 2;
    numOfWriteRetries = 2;
    address = 1;
    DefaultUnit = 1;
    modBusModeBuild = modBusModeDispatch = Rtu;
    MSComm2->setListening(false);
    plcType = EnStdModbus;
    scanWriteEnable = false;
    scanReadEnable = false;
    replyTimeoutMs = 2000;
    // A fresh instance needs its reply watchdog as much as a loaded one: without it one
    // lost reply would leave the line busy for good.
    StartWatchdog();
}

void Buslink::StartWatchdog()
{
    Timer1.setInterval(qBound(50, replyTimeoutMs, 2000));
    if (!hostInterface->designMode() && !isSlaveModeNow()) Timer1.start();
    else Timer1.stop();
}

void Buslink::TryReopenForSlave()
{
    if (!isSlaveModeNow() || !MSComm2->isLineLost()) {
        reopenTimer.stop();
        return;
    }
    MSComm2->reopen();
}

void Buslink::ReadProperties(const PropertyBag& bag)
{
    // A bad value in the bag (a settings text the port refuses, say) must not
    // stop the rest of the properties from loading: each step stands alone.
    const auto step = [](auto&& f) {
        try {
            f();
        } catch (const BuslinkError&) {
        }
    };
    step([&] { backColor = bag.read("BackColor", 0).toInt(); });
    step([&] { foreColor = bag.read("ForeColor", 0).toInt(); });
    step([&] { enabled = bag.read("Enabled", false).toBool(); });
    step([&] { font = bag.read("Font", hostInterface->ambientFont()).toString(); });
    step([&] { backStyle = qint16(bag.read("BackStyle", 0).toInt()); });
    step([&] { borderStyle = qint16(bag.read("BorderStyle", 0).toInt()); });
    step([&] { baud = bag.read("Baud", 19200); });
    step([&] { appearance = qint16(bag.read("Appearance", 0).toInt()); });
    step([&] {
        commPort = toInt16(bag.read("CommPort", 1).toLongLong());
        MSComm2->setCommPort(commPort);
    });
    step([&] { portOpenStored = bag.read("PortOpen", false).toBool(); });
    step([&] { numOfReadRetries = toInt16(bag.read("NumOfReadRetries", 2).toLongLong()); });
    step([&] { numOfWriteRetries = toInt16(bag.read("NumOfWriteRetries", 2).toLongLong()); });
    step([&] { MSComm2->setSettings(bag.read("Settings", QStringLiteral("9600,e,8,1")).toString()); });
    step([&] { MSComm2->setDTREnable(bag.read("DTREnable", true).toBool()); });
    step([&] {
        address = bag.read("Address", 1).toInt();
        DefaultUnit = toInt16(address);
    });
    ReadDone = true;
    step([&] { modBusModeBuild = modBusModeDispatch = toInt16(bag.read("ModBusMode", Rtu).toLongLong()); });
    MSComm2->setListening(isSlaveMode(modBusModeDispatch));
    step([&] { plcType = bag.read("PLCType", EnStdModbus).toInt(); });
    step([&] { scanReadEnable = bag.read("ScanReadEnable", false).toBool(); });
    step([&] { scanWriteEnable = bag.read("ScanWriteEnable", false).toBool(); });
    step([&] { Timer2.setInterval(bag.read("ScanReadIOTimerInterval", 500).toInt()); });
    step([&] { Timer3.setInterval(bag.read("ScanWriteIOTimerInterval", 55).toInt()); });
    step([&] {
        const int ms = bag.read("ReplyTimeout", 2000).toInt();
        replyTimeoutMs = ms >= 1 && ms <= 60000 ? ms : 2000;
    });
    if (isSlaveMode(modBusModeDispatch)) SetUpSlaveMode();
    else slaveReceiveBuffer.redim(0, 5);
    MakeImage();
    if (!hostInterface->designMode()) {
        if (isSlaveMode(modBusModeDispatch)) {
            Timer1.stop();
            Timer2.stop();
            Timer3.stop();
        } else {
            StartWatchdog();
            scanReadEnable ? Timer2.start() : Timer2.stop();
            scanWriteEnable ? Timer3.start() : Timer3.stop();
        }
    } else {
        Timer1.stop();
        Timer2.stop();
        Timer3.stop();
    }
    ReadDone = WriteDone = true;
}

void Buslink::WriteProperties(PropertyBag& bag) const
{
    bag.write("BackColor", backColor, 0);
    bag.write("ForeColor", foreColor, 0);
    bag.write("Enabled", enabled, false);
    bag.write("Font", font, hostInterface->ambientFont());
    bag.write("BackStyle", backStyle, 0);
    bag.write("BorderStyle", borderStyle, 0);
    bag.write("Baud", baud, 19200);
    bag.write("Appearance", appearance, 0);
    bag.write("CommPort", commPort, 1);
    bag.write("PortOpen", portOpenStored, false);
    bag.write("NumOfReadRetries", numOfReadRetries, 2);
    bag.write("NumOfWriteRetries", numOfWriteRetries, 2);
    bag.write("Settings", MSComm2->settings(), QStringLiteral("9600,e,8,1"));
    bag.write("DTREnable", MSComm2->dtrEnable(), true);
    bag.write("Address", address, 1);
    bag.write("ModBusMode", modBusModeBuild, Rtu);
    bag.write("PLCType", plcType, EnStdModbus);
    bag.write("WriteUpdateInterval", Timer2.interval(), 500);
    bag.write("ScanWriteEnable", scanWriteEnable, false);
    bag.write("ScanReadEnable", scanReadEnable, false);
    bag.write("ScanReadIOTimerInterval", Timer2.interval(), 500);
    bag.write("ScanWriteIOTimerInterval", Timer3.interval(), 55);
    bag.write("ReplyTimeout", replyTimeoutMs, 2000);
}

void Buslink::Show()
{
    Timer1.stop();
    Timer2.stop();
    Timer3.stop();
}

void Buslink::Paint() { sizeTwips = kShownSize; }
void Buslink::Resize() { sizeTwips = kShownSize; }

void Buslink::Size(float& Width, float& Height)
{
    Q_UNUSED(Width);
    Q_UNUSED(Height);
    sizeTwips = kShownSize;
}

void Buslink::mains()
{
    RunStartupRoutine();
}

// ---- Properties ---------------------------------------------------------------

void Buslink::setModBusMode(qint16 mode)
{
    modBusModeBuild = modBusModeDispatch = mode;
    // A slave on a network endpoint listens on it, a master connects to it: an open
    // network line takes its new role at once.
    if (MSComm2->listening() != isSlaveMode(mode)) {
        MSComm2->setListening(isSlaveMode(mode));
        if (MSComm2->portOpen() && MSComm2->endpoint().isNetwork()) {
            MSComm2->setPortOpen(false);
            MSComm2->setPortOpen(true);
        }
    }
    if (isSlaveMode(mode)) Timer1.stop();  // the watchdog serves the master only
    if (isSlaveMode(mode)) SetUpSlaveMode();
    else slaveReceiveBuffer.redim(0, 5);
    MakeImage();
    emit propertyChanged(QStringLiteral("ModBusMode"));
}

void Buslink::SetUpSlaveMode()
{
    // Every received byte is reported and one read takes all that waits.
    if (MSComm2->portOpen()) MSComm2->setInBufferCount(0);
    MSComm2->setRThreshold(1);
    MSComm2->setAwaitedFrame(0);
    MSComm2->setInputLen(0);
    slaveReceiveBuffer.redim(0, 50000);
    connectionBuffers.clear();
    pendingConnections.clear();
}

void Buslink::MakeImage()
{
    IoImage.redim(0, isSlaveMode(modBusModeDispatch) ? 50000 : 5);
}

void Buslink::setAddress(qint32 value)
{
    const qint16 unit = toInt16(value);
    address = value;
    DefaultUnit = unit;
    emit propertyChanged(QStringLiteral("Address"));
}

bool Buslink::DTREnable() const { return MSComm2->dtrEnable(); }

void Buslink::setDTREnable(bool on)
{
    MSComm2->setDTREnable(on);
    emit propertyChanged(QStringLiteral("DTREnable"));
}

QString Buslink::Settings() const { return MSComm2->settings(); }

void Buslink::setSettings(const QString& text)
{
    MSComm2->setSettings(text);
    emit propertyChanged(QStringLiteral("Settings"));
}

void Buslink::setNumOfWriteRetries(qint16 n)
{
    numOfWriteRetries = n;
    emit propertyChanged(QStringLiteral("NumOfWriteRetries"));
}

void Buslink::setNumOfReadRetries(qint16 n)
{
    numOfReadRetries = n;
    emit propertyChanged(QStringLiteral("NumOfReadRetries"));
}

void Buslink::setPortOpen(bool open)
{
    if (hostInterface->designMode())
        throw BuslinkError(ErrDesignMode, QStringLiteral("Property is read-only at design time"));
    portOpenStored = open;
    emit propertyChanged(QStringLiteral("PortOpen"));
    if (open != MSComm2->portOpen()) MSComm2->setPortOpen(open);
}

void Buslink::setPLCType(qint32 type)
{
    plcType = type;
    emit propertyChanged(QStringLiteral("PLCType"));
}

void Buslink::setCommPort(qint16 number)
{
    commPort = number;
    emit propertyChanged(QStringLiteral("CommPort"));
    MSComm2->setCommPort(number);
}

QVariant Buslink::CommBusy() const
{
    return QVariant(!ReadDone || !WriteDone || WriteLock);
}

void Buslink::setCommBusy(const QVariant& busy)
{
    if (!busy.toBool()) {
        ReadDone = WriteDone = true;
        WriteLock = false;
    }
}

void Buslink::setEnabled(bool on)
{
    enabled = on;
    emit propertyChanged(QStringLiteral("Enabled"));
}

bool Buslink::CDHolding() const { return MSComm2->cdHolding(); }

void Buslink::setScanReadEnable(bool on)
{
    scanReadEnable = on;
    (on && !hostInterface->designMode()) ? Timer2.start() : Timer2.stop();
    emit propertyChanged(QStringLiteral("ScanReadEnable"));
}

void Buslink::setScanWriteEnable(bool on)
{
    scanWriteEnable = on;
    (on && !hostInterface->designMode()) ? Timer3.start() : Timer3.stop();
    emit propertyChanged(QStringLiteral("ScanWriteEnable"));
}

qint32 Buslink::ScanReadIOTimerInterval() const { return Timer2.interval(); }

void Buslink::setScanReadIOTimerInterval(qint32 ms)
{
    Timer2.setInterval(ms);
    emit propertyChanged(QStringLiteral("ScanReadIOTimerInterval"));
}

qint32 Buslink::ScanWriteIOTimerInterval() const { return Timer3.interval(); }

void Buslink::setReplyTimeout(qint32 ms)
{
    if (ms < 1 || ms > 60000)
        throw BuslinkError(ErrInvalidPropertyValue,
                           QStringLiteral("Invalid property value: ReplyTimeout %1 ms (1 to 60000)").arg(ms));
    replyTimeoutMs = ms;
    if (Timer1.isActive()) StartWatchdog();
    else Timer1.setInterval(qBound(50, replyTimeoutMs, 2000));
    emit propertyChanged(QStringLiteral("ReplyTimeout"));
}

void Buslink::setScanWriteIOTimerInterval(qint32 ms)
{
    Timer3.setInterval(ms);
    emit propertyChanged(QStringLiteral("ScanWriteIOTimerInterval"));
}

void Buslink::setDevicePath(const QString& path) { MSComm2->setDevicePath(path); }
QString Buslink::devicePath() const { return MSComm2->devicePath(); }

void Buslink::setIoDatabaseService(IoDatabaseService* service)
{
    ioDatabase = service ? service : ownDatabase;
}

// ---- Frames and tracing -----------------------------------------------------------

QString Buslink::MakeLRC(QString& msg) const
{
    return buslink::MakeLRC(msg);
}

QString Buslink::ExceptionText(int code)
{
    switch (code) {
    case 1: return QStringLiteral("illegal function");
    case 2: return QStringLiteral("illegal data address");
    case 3: return QStringLiteral("illegal data value");
    case 4: return QStringLiteral("slave device failure");
    case 5: return QStringLiteral("acknowledge");
    case 6: return QStringLiteral("slave device busy");
    case 8: return QStringLiteral("memory parity error");
    case 10: return QStringLiteral("gateway path unavailable");
    case 11: return QStringLiteral("gateway target device failed to respond");
    default: return QStringLiteral("exception code %1").arg(code);
    }
}

void Buslink::trace(bool sent, const QByteArray& bytes, const QString& verdict)
{
    if (!frameTrace) return;
    frameTrace(FrameTraceEntry{sent, bytes, QDateTime::currentMSecsSinceEpoch(), verdict});
}

} // namespace buslink
