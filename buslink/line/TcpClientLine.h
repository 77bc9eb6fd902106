#pragma once
// A TCP connection to a Modbus TCP device, a gateway or a serial device server,
// over QTcpSocket. Opening connects within a bounded time, letting events run;
// a connection refused, reset or closed by the peer is reported as a lost line,
// and the next open connects again.
#include "Line.h"

class QTcpSocket;

namespace buslink {

class TcpClientLine : public Line {
    Q_OBJECT
public:
    TcpClientLine(const QString& host, quint16 port, const QString& name, QObject* parent = nullptr);
    ~TcpClientLine() override;

    void open() override;
    void close() override;
    bool isOpen() const override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxBytes) override;
    QByteArray peek(qint64 maxBytes) const override;
    void discardInput() override;
    void discardOutput() override;
    void write(const QByteArray& bytes) override;
    QString name() const override { return endpointName; }

    // How long open() waits for the connection, in milliseconds.
    void setConnectTimeout(int ms) { connectTimeoutMs = ms; }

private:
    void peerGone();

    QTcpSocket* socket;
    QString host;
    quint16 port;
    QString endpointName;
    int connectTimeoutMs = 3000;
    bool opened = false;
};

} // namespace buslink
