#include "TcpClientLine.h"

#include "base/BuslinkError.h"
#include "base/EventWait.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

namespace buslink {

TcpClientLine::TcpClientLine(const QString& h, quint16 p, const QString& name, QObject* parent)
    : Line(parent), socket(new QTcpSocket(this)), host(h), port(p), endpointName(name)
{
    connect(socket, &QTcpSocket::readyRead, this, [this] { bytesArrived(); });
    connect(socket, &QTcpSocket::disconnected, this, &TcpClientLine::peerGone);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (opened && socket->state() != QAbstractSocket::ConnectedState) peerGone();
    });
}

TcpClientLine::~TcpClientLine()
{
    opened = false;
    socket->abort();
}

void TcpClientLine::open()
{
    socket->abort();
    socket->connectToHost(host, port);
    // The connection comes through the event loop; wait for it a bounded time.
    QDeadlineTimer deadline(connectTimeoutMs);
    while (socket->state() != QAbstractSocket::ConnectedState && socket->state() != QAbstractSocket::UnconnectedState
           && !deadline.hasExpired())
        LetPendingEventsRun(int(qBound(qint64(1), deadline.remainingTime(), qint64(100))));
    if (socket->state() != QAbstractSocket::ConnectedState) {
        const QString why = socket->state() == QAbstractSocket::UnconnectedState
                                ? socket->errorString()
                                : QStringLiteral("no connection within %1 ms").arg(connectTimeoutMs);
        socket->abort();
        throw BuslinkError(ErrInvalidPortNumber, QStringLiteral("cannot connect to %1: %2").arg(endpointName, why));
    }
    // Requests are small and must go at once.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    opened = true;
}

void TcpClientLine::close()
{
    opened = false;
    socket->abort();
}

bool TcpClientLine::isOpen() const
{
    return opened && socket->state() == QAbstractSocket::ConnectedState;
}

qint64 TcpClientLine::bytesAvailable() const
{
    return socket->bytesAvailable();
}

QByteArray TcpClientLine::read(qint64 maxBytes)
{
    return maxBytes > 0 ? socket->read(maxBytes) : socket->readAll();
}

QByteArray TcpClientLine::peek(qint64 maxBytes) const
{
    return maxBytes > 0 ? socket->peek(maxBytes) : QByteArray();
}

void TcpClientLine::discardInput()
{
    if (socket->bytesAvailable() > 0) socket->readAll();
}

void TcpClientLine::discardOutput()
{
    // Nothing waits: every write is handed to the system at once.
}

void TcpClientLine::write(const QByteArray& bytes)
{
    if (!isOpen()) throw BuslinkError(ErrPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    if (socket->write(bytes) != bytes.size())
        throw BuslinkError(ErrPortNotOpen, QStringLiteral("Write failed: %1: %2").arg(endpointName, socket->errorString()));
    socket->flush();
}

void TcpClientLine::peerGone()
{
    if (!opened) return;
    opened = false;
    const QString why = socket->error() == QAbstractSocket::RemoteHostClosedError || socket->error() == QAbstractSocket::UnknownSocketError
                            ? QStringLiteral("closed by the peer")
                            : socket->errorString();
    socket->abort();
    emit lost(QStringLiteral("the connection to %1 is gone (%2)").arg(endpointName, why));
}

} // namespace buslink
