#include "ConnectionFailure.h"

#include "shell/Buslink.h"

namespace kestrel2 {

namespace {

// The component's reason, without its "Cannot open port 1 (/dev/ttyUSB1): " lead.
QString ReasonOf(const QString& device, const QString& componentError)
{
    const QString lead = device + QStringLiteral("): ");
    const int at = componentError.indexOf(lead);
    QString reason = at >= 0 ? componentError.mid(at + lead.size()) : componentError;
    reason = reason.trimmed();
    while (reason.endsWith(QLatin1Char('.'))) reason.chop(1);
    return reason;
}

// The system's wording of the usual failures, in the words an engineer looks for.
QString PlainReason(const QString& reason)
{
    const QString lower = reason.toLower();
    if (lower.contains(QLatin1String("no such file")) || lower.contains(QLatin1String("no such device")) ||
        lower.contains(QLatin1String("not found")))
        return QStringLiteral("no such device");
    if (lower.contains(QLatin1String("lock")) || lower.contains(QLatin1String("busy")) ||
        lower.contains(QLatin1String("already open")) || lower.contains(QLatin1String("in use")))
        return QStringLiteral("the device is in use by another program");
    if (lower.contains(QLatin1String("permission")) || lower.contains(QLatin1String("access")))
        return QStringLiteral("permission denied (your user needs access to the device)");
    if (reason.isEmpty()) return QStringLiteral("unknown error");
    return reason.left(1).toLower() + reason.mid(1);
}

QString Where(const LinkDescription& link)
{
    return QStringLiteral("address %1 on port %2 (%3, %4)")
        .arg(link.address)
        .arg(link.port)
        .arg(link.device, link.settings);
}

} // namespace

QString PortOpenCause(const QString& device, bool deviceExists, const QString& componentError)
{
    const QString reason =
        deviceExists ? PlainReason(ReasonOf(device, componentError)) : QStringLiteral("no such device");
    return QStringLiteral("cannot open %1: %2").arg(device, reason);
}

QString NoReplyCause(const LinkDescription& link, buslink::Outcome outcome, int exceptionCode)
{
    using buslink::Outcome;
    if (exceptionCode > 0 || outcome == Outcome::Exception)
        return Where(link) + QStringLiteral(" answered with exception %1 (%2)")
                                 .arg(exceptionCode)
                                 .arg(buslink::Buslink::ExceptionText(exceptionCode));
    switch (outcome) {
    case Outcome::ChecksumError:
    case Outcome::BadReply:
    case Outcome::OtherUnitOrFunction: return QStringLiteral("a damaged reply from ") + Where(link);
    case Outcome::LineLost: return QStringLiteral("the serial line %1 is gone").arg(link.device);
    default: return QStringLiteral("no reply from ") + Where(link);
    }
}

} // namespace kestrel2
