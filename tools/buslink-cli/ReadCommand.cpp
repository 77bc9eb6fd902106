// buslink-cli read ADDRESS [COUNT]: one "REFERENCE VALUE" line per value.
#include "CliCommands.h"

namespace cli {

int RunRead(CliSession& session, const QStringList& args)
{
    if (args.isEmpty() || args.size() > 2) throw CliError{kUsage, QStringLiteral("read needs ADDRESS [COUNT]")};
    const QString address = args[0];
    bool ok = true;
    const int count = args.size() > 1 ? args[1].toInt(&ok) : 1;
    if (!ok || count < 1) throw CliError{kUsage, QStringLiteral("COUNT must be a positive number: %1").arg(args[1])};

    buslink::Buslink& link = session.link();
    const qint16 type = session.ioType();
    buslink::VariantArray values(1, count);
    QVariant size = count;
    qint16 ioType = type;
    session.beginOperation();
    const qint16 result = link.ReadPLC(address, values, size, ioType);
    if (result == 966) throw CliError{kFailed, QStringLiteral("the line is busy")};
    if (result != -1) throw CliError{kFailed, session.failureReason(address)};

    const int registersPerValue = type == buslink::ioFloat || type == buslink::ioDFloat ? 2 : 1;
    for (int i = 1; i <= count; ++i)
        session.out() << ReferenceText(address, (i - 1) * registersPerValue) << ' ' << ValueText(values[i]) << Qt::endl;
    return kOk;
}

} // namespace cli
