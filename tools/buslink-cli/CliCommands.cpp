#include "CliCommands.h"

#include "base/BuslinkError.h"
#include "protocol/RequestBuilding.h"
#include "scan/AddressResolution.h"
#include "scan/TagTable.h"

#include <QDateTime>

namespace cli {

const QList<CliCommand>& Commands()
{
    // One line per subcommand: name, arguments, summary, help text, option bit, function.
    static const QList<CliCommand> table{
        {"read", "ADDRESS [COUNT]", "read COUNT values (default 1) from ADDRESS",
         "Reads COUNT values (1 by default) from ADDRESS and prints one \"REFERENCE VALUE\" line per "
         "value, or CSV or JSON with --output. ADDRESS is a reference number (1 coils, 10001 discrete "
         "inputs, 30001 input registers, 40001 or 400001 holding registers), optionally with a unit "
         "(2;40001), or a tag name of the tag database. One read takes 1 to 125 registers or 1 to 2000 "
         "coils or inputs. With --poll the read is repeated, one line per poll with its time, until "
         "Ctrl+C (or SIGTERM) or --count polls; a summary of polls and failures ends the run.",
         1u << 0, RunRead},
        {"write", "ADDRESS VALUE [VALUE...]", "write the values from ADDRESS on",
         "Writes the values to ADDRESS and the references after it: one value with function 5 or 6 "
         "(--type float: two writes of function 6), more values and dfloat or ieee32 values with function 15 or 16. One write takes 1 to 123 registers or 1 to 1968 coils. Unit 0 "
         "broadcasts the write and awaits no reply. Prints nothing when the device confirmed the write.",
         1u << 1, RunWrite},
        {"scan", "", "run the read scan over the scan route and print each update",
         "Runs the component's read scan over the scan route of the scan database (BLScanIO.mdb in the "
         "configured database folder, or in --folder) and prints every update that reaches the I/O "
         "database service as \"KEY VALUE [VALUE...]\"; replies lost are reported on standard error. "
         "Runs until Ctrl+C (or SIGTERM), --seconds or --updates.",
         1u << 2, RunScan},
        {"serve", "", "answer a remote master from a register image (slave mode)",
         "Runs the component in slave mode on the line and answers a remote master from a register "
         "image, printing one line per request handled. The image file has \"REFERENCE VALUE\" lines, "
         "as read prints them (40001 1234); blank lines and lines starting with # are skipped. Runs "
         "until Ctrl+C (or SIGTERM), --seconds or --requests.",
         1u << 3, RunServe},
        {"init-db", "", "create the tag and scan databases",
         "Creates the tag database (BLontrol.mdb) and the scan database (BLScanIO.mdb) with their "
         "tables, where the component looks for them or in --folder; existing files are left alone. "
         "--sample adds a three-entry scan route and four tags.",
         1u << 4, RunInitDb},
    };
    return table;
}

const CliCommand* FindCommand(const QString& name)
{
    for (const CliCommand& command : Commands())
        if (name == QLatin1String(command.name)) return &command;
    return nullptr;
}

CliError UsageError(const QString& text, const CliCommand* command)
{
    const QString usage =
        command ? QStringLiteral("usage: buslink-cli [options] %1%2%3 (buslink-cli %1 --help lists its options)")
                      .arg(QLatin1String(command->name), *command->arguments ? QStringLiteral(" ") : QString(),
                           QLatin1String(command->arguments))
                : QStringLiteral("usage: buslink-cli [options] COMMAND [ARGS...] (buslink-cli --help lists the commands)");
    return CliError{kUsage, text, usage};
}

CliError UsageError(const QString& text, const char* commandName)
{
    return UsageError(text, FindCommand(QLatin1String(commandName)));
}

namespace {

// A set-up failure of the component: a setting it refuses is a usage error, the rest is the line's.
CliError SetupError(const buslink::BuslinkError& e)
{
    return CliError{e.number() == buslink::ErrInvalidPropertyValue ? kUsage : kLineError, e.text(), QString()};
}

} // namespace

void OpenLine(buslink::Buslink& link, const CliOptions& options)
{
    try {
        bool isNumber = false;
        const int number = options.port.toInt(&isNumber);
        if (options.port.isEmpty()) link.setCommPort(1);
        else if (isNumber) link.setCommPort(qint16(number));
        else link.setDevicePath(options.port);
        link.setSettings(options.settings);
        link.setPortOpen(true);
    } catch (const buslink::BuslinkError& e) {
        throw SetupError(e);
    }
}

CliSession::CliSession(const CliOptions& options, QTextStream& out, QTextStream& err)
    : opts(options), output(out), errors(err)
{
}

CliSession::~CliSession() = default;

buslink::Buslink& CliSession::link()
{
    if (component) return *component;
    auto b = std::make_unique<buslink::Buslink>();
    b->InitProperties();
    try {
        b->setAddress(opts.unit);
        b->setModBusMode(opts.ascii ? buslink::Ascii : buslink::Rtu);
        if (opts.timeoutMs > 0) b->setReplyTimeout(opts.timeoutMs);
    } catch (const buslink::BuslinkError& e) {
        throw SetupError(e);
    }
    OpenLine(*b, opts);
    // The trace shows each frame and the verdict on each reply; printed only with --trace.
    if (opts.trace) b->setFrameTrace([this](const buslink::FrameTraceEntry& entry) { onFrame(entry); });
    component = std::move(b);
    return *component;
}

void CliSession::onFrame(const buslink::FrameTraceEntry& entry)
{
    const QString time = QDateTime::fromMSecsSinceEpoch(entry.timestampMs).toString(QStringLiteral("HH:mm:ss.zzz"));
    errors << time << (entry.sent ? " > " : " < ") << entry.bytes.toHex(' ').toUpper();
    if (!entry.sent) errors << "  " << entry.verdict;
    errors << Qt::endl;
}

int CliSession::transact(const QString& address, const std::function<qint16(buslink::Buslink&)>& attempt)
{
    buslink::Buslink& b = link();
    lastAddress = address;
    for (lastTries = 1;; ++lastTries) {
        // A transaction given up (no reply) leaves the component busy until its watchdog
        // runs; this host has nothing else in flight, so it ends that wait, as a host may.
        if (b.CommBusy().toBool()) b.setCommBusy(false);
        if (attempt(b) == -1) return kOk;
        const buslink::TransactionResult& result = b.LastResult();
        const int code = ExitCodeFor(result.outcome);
        if (!WorthRetrying(result.outcome) || lastTries > opts.retries) return code == kOk ? kFailed : code;
        if (opts.trace) {
            errors << QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")) << " retry " << lastTries
                   << " of " << opts.retries << " after: " << causeText() << Qt::endl;
        }
    }
}

QString CliSession::failureText() const
{
    QString text = causeText();
    if (lastTries > 1) text += QStringLiteral(" (%1 tries)").arg(lastTries);
    return text;
}

QString CliSession::causeText() const
{
    if (!component) return QStringLiteral("the operation failed");
    const buslink::TransactionResult& result = component->LastResult();
    QString text = result.text.isEmpty() ? QStringLiteral("the operation failed") : result.text;
    // The component's reply watchdog may end a wait in the very moment the reply became
    // overdue, and the wait then says only that it ended; in this host nothing else ends
    // a wait, so it was the time-out, and is named as such.
    if (result.outcome == buslink::Outcome::NoReply && text == QLatin1String("the wait ended before an answer came")) {
        QVariant reference;
        qint16 unit = -1;
        if (!buslink::ResolveAddressForm(lastAddress, reference, unit) || unit < 0) unit = qint16(opts.unit);
        text = QStringLiteral("no reply from unit %1 within %2 ms").arg(unit).arg(component->ReplyTimeout());
    }
    // A tag name that does not resolve may be due to a tag database that could not be loaded.
    if (result.outcome == buslink::Outcome::Refused && text.startsWith(QLatin1String("address not resolved"))
        && !buslink::TagTableLoadProblem().isEmpty())
        text += QStringLiteral(" (tag database %1)").arg(buslink::TagTableLoadProblem());
    return text;
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

} // namespace cli
