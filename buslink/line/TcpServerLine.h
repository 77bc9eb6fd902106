#pragma once
// A listening slave's line: the connections a QTcpServer accepts, each its own
// byte stream. The Line operations act on the current connection, which the
// port service selects before it reports that connection's bytes, so a reply
// goes back where its request came from. Modbus has no authentication: the
// server listens only on the address it is given, can be limited to a list of
// networks, refuses connections beyond its limit and drops clients that stay
// silent too long, so one client can never block the others.
#include "Line.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QTimer>

#include <map>

class QTcpServer;
class QTcpSocket;

namespace buslink {

class TcpServerLine : public Line {
    Q_OBJECT
public:
    TcpServerLine(const QString& host, quint16 port, const QString& name, QObject* parent = nullptr);
    ~TcpServerLine() override;

    void open() override;   // starts listening
    void close() override;  // stops listening and drops every connection
    bool isOpen() const override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxBytes) override;
    QByteArray peek(qint64 maxBytes) const override;
    void discardInput() override;
    void discardOutput() override;
    void write(const QByteArray& bytes) override;
    QString name() const override { return endpointName; }

    // Connections are numbered from 1 as they are accepted; 0 is none.
    int currentConnection() const { return current; }
    void selectConnection(int id);
    QList<int> connections() const;
    QString peerOf(int id) const;
    // Drops a connection (a client that sent what no framing can take).
    void dropConnection(int id);

    void setMaxConnections(int n) { maxConnections = n; }
    // Networks a client may come from ("192.0.2.0/24", "::1"); empty: any.
    void setAllowed(const QList<QPair<QHostAddress, int>>& networks) { allowed = networks; }
    // A connection that sends nothing for this long is dropped (0: never).
    void setIdleTimeout(int ms) { idleTimeoutMs = ms; }

signals:
    // Bytes arrived on a connection; the port service selects it and reports them.
    void connectionReadyRead(int id);
    void connectionClosed(int id);
    // A connection was refused or dropped, and why (for the trace and the host).
    void refused(const QString& why);

private:
    struct Connection {
        QTcpSocket* socket = nullptr;
        QString peer;
        qint64 lastActivityMs = 0;
    };
    void accept();
    void checkIdle();
    QTcpSocket* currentSocket() const;

    QTcpServer* server;
    QString host;
    quint16 port;
    QString endpointName;
    std::map<int, Connection> open_;
    int nextId = 1;
    int current = 0;
    int maxConnections = 16;
    int idleTimeoutMs = 60000;
    QList<QPair<QHostAddress, int>> allowed;
    QTimer idleCheck;
};

// Parses "ADDRESS[/BITS]" (IPv4 or IPv6); false when it does not parse.
bool ParseNetwork(const QString& text, QPair<QHostAddress, int>& network);

} // namespace buslink
