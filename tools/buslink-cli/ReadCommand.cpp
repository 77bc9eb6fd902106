// buslink-cli read ADDRESS [COUNT]: prints the values read (ReadOutput.h has the
// formats); with --poll, again and again until stopped or --count polls.
#include "CliCommands.h"

#include "StopSignal.h"
#include "protocol/RequestBuilding.h"
#include "scan/AddressResolution.h"

#include <QElapsedTimer>

namespace cli {

namespace {

// Refuses, before anything is allocated or sent, a read the count does not fit: the
// limit of one request for the kind of point the address names.
void CheckReadFits(const QString& address, qint64 count, ValueType type)
{
    QVariant reference;
    qint16 unit = -1;
    if (!buslink::ResolveAddressForm(address, reference, unit)) {
        // The component names the address it cannot resolve; only the count is checked here.
        if (count > buslink::kMaxBitRead)
            throw CliError{kUsage, QStringLiteral("count out of range: %1 (1 to %2 in one read)").arg(count).arg(buslink::kMaxBitRead), QString()};
        return;
    }
    const buslink::RequestPlan plan = buslink::PlanRequest(buslink::EnStdModbus, buslink::RequestKind::Read, reference, 1);
    if (!plan.ok) throw CliError{kUsage, plan.refusal, QString()};
    const bool bits = plan.FunctionCode <= 2;
    if (bits && type == ValueType::Ieee32)
        throw CliError{kUsage, QStringLiteral("--type ieee32 needs registers (3xxxx or 4xxxx), not %1").arg(address), QString()};
    const int perValue = RegistersPerValue(type);
    const int limit = (bits ? buslink::kMaxBitRead : buslink::kMaxRegisterRead) / perValue;
    if (count > limit) {
        const QString what = bits ? QStringLiteral("coils or inputs")
                             : perValue == 1 ? QStringLiteral("registers")
                                             : QStringLiteral("two-register values");
        throw CliError{kUsage, QStringLiteral("count out of range: %1 %2 (1 to %3 in one read)").arg(count).arg(what).arg(limit), QString()};
    }
}

class Reader {
public:
    Reader(CliSession& session, const QString& address, int count)
        : session(session), address(address), count(count), type(session.options().type)
    {
    }

    // One read; on success the sample holds the values.
    int readOnce(ReadSample& sample)
    {
        const int perValue = RegistersPerValue(type);
        const bool ieee = type == ValueType::Ieee32;
        buslink::VariantArray values(1, count * perValue);
        const int code = session.transact(address, [&](buslink::Buslink& link) {
            QVariant size = ieee ? count * 2 : count;
            qint16 ioType = ComponentIoType(type);
            return link.ReadPLC(address, values, size, ioType);
        });
        sample = ReadSample{QDateTime::currentDateTime(), {}, {}};
        if (code != kOk) return code;
        for (int i = 1; i <= count; ++i) {
            sample.references << ReferenceText(address, (i - 1) * perValue);
            if (ieee) {
                const buslink::RegisterPair pair{quint16(values[2 * i - 1].toInt()), quint16(values[2 * i].toInt())};
                sample.values << QVariant(buslink::RegistersToFloat(pair, session.options().wordOrder));
            } else {
                sample.values << values[i];
            }
        }
        return kOk;
    }

private:
    CliSession& session;
    QString address;
    int count;
    ValueType type;
};

int Poll(CliSession& session, Reader& reader)
{
    const CliOptions& o = session.options();
    ReadPrinter printer(o.output, true, session.out());
    StopSignal stop;
    qint64 polls = 0;
    qint64 failures = 0;
    int lastFailure = kOk;
    QElapsedTimer clock;
    clock.start();
    qint64 due = 0;  // when the next poll should start, on the clock
    QTimer next;
    next.setSingleShot(true);
    next.setTimerType(Qt::PreciseTimer);
    // One poll at a time: the next is scheduled once this one has ended, so a slow reply
    // delays the next poll rather than stacking polls up.
    QObject::connect(&next, &QTimer::timeout, [&] {
        ++polls;
        ReadSample sample;
        const int code = reader.readOnce(sample);
        if (code == kOk) {
            printer.print(sample);
        } else {
            ++failures;
            lastFailure = code;
            session.err() << "buslink-cli: " << TimestampText(sample.time) << ' ' << session.failureText() << Qt::endl;
        }
        if ((o.pollCount > 0 && polls >= o.pollCount) || stop.interrupted()) {
            stop.stop();
            return;
        }
        due += o.pollMs;
        if (due < clock.elapsed()) due = clock.elapsed();  // overran: start again at once, do not catch up
        next.start(int(due - clock.elapsed()));
    });
    next.start(0);
    stop.run(0);
    session.err() << "buslink-cli: " << polls << (polls == 1 ? " poll, " : " polls, ") << failures << " failed" << Qt::endl;
    return failures > 0 ? lastFailure : kOk;
}

} // namespace

int RunRead(CliSession& session, const QStringList& args)
{
    if (args.isEmpty()) throw UsageError(QStringLiteral("read needs an ADDRESS"), "read");
    if (args.size() > 2) throw UsageError(QStringLiteral("read takes ADDRESS [COUNT], not %1 arguments").arg(args.size()), "read");
    const QString address = args[0];
    qint64 count = 1;
    if (args.size() > 1) {
        bool ok = false;
        count = args[1].toLongLong(&ok);
        if (!ok || count < 1) throw UsageError(QStringLiteral("COUNT takes a whole number from 1 on: %1").arg(args[1]), "read");
    }
    CheckReadFits(address, count, session.options().type);

    Reader reader(session, address, int(count));
    if (session.options().pollMs > 0) return Poll(session, reader);
    ReadSample sample;
    const int code = reader.readOnce(sample);
    if (code != kOk) throw CliError{code, session.failureText(), QString()};
    ReadPrinter(session.options().output, false, session.out()).print(sample);
    return kOk;
}

} // namespace cli
