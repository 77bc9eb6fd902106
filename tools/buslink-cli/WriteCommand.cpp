// buslink-cli write ADDRESS VALUE [VALUE...]: writes the values from ADDRESS on.
#include "CliCommands.h"

#include "protocol/RequestBuilding.h"
#include "scan/AddressResolution.h"

namespace cli {

namespace {

// ieee32 values are pairs of registers: the address must name registers.
void CheckRegisters(const QString& address)
{
    QVariant reference;
    qint16 unit = -1;
    if (!buslink::ResolveAddressForm(address, reference, unit)) return;  // the component names it
    const buslink::RequestPlan plan =
        buslink::PlanRequest(buslink::EnStdModbus, buslink::RequestKind::MultipleWrite, reference, 1);
    if (plan.ok && plan.FunctionCode == 15)
        throw CliError{kUsage, QStringLiteral("--type ieee32 needs holding registers (4xxxx), not %1").arg(address), QString()};
}

} // namespace

int RunWrite(CliSession& session, const QStringList& args)
{
    if (args.size() < 2) throw UsageError(QStringLiteral("write needs ADDRESS VALUE [VALUE...]"), "write");
    const QString address = args[0];
    const ValueType type = session.options().type;
    if (type == ValueType::FixedPoint && args.size() > 2)
        throw UsageError(QStringLiteral("--type float writes one value at a time"), "write");
    QList<QVariant> typed;
    for (int i = 1; i < args.size(); ++i) {
        QVariant value;
        QString why;
        if (!ParseWriteValue(type, args[i], value, why)) throw UsageError(why, "write");
        typed << value;
    }

    // ieee32 goes as plain registers, two per value, in the chosen word order.
    QList<QVariant> words;
    if (type == ValueType::Ieee32) {
        CheckRegisters(address);
        for (const QVariant& v : typed) {
            const buslink::RegisterPair pair = buslink::FloatToRegisters(v.toFloat(), session.options().wordOrder);
            words << qint32(pair[0]) << qint32(pair[1]);
        }
    } else {
        words = typed;
    }

    if (words.size() > buslink::kMaxWriteValues)
        throw CliError{kUsage, QStringLiteral("count out of range: %1 registers or coils (1 to %2 in one write)")
                                   .arg(words.size()).arg(buslink::kMaxWriteValues), QString()};
    const int code = session.transact(address, [&](buslink::Buslink& link) {
        // A fresh copy each try: WritePLC rewrites negative signed values in place.
        buslink::VariantArray values(1, int(words.size()));
        for (int i = 0; i < words.size(); ++i) values[i + 1] = words[i];
        qint16 count = qint16(words.size());
        qint16 ioType = ComponentIoType(type);
        return link.WritePLC(address, values, count, ioType);
    });
    if (code != kOk) throw CliError{code, session.failureText(), QString()};
    return kOk;
}

} // namespace cli
