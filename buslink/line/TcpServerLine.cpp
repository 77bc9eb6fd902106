#include "TcpServerLine.h"

#include "base/BuslinkError.h"
#include "base/WholeSecondClock.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace buslink {

bool ParseNetwork(const QString& text, QPair<QHostAddress, int>& network)
{
    const QString t = text.trimmed();
    if (t.contains(QLatin1Char('/'))) {
        network = QHostAddress::parseSubnet(t);
        return !network.first.isNull();
    }
    QHostAddress address;
    if (!address.setAddress(t)) return false;
    network = {address, address.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
    return true;
}

TcpServerLine::TcpServerLine(const QString& h, quint16 p, const QString& name, QObject* parent)
    : Line(parent), server(new QTcpServer(this)), host(h), port(p), endpointName(name)
{
    connect(server, &QTcpServer::newConnection, this, &TcpServerLine::accept);
    idleCheck.setInterval(1000);
    connect(&idleCheck, &QTimer::timeout, this, &TcpServerLine::checkIdle);
}

TcpServerLine::~TcpServerLine()
{
    close();
}

void TcpServerLine::open()
{
    QHostAddress address;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) address = QHostAddress::LocalHost;
    else if (!address.setAddress(host))
        throw BuslinkError(ErrInvalidPortNumber,
                           QStringLiteral("cannot listen on %1: %2 is no address of this machine (give an IP address)")
                               .arg(endpointName, host));
    if (!server->listen(address, port))
        throw BuslinkError(ErrInvalidPortNumber, QStringLiteral("cannot listen on %1: %2").arg(endpointName, server->errorString()));
    idleCheck.start();
}

void TcpServerLine::close()
{
    idleCheck.stop();
    server->close();
    for (auto& [id, c] : open_) {
        c.socket->disconnect(this);
        c.socket->abort();
        c.socket->deleteLater();
    }
    open_.clear();
    current = 0;
}

bool TcpServerLine::isOpen() const
{
    return server->isListening();
}

void TcpServerLine::accept()
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        const QHostAddress from = socket->peerAddress();
        const QString peer = QStringLiteral("%1:%2").arg(from.toString()).arg(socket->peerPort());
        bool permitted = allowed.isEmpty();
        for (const auto& network : allowed) permitted = permitted || from.isInSubnet(network);
        if (!permitted || int(open_.size()) >= maxConnections) {
            emit refused(permitted ? QStringLiteral("connection from %1 refused: %2 clients already").arg(peer).arg(maxConnections)
                                   : QStringLiteral("connection from %1 refused: not an allowed address").arg(peer));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const int id = nextId++;
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        open_[id] = Connection{socket, peer, WholeSecondClock::nowMilliseconds()};
        connect(socket, &QTcpSocket::readyRead, this, [this, id] {
            auto it = open_.find(id);
            if (it == open_.end()) return;
            it->second.lastActivityMs = WholeSecondClock::nowMilliseconds();
            emit connectionReadyRead(id);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { dropConnection(id); });
    }
}

void TcpServerLine::checkIdle()
{
    if (idleTimeoutMs <= 0) return;
    const qint64 now = WholeSecondClock::nowMilliseconds();
    QList<int> idle;
    for (const auto& [id, c] : open_)
        if (now - c.lastActivityMs >= idleTimeoutMs) idle << id;
    for (int id : idle) {
        emit refused(QStringLiteral("connection from %1 dropped: silent for %2 s").arg(peerOf(id)).arg(idleTimeoutMs / 1000));
        dropConnection(id);
    }
}

void TcpServerLine::selectConnection(int id)
{
    current = open_.count(id) ? id : 0;
}

QList<int> TcpServerLine::connections() const
{
    QList<int> ids;
    for (const auto& entry : open_) ids << entry.first;
    return ids;
}

QString TcpServerLine::peerOf(int id) const
{
    const auto it = open_.find(id);
    return it == open_.end() ? QString() : it->second.peer;
}

void TcpServerLine::dropConnection(int id)
{
    auto it = open_.find(id);
    if (it == open_.end()) return;
    QTcpSocket* socket = it->second.socket;
    open_.erase(it);
    if (current == id) current = 0;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    emit connectionClosed(id);
}

QTcpSocket* TcpServerLine::currentSocket() const
{
    const auto it = open_.find(current);
    return it == open_.end() ? nullptr : it->second.socket;
}

qint64 TcpServerLine::bytesAvailable() const
{
    QTcpSocket* s = currentSocket();
    return s ? s->bytesAvailable() : 0;
}

QByteArray TcpServerLine::read(qint64 maxBytes)
{
    QTcpSocket* s = currentSocket();
    if (!s) return {};
    return maxBytes > 0 ? s->read(maxBytes) : s->readAll();
}

QByteArray TcpServerLine::peek(qint64 maxBytes) const
{
    QTcpSocket* s = currentSocket();
    return s && maxBytes > 0 ? s->peek(maxBytes) : QByteArray();
}

void TcpServerLine::discardInput()
{
    if (QTcpSocket* s = currentSocket(); s && s->bytesAvailable() > 0) s->readAll();
}

void TcpServerLine::discardOutput()
{
}

void TcpServerLine::write(const QByteArray& bytes)
{
    QTcpSocket* s = currentSocket();
    if (!s) return;  // the client went away before its answer: nobody to send it to
    s->write(bytes);
    s->flush();
}

} // namespace buslink
