// buslink-cli write ADDRESS VALUE [VALUE...]: writes the values from ADDRESS on.
#include "CliCommands.h"

namespace cli {

int RunWrite(CliSession& session, const QStringList& args)
{
    if (args.size() < 2) throw CliError{kUsage, QStringLiteral("write needs ADDRESS VALUE [VALUE...]")};
    const QString address = args[0];
    const qint16 type = session.ioType();
    const bool fractional = type == buslink::ioFloat || type == buslink::ioDFloat;
    buslink::VariantArray values(1, int(args.size() - 1));
    for (int i = 1; i < args.size(); ++i) {
        bool ok = false;
        if (fractional) {
            const double v = args[i].toDouble(&ok);
            values[i] = v;
        } else {
            const qlonglong v = args[i].toLongLong(&ok);
            values[i] = v;
        }
        if (!ok) throw CliError{kUsage, QStringLiteral("not a value: %1").arg(args[i])};
    }

    buslink::Buslink& link = session.link();
    qint16 count = qint16(args.size() - 1);
    qint16 ioType = type;
    session.beginOperation();
    if (link.WritePLC(address, values, count, ioType) != -1) throw CliError{kFailed, session.failureReason(address)};
    return kOk;
}

} // namespace cli
