#include "CliCommands.h"

#include "scan/AddressResolution.h"
#include "protocol/AddressParsing.h"
#include "protocol/RequestBuilding.h"
#include "base/BuslinkError.h"

#include <QDateTime>

#include <charconv>
#include <cmath>

namespace cli {

const QList<CliCommand>& Commands()
{
    // One line per subcommand: name, argument usage, function.
    static const QList<CliCommand> table{
        {"read", "ADDRESS [COUNT]", RunRead},
        {"write", "ADDRESS VALUE [VALUE...]", RunWrite},
        {"init-db", "[--folder DIR] [--sample]", RunInitDb},
        {"serve", "[--image FILE] [--gateway] [--requests N] [--seconds S]", RunServe},
        {"scan", "[--folder DIR] [--interval MS] [--seconds S] [--updates N]", RunScan},
    };
    return table;
}

CliSession::CliSession(const CliOptions& options, QTextStream& out, QTextStream& err)
    : opts(options), output(out), errors(err)
{
}

CliSession::~CliSession() = default;

qint16 CliSession::ioType() const
{
    if (opts.type == QLatin1String("float")) return buslink::ioFloat;
    if (opts.type == QLatin1String("dfloat")) return buslink::ioDFloat;
    if (opts.type == QLatin1String("signed")) return buslink::ioSignedWord;
    return buslink::ioWord;
}

void OpenLine(buslink::Buslink& link, const CliOptions& options)
{
    bool isNumber = false;
    const int number = options.port.toInt(&isNumber);
    if (options.port.isEmpty()) link.setCommPort(1);
    else if (isNumber) link.setCommPort(qint16(number));
    else link.setDevicePath(options.port);
    link.setSettings(options.settings);
    link.setPortOpen(true);
}

buslink::Buslink& CliSession::link()
{
    if (component) return *component;
    auto b = std::make_unique<buslink::Buslink>();
    b->InitProperties();
    try {
        b->setAddress(opts.unit);
        b->setModBusMode(opts.mode == QLatin1String("ascii") ? buslink::Ascii : buslink::Rtu);
        OpenLine(*b, opts);
    } catch (const buslink::BuslinkError& e) {
        throw CliError{kFailed, e.text()};
    }
    // The trace tells why an operation failed; it is printed only with --trace.
    b->setFrameTrace([this](const buslink::FrameTraceEntry& entry) { onFrame(entry); });
    component = std::move(b);
    return *component;
}

void CliSession::beginOperation()
{
    framesSent = 0;
    lastVerdict.clear();
}

void CliSession::onFrame(const buslink::FrameTraceEntry& entry)
{
    if (entry.sent) ++framesSent;
    else lastVerdict = entry.verdict;
    if (!opts.trace) return;
    const QString time = QDateTime::fromMSecsSinceEpoch(entry.timestampMs).toString(QStringLiteral("HH:mm:ss.zzz"));
    errors << time << (entry.sent ? " > " : " < ") << entry.bytes.toHex(' ').toUpper();
    if (!entry.sent) errors << "  " << entry.verdict;
    errors << Qt::endl;
}

QString CliSession::failureReason(const QString& address) const
{
    if (component && component->LastExceptionCode() != 0) {
        const int code = component->LastExceptionCode();
        return QStringLiteral("exception reply %1: %2").arg(code).arg(buslink::Buslink::ExceptionText(code));
    }
    if (framesSent == 0) return QStringLiteral("address not resolved or not accessible: %1").arg(address);
    if (lastVerdict == QLatin1String("CRC error") || lastVerdict == QLatin1String("LRC error"))
        return QStringLiteral("checksum error in the reply (%1)").arg(lastVerdict);
    return QStringLiteral("no reply from unit %1").arg(opts.unit);
}

QString ReferenceText(const QVariant& address, int offset)
{
    QVariant reference;
    qint16 unit = -1;
    if (!buslink::ResolveAddressForm(address, reference, unit)) return QString();
    qint32 A = 0;
    bool six = false;
    if (!buslink::ReferenceNumber(reference, A, six)) return reference.toString();
    return QString::number(qint64(A) + offset);
}

QString ValueText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Float: {
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, value.toFloat());
        return QString::fromLatin1(buf, int(r.ptr - buf));
    }
    case QMetaType::Double: {
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, value.toDouble(), std::chars_format::general, 10);
        return QString::fromLatin1(buf, int(r.ptr - buf));
    }
    default:
        return value.toString();
    }
}

} // namespace cli
