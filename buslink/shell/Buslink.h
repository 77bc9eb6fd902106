#pragma once
// The communications component: a Modbus RTU/ASCII master and slave on one
// serial line. Hosts use its public members (methods, properties, signals);
// the per-instance transaction state lives here and the protocol, scan and
// slave code in the sibling folders works on it.
#include "../base/BoundedArray.h"
#include "../base/BuslinkTypes.h"
#include "../base/TransactionOutcome.h"
#include "PropertyBag.h"
#include "../line/SerialPortService.h"
#include "../protocol/ReceiveBuffer.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>

namespace buslink {

class IoDatabaseService;
class InMemoryIoDatabase;
enum class Framing;
enum class DroppedBytes;
struct RequestPlan;
struct RequestFrame;

// What the master asked for in its last request, so the reply can be decoded.
struct TransactionContext {
    qint16 FunctionCode = 0;
    qint32 StartOffset = 0;
    qint16 AddressRange = 0;
    bool SixDigitForm = false;
    qint16 PointKind = 0;
    qint16 RequestedQuantity = 0;
    qint16 LastUnit = 0;
    QVariant LastAddress;
};

// One frame seen on the line, for hosts that trace the traffic.
struct FrameTraceEntry {
    bool sent = false;          // true: sent by this component; false: received
    QByteArray bytes;           // the frame as on the line (ASCII frames as their text)
    qint64 timestampMs = 0;     // milliseconds since the epoch
    QString verdict;            // received frames: "ok", "CRC error", "LRC error", "incomplete", ...
};
using FrameTrace = std::function<void(const FrameTraceEntry&)>;

class Buslink : public QObject {
    Q_OBJECT
    Q_PROPERTY(qint16 ModBusMode READ ModBusMode WRITE setModBusMode)
    Q_PROPERTY(qint32 Address READ Address WRITE setAddress)
    Q_PROPERTY(bool DTREnable READ DTREnable WRITE setDTREnable)
    Q_PROPERTY(QString Settings READ Settings WRITE setSettings)
    Q_PROPERTY(qint16 NumOfWriteRetries READ NumOfWriteRetries WRITE setNumOfWriteRetries)
    Q_PROPERTY(qint16 NumOfReadRetries READ NumOfReadRetries WRITE setNumOfReadRetries)
    Q_PROPERTY(bool PortOpen READ PortOpen WRITE setPortOpen)
    Q_PROPERTY(qint32 PLCType READ PLCType WRITE setPLCType)
    Q_PROPERTY(qint16 CommPort READ CommPort WRITE setCommPort)
    Q_PROPERTY(QVariant CommBusy READ CommBusy WRITE setCommBusy)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabled)
    Q_PROPERTY(bool CDHolding READ CDHolding)
    Q_PROPERTY(bool ScanReadEnable READ ScanReadEnable WRITE setScanReadEnable)
    Q_PROPERTY(bool ScanWriteEnable READ ScanWriteEnable WRITE setScanWriteEnable)
    Q_PROPERTY(qint32 ScanReadIOTimerInterval READ ScanReadIOTimerInterval WRITE setScanReadIOTimerInterval)
    Q_PROPERTY(qint32 ScanWriteIOTimerInterval READ ScanWriteIOTimerInterval WRITE setScanWriteIOTimerInterval)
    Q_PROPERTY(qint32 ReplyTimeout READ ReplyTimeout WRITE setReplyTimeout)

public:
    // Creation: timers stopped, done flags set. The host defaults to a running program.
    explicit Buslink(QObject* parent = nullptr, BuslinkHost* host = nullptr);
    ~Buslink() override;

    // ---- Host life cycle --------------------------------------------------
    void InitProperties();                   // first initialisation of a new instance
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;
    void Show();                             // stops all three timers
    void Paint();
    void Resize();
    void setHost(BuslinkHost* host);         // nullptr: a running program
    BuslinkHost& host() const;
    QSize controlSizeTwips() const { return sizeTwips; }

    // ---- Properties -------------------------------------------------------
    qint16 ModBusMode() const { return modBusModeBuild; }
    void setModBusMode(qint16 mode);
    qint32 Address() const { return address; }
    void setAddress(qint32 value);
    bool DTREnable() const;
    void setDTREnable(bool on);
    QString Settings() const;
    void setSettings(const QString& text);
    qint16 NumOfWriteRetries() const { return numOfWriteRetries; }
    void setNumOfWriteRetries(qint16 n);
    qint16 NumOfReadRetries() const { return numOfReadRetries; }
    void setNumOfReadRetries(qint16 n);
    bool PortOpen() const { return portOpenStored; }
    void setPortOpen(bool open);
    qint32 PLCType() const { return plcType; }
    void setPLCType(qint32 type);
    qint16 CommPort() const { return commPort; }
    void setCommPort(qint16 number);
    QVariant CommBusy() const;
    void setCommBusy(const QVariant& busy);
    bool Enabled() const { return enabled; }
    void setEnabled(bool on);
    bool CDHolding() const;
    bool ScanReadEnable() const { return scanReadEnable; }
    void setScanReadEnable(bool on);
    bool ScanWriteEnable() const { return scanWriteEnable; }
    void setScanWriteEnable(bool on);
    qint32 ScanReadIOTimerInterval() const;
    void setScanReadIOTimerInterval(qint32 ms);
    qint32 ScanWriteIOTimerInterval() const;
    void setScanWriteIOTimerInterval(qint32 ms);
    // How long the master waits for an answer, in milliseconds (reads, writes, the
    // read scan and the write queue); 2000 unless set. Refused outside 1 to 60000.
    qint32 ReplyTimeout() const { return replyTimeoutMs; }
    void setReplyTimeout(qint32 ms);

    // Opens this device instead of the one the port number maps to (empty: use the map).
    void setDevicePath(const QString& path);
    QString devicePath() const;

    // ---- Master transactions ----------------------------------------------
    // Results: -1 success, 0 failure, 966 busy (ReadPLC only).
    // ReadSize: invalid QVariant = missing (1); ReadPLC doubles it for ioFloat and ioDFloat.
    qint16 ReadPLC(const QVariant& Address, VariantArray& ReadValue, QVariant& ReadSize, qint16& ioType);
    qint16 ReadPLC(const QVariant& Address, QVariant& ReadValue, QVariant& ReadSize, qint16& ioType);
    qint16 ReadPLC(const QVariant& Address, VariantArray& ReadValue, QVariant& ReadSize);  // ioType omitted (ioWord)
    qint16 ReadPLCNW(const QVariant& Address, QVariant& ReadSize);
    // ReadSize 0 counts as 1 (and the caller sees the 1).
    qint16 WritePLC(const QVariant& pstr, VariantArray& ABValue, qint16& ReadSize, qint16& ioType);
    qint16 WritePLC(const QVariant& pstr, QVariant& ABValue, qint16& ReadSize, qint16& ioType);
    qint16 WritePLC(const QVariant& pstr, QVariant& ABValue, qint16& ReadSize);  // ioType omitted (ioWord)
    qint16 ReadPLCValue(const QVariant& Address, QVariant& ResponseValue, qint16& NumOfRegs, qint16& ioType,
                        qint32& IOIdx);
    void EventComComplete() {}

    // The exception code of the last exception reply (0 when the last reply was none) and its meaning.
    qint16 LastExceptionCode() const { return lastExceptionCode; }
    // Why the last master transaction ended, and the text that names the cause.
    const TransactionResult& LastResult() const { return lastResult; }
    // Replies given up since the instance was made (master transactions and scan polls).
    qint32 RepliesLost() const { return repliesLostTotal; }
    static QString ExceptionText(int code);
    // Slave mode: every write is answered with exception 1 and changes nothing.
    void setSlaveReadOnly(bool on);
    bool SlaveReadOnly() const { return slaveReadOnly; }
    // Slave mode on a network endpoint: at most this many clients at once, and only from
    // these networks ("ADDRESS[/BITS]"; empty: any). Throws for an entry that does not parse.
    void setServerLimits(int maxConnections, const QStringList& allowed);
    // Optional frame trace; off (empty) by default and free when off.
    void setFrameTrace(FrameTrace trace) { frameTrace = std::move(trace); }

    // ---- Frames ------------------------------------------------------------
    QString MakeLRC(QString& msg) const;

    // ---- Port control ------------------------------------------------------
    void SendToComm(QString& line1);
    QVariant ReceiveComm();
    void ClearCommPort();
    void Refresh() {}
    void Size(float& Width, float& Height);
    void mains();

    // ---- Register image, reply copy, tags -------------------------------
    QVariant ReadModData(const QVariant& Address, VariantArray& MData, qint16& NumOfReg);
    QVariant SetModData(const QVariant& Address, VariantArray& MData);
    void ForceModData(const QVariant& Add, qint32 value) { Q_UNUSED(Add); Q_UNUSED(value); }
    void IOData(VariantArray& DataArr, qint16 Size);
    QVariant TagAddressFromName(const QVariant& name) const;
    QVariant TagNameFromAddress(const QVariant& Address) const;

    // ---- Scan route and write queue ---------------------------------------
    void WriteQueData();
    void ReadScanDatabase();
    void SetScanRegGroup(qint16 ScanRegGroup, bool state);
    void EditScanDatabase();

    // ---- Numeric conversions ----------------------------------------------
    float LongFloatToDec(qint32& dlong1, qint32& dlong2) const;
    qint16 DecToLongFloat(float& Dec, qint32& dlong1, qint32& dlong2) const;
    qint32 ByteToLong(const ByteArray& ByteArr, double& UnsignedLong) const;
    void LongToByte(qint32& LongVar, ByteArray& ByteArr, qint16& StartByteIndex) const;
    void LongToUInteger(qint32& LongVar, IntArray& UIntegerArr, qint16& StartByteIndex) const;
    void SignedIntToLong(const QVariant& SgnIntr, qint32& Lng1) const;
    void LongToSIgnedInt(const QVariant& Lng1, qint32& SgnIntr) const;

    // ---- Design-time pages --------------------------------------------------
    // Shown by the buslink-widgets library; without it they throw BuslinkError
    // (ErrNoDesignPages) saying so. A console host has no windows: ShowAboutBox does nothing.
    void ShowAboutBox();
    static bool DesignPagesAvailable();

    // ---- Services -------------------------------------------------------------
    SerialPortService& port() { return *MSComm2; }
    IoDatabaseService& DB1() { return *ioDatabase; }
    // Replaces the I/O database service (the component does not take ownership); nullptr restores its own.
    void setIoDatabaseService(IoDatabaseService* service);
    InMemoryIoDatabase& ownIoDatabase() { return *ownDatabase; }

signals:
    void CommCompleteEx(const buslink::VariantArray& MData, qint32 MAdd, qint16 quan, const QString& ErrorStr,
                        qint16 RespStatus);
    void CommComplete();  // declared for hosts; never raised
    void CommEventModem(qint16 CommEvent, const buslink::VariantArray& MData, bool Connected);
    // A stored property changed; the host should save it.
    void propertyChanged(const QString& name);
    // The line vanished (ErrorStr names the device and why); the component opens it
    // again at the next transaction or scan tick, and in slave mode once a second.
    void LineLost(const QString& ErrorStr);
    void LineRestored();

private:
    friend class BuslinkTestAccess;  // tests look at the transaction state

    // Receive dispatch (port notification).
    void OnComm();
    // Master protocol.
    // Keeps what the reply handler needs to know of the request the plan describes.
    void RememberRequest(const RequestPlan& plan);
    bool BuildReadRequest(qint16 unit, const QVariant& address, qint16 quantity);
    bool BuildSingleWrite(qint16 unit, const QVariant& address, qint32 value);
    bool BuildMultipleWrite(qint16 unit, const QVariant& address, VariantArray& values, qint16 n);
    // The shared second half of both write builders: waits for the line, frames and sends.
    void SendWrite(qint16 unit, const RequestPlan& plan, const std::function<RequestFrame(Framing)>& frameFor);
    void SendFrame(const QByteArray& frame);
    // The framing requests and answers take on this line: MBAP on a Modbus TCP line, else the mode's.
    Framing ReadFraming() const;
    Framing WriteFraming() const;
    void HandleMasterReply();
    // Waits in the event loop until done() holds, the reply time-out at most; false when
    // the time ran out. A condition that holds already costs no look at the clock.
    template <typename Done>
    bool WaitUpToReplyTimeout(Done done);
    // True once the reply time-out has passed since the last request went out.
    bool ReplyOverdue() const;
    // Lets events run until the transaction ends; false when the reply time-out came first.
    bool AwaitAnswer();
    // A wait that ended without this request's answer (the host, or the watchdog, ended it).
    void RecordWaitEndedEarly();
    // Records why the transaction ended.
    void SetResult(Outcome outcome, const QString& text, int exceptionCode = 0);
    // A transaction given up without an answer: why (nothing came, only part of the
    // answer, only stray frames).
    void RecordNoAnswer();
    // The port is open, or a lost line could be opened again; else the result says why.
    bool EnsureLine();
    void OnLineLost(const QString& reason);
    void TryReopenForSlave();
    bool isSlaveModeNow() const { return modBusModeDispatch == SlaveRtu || modBusModeDispatch == SlaveAscii; }
    void StartWatchdog();
    void AbandonLostPoll();            // a scan poll whose answer is overdue: counted and given up
    bool ReadAndWait(qint16 unit, const QVariant& reference, qint16 q, VariantArray* arrayValue,
                     QVariant* singleValue, qint16 ioType);
    bool WriteAndWait(qint16 unit, const QVariant& reference, const VariantArray* arrayValue,
                      const QVariant* singleValue, qint16 n, qint16 ioType);
    bool ResolveAddress(const QVariant& address, qint16& unit, QVariant& reference) const;
    qint16 ReadPLCWith(const QVariant& Address, VariantArray* arrayValue, QVariant* singleValue, QVariant& ReadSize,
                       qint16 ioType);
    qint16 WritePLCWith(const QVariant& pstr, VariantArray* arrayValue, QVariant* singleValue, qint16& ReadSize,
                        qint16 ioType);
    void ArmPort();                    // discards input and waits for the reply of ExpectedReplyLength
    void SendRequest(const QByteArray& line, const QByteArray& bytes);
    void CollectReply();               // takes waiting bytes and acts on the answer once it is complete
    void TraceIncompleteReply();       // a transaction given up: show what had arrived
    void WaitForLine(qint64 deadlineMs);  // one wait slice, never past the deadline by much
    void WatchdogTick();
    // Scan engine and slave mode.
    void ReadScanTick();
    void WriteQueueTick();
    void HandleSlaveRequest();         // bytes arrived: serve the requests they complete
    void SlaveEndOfBurst();            // a silence ended what the slave received
    bool SlaveServingActive() const;   // slave mode, not raw, port open
    void ReceiveSlaveBytes(bool silence);
    // Slave mode's framing on this line: MBAP on a Modbus TCP line, else the mode's.
    Framing SlaveFraming() const;
    // The receive buffer of a listening line's client (0: the one line there is).
    ReceiveBuffer& SlaveBufferFor(int connection);
    void ServeBufferedSlaveFrames(int connection);
    void ServeBufferedMbapFrames(int connection);
    void AwaitRestOfSlaveFrame(const ReceiveBuffer& buffer, Framing framing);
    void DropSlaveBytes(const QByteArray& bytes, DroppedBytes what, Framing framing);
    void ServeSlaveFrame(const QByteArray& frame, Framing framing, int connection, quint16 transaction);
    void MasterEndOfBurst();           // a silence ended what arrived for the awaited answer
    void SetUpSlaveMode();
    void MakeImage();
    void trace(bool sent, const QByteArray& bytes, const QString& verdict);

    BuslinkHost* hostInterface = nullptr;
    std::unique_ptr<BuslinkHost> ownHost;
    SerialPortService* MSComm2 = nullptr;
    InMemoryIoDatabase* ownDatabase = nullptr;
    IoDatabaseService* ioDatabase = nullptr;
    QTimer Timer1;  // reply watchdog, 2000 ms (the reply time-out when that is shorter)
    QTimer reopenTimer;  // slave mode: tries a lost line again once a second
    QTimer Timer2;  // read scan
    QTimer Timer3;  // write queue
    QSize sizeTwips;

    // Stored properties.
    qint16 modBusModeBuild = Rtu;     // the request builders' copy
    qint16 modBusModeDispatch = Rtu;  // the receive dispatch's copy
    qint32 address = 0;
    qint16 DefaultUnit = 0;
    qint16 numOfWriteRetries = 0;
    qint16 numOfReadRetries = 0;
    bool portOpenStored = false;
    qint32 plcType = EnStdModbus;
    qint16 commPort = 1;
    bool enabled = false;
    bool scanReadEnable = false;
    bool scanWriteEnable = false;
    // Kept in the property bag, no effect on behaviour.
    qint32 backColor = 0, foreColor = 0;
    QString font;
    qint16 backStyle = 0, borderStyle = 0, appearance = 0;
    QVariant baud = 19200;

    // Transaction state.
    TransactionContext context;
    bool ReadDone = true;
    bool WriteDone = true;
    bool WriteLock = false;
    bool RawMode = false;
    bool ReadWaiting = false;
    bool WriteActive = false;
    qint16 LostReplies = 0;
    qint32 repliesLostTotal = 0;
    QVariant LostUnit;
    qint64 LastSendTime = 0;          // milliseconds of WholeSecondClock
    qint32 replyTimeoutMs = 2000;
    TransactionResult lastResult;
    QString strayNote;                // why the last stray frame was no answer to the awaited request
    int ExpectedReplyLength = 0;
    VariantArray ReplyData{0, 2000};  // the largest read: 2000 coils
    QString ErrorText;
    qint16 ResponseStatus = -1;
    bool ReplyError = false;
    bool ScanReply = false;
    qint16 LastValueType = 0;
    QString ReplyKey;
    qint16 lastExceptionCode = 0;
    FrameTrace frameTrace;
    QByteArray replyBuffer;           // bytes received for the awaited answer, not yet taken
    QByteArray lastRequest;           // bytes of the request awaiting an answer; empty once answered
    quint32 requestSerial = 0;        // counts requests sent
    quint16 transactionId = 0;        // Modbus TCP: the last request's transaction id
    quint32 answeredSerial = 0;       // the request whose answer was taken last

    // Port control.
    bool CarrierState = false;
    VariantArray ModemData{0, 10};

    // Register image and slave receive buffer.
    IntArray IoImage;                 // empty until the mode is first set or loaded
    ReceiveBuffer slaveReceiveBuffer;  // bytes received in slave mode, not yet framed
    std::map<int, ReceiveBuffer> connectionBuffers;  // the same, per client of a listening line
    QList<int> pendingConnections;     // clients whose bytes came in while a pass was running
    bool slaveReadOnly = false;

    // Read scan: elapsed time per route entry.
    BoundedArray<qint16> ElapsedMs{0, 1000};
    bool readScanPassRunning = false;   // a pass is waiting for the line; further ticks skip
    // Slave mode: a pass is serving the buffer; a notification meanwhile (from a host's
    // event handler) only adds its bytes for that pass to serve.
    bool slaveRequestRunning = false;
};

} // namespace buslink
