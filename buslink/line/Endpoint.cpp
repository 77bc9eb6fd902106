#include "Endpoint.h"

namespace buslink {

QString Endpoint::text() const
{
    if (kind == Serial) return device;
    const QString shownHost = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1://%2:%3").arg(kind == Tcp ? QStringLiteral("tcp") : QStringLiteral("rtu+tcp"), shownHost).arg(port);
}

bool ParseEndpoint(const QString& text, Endpoint& endpoint, QString* why)
{
    const auto fail = [&](const QString& reason) {
        if (why) *why = QStringLiteral("\"%1\": %2").arg(text, reason);
        return false;
    };
    const QString t = text.trimmed();
    const int scheme = t.indexOf(QLatin1String("://"));
    if (scheme < 0) {
        endpoint = Endpoint{};
        endpoint.device = t;
        return true;
    }
    const QString name = t.left(scheme).toLower();
    Endpoint e;
    if (name == QLatin1String("tcp")) e.kind = Endpoint::Tcp;
    else if (name == QLatin1String("rtu+tcp")) e.kind = Endpoint::RtuOverTcp;
    else return fail(QStringLiteral("unknown scheme %1:// (tcp:// or rtu+tcp://)").arg(name));
    QString rest = t.mid(scheme + 3);
    if (rest.endsWith(QLatin1Char('/'))) rest.chop(1);
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0) return fail(QStringLiteral("an IPv6 address needs its closing ]"));
        e.host = rest.mid(1, close - 1);
        if (rest.mid(close + 1, 1) != QLatin1String(":")) return fail(QStringLiteral("no port (HOST:PORT)"));
        portText = rest.mid(close + 2);
    } else {
        const int colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0) return fail(QStringLiteral("no port (HOST:PORT)"));
        e.host = rest.left(colon);
        portText = rest.mid(colon + 1);
    }
    if (e.host.isEmpty()) return fail(QStringLiteral("no host (HOST:PORT)"));
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (!ok || port < 1 || port > 65535) return fail(QStringLiteral("port \"%1\" is not 1 to 65535").arg(portText));
    e.port = quint16(port);
    endpoint = e;
    return true;
}

} // namespace buslink
