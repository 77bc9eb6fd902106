#pragma once
// The line of one component instance: exactly the operations the component
// needs, over the line its port maps to (a serial device, or a TCP connection
// for tcp:// and rtu+tcp:// endpoints). Bytes pass unchanged both ways.
#include "Endpoint.h"
#include "LineSettings.h"
#include "SerialLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace buslink {

class SerialPortService : public QObject {
    Q_OBJECT
public:
    // Notification codes (event code of onComm).
    enum CommEventCode {
        EvSend = 1, EvReceive = 2, EvCTS = 3, EvDSR = 4, EvCD = 5, EvRing = 6, EvEOF = 7,
        ErBreak = 1001, ErFrame = 1004, ErOverrun = 1006, ErRxOver = 1008, ErRxParity = 1009,
        ErTxFull = 1010, ErDCB = 1011,
    };

    explicit SerialPortService(QObject* parent = nullptr);
    ~SerialPortService() override;

    // Port number, mapped to a device or endpoint through the INI file's [Ports] section.
    void setCommPort(qint16 number);
    qint16 commPort() const { return portNumber; }
    // Opens this device or endpoint instead of the mapped one; empty = use the map.
    void setDevicePath(const QString& path);
    QString devicePath() const;
    // What devicePath() names; a serial device when the text does not parse as a network endpoint.
    Endpoint endpoint() const;

    QString settings() const { return settingsText; }
    void setSettings(const QString& text);  // throws on a malformed text or a line that rejects it

    bool portOpen() const;
    void setPortOpen(bool open);            // throws when the device is missing, busy or refuses the settings

    bool dtrEnable() const { return dtr; }
    void setDTREnable(bool on);
    // Carrier detect; on a network line: connected.
    bool cdHolding() const;

    int inBufferCount() const;
    void setInBufferCount(int zero);        // 0 discards the input buffer
    void setOutBufferCount(int zero);       // 0 discards what is not yet sent

    int rThreshold() const { return receiveThreshold; }
    void setRThreshold(int bytes);          // notify once this many bytes wait (0 = never)
    // The frame the reader awaits is this many bytes (0: unknown). A serial line then
    // sleeps until they can have crossed it instead of waking for every character; the
    // receive threshold still decides when the reader is told.
    void setAwaitedFrame(int bytes);
    int inputLen() const { return inputLength; }
    void setInputLen(int bytes);            // bytes one input() takes (0 = all)

    QByteArray input();                     // takes waiting bytes (at most inputLen) out of the buffer
    QByteArray peek(int maxBytes) const;    // the first waiting bytes, left in the buffer
    void output(const QByteArray& bytes);   // throws when the port is closed

    int commEvent() const { return eventCode; }

    // Silence detection (serial lines): after bytes arrived, silence() is signalled once the
    // line has been quiet for the frame-ending silence plus the device's delivery latency
    // (LineTiming.h). Auto leaves it off on pseudo-terminals, where timing means nothing.
    using SilenceDetection = SerialLine::SilenceDetection;
    void setSilenceDetection(SilenceDetection mode);
    bool detectsSilence() const;
    int silenceIntervalUs() const;

    // A line that vanished (device unplugged, the far end of a pseudo-terminal closed, a
    // read error, a TCP connection closed by the peer) is closed at once and reported with
    // lineLost(); reopen() tries again and reports lineRestored() when it is back.
    bool isLineLost() const { return lost; }
    QString lineLostReason() const { return lostReason; }
    bool reopen();

    // A network endpoint opened while listening is served (a TCP server, slave mode);
    // otherwise it is connected to. Takes effect at the next opening.
    void setListening(bool on) { listen = on; }
    bool listening() const { return listen; }
    // The open line is a Modbus TCP one (tcp://): frames carry the MBAP header.
    bool carriesMbap() const { return mbap; }
    // A listening line's connections (numbered from 1). The byte operations act on the
    // current one, which is selected before its bytes are reported; 0: none.
    QList<int> connectionIds() const;
    int currentConnection() const;
    void selectConnection(int id);
    void dropConnection(int id);
    QString peerOf(int id) const;
    struct ServerLimits {
        int maxConnections = 16;
        QStringList allowed;   // "ADDRESS[/BITS]"; empty: any
        int idleTimeoutMs = 60000;
    };
    // Throws BuslinkError naming an allowed entry that does not parse.
    void setServerLimits(const ServerLimits& limits);

signals:
    // A notification: read commEvent() for its code.
    void onComm();
    void silence();
    void lineLost(const QString& reason);
    void lineRestored();
    // A listening line: a connection closed, or one was refused or dropped and why.
    void connectionClosed(int id);
    void connectionRefused(const QString& why);

private:
    void dataArrived();
    void notify(int code);
    void lineGone(const QString& reason);
    std::unique_ptr<Line> makeLine(const Endpoint& e);

    std::unique_ptr<Line> line;
    SerialLine* serial = nullptr;  // the line, when it is a serial device
    class TcpServerLine* server = nullptr;  // the line, when it listens
    bool listen = false;
    bool mbap = false;
    ServerLimits limits;
    SilenceDetection silenceMode = SilenceDetection::Auto;
    bool lost = false;
    QString lostReason;
    qint16 portNumber = 1;
    QString explicitDevice;
    QString settingsText = QStringLiteral("9600,n,8,1");
    LineSettings parsed;
    bool dtr = false;
    int receiveThreshold = 0;
    int awaitedFrame = 0;
    int inputLength = 0;
    int eventCode = 0;
};

} // namespace buslink
