#include "CommandLine.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QSet>

#include <limits>

namespace cli {

namespace {

constexpr unsigned kRead = 1u << 0, kWrite = 1u << 1, kScan = 1u << 2, kServe = 1u << 3, kInitDb = 1u << 4;
constexpr unsigned kAll = kRead | kWrite | kScan | kServe | kInitDb;

// Every option: its names, value name (none for a switch), help text, the commands that
// take it, and those that take it without listing it in their help (options every
// command accepted before, which mean nothing to it). The program's help lists the
// options of the line (kLine) and --help and --version.
constexpr unsigned kLine = 1u << 31;

struct OptionDef {
    QStringList names;
    const char* valueName;
    const char* description;
    unsigned commands;
    unsigned hiddenIn;
};

const QList<OptionDef>& Options()
{
    static const QList<OptionDef> table{
        {{"port"}, "DEVICE|N",
         "Serial device (/dev/ttyUSB0), or a port number of the component's port map (default 1).", kAll | kLine, kInitDb},
        {{"settings"}, "B,P,D,S",
         "Line settings: baud, parity (n, e, o, m, s), data bits, stop bits (default 9600,e,8,1).", kAll | kLine, kInitDb},
        {{"unit"}, "N",
         "Unit (slave address): 0 to 255 for read, write and scan, 0 broadcasting a write; 1 to 247 for "
         "serve (default 1).",
         kAll | kLine, kInitDb},
        {{"mode"}, "rtu|ascii", "Framing: rtu (default) or ascii.", kAll | kLine, kInitDb},
        {{"trace"}, nullptr, "Print every frame on standard error, with the verdict on each received one.", kAll | kLine,
         kInitDb},
        {{"type"}, "TYPE", "Value type: word (default), signed, float, dfloat or ieee32; see Value types.", kAll,
         kScan | kServe | kInitDb},
        {{"word-order"}, "big|little",
         "With --type ieee32: big (default) puts the high 16 bits in the first register, little the low 16 bits.",
         kRead | kWrite, 0},
        {{"timeout"}, "MS", "Reply time-out, 1 to 60000 ms (default 2000).", kRead | kWrite | kScan, 0},
        {{"retries"}, "N",
         "Repeat a transaction that got no reply, a checksum error or a damaged reply up to N more times, 0 to "
         "100 (default 0); never after an exception reply.",
         kRead | kWrite, 0},
        {{"poll"}, "MS",
         "Repeat the read every MS milliseconds (1 to 3600000), one line per poll, until Ctrl+C or --count polls.",
         kRead, 0},
        {{"count"}, "N", "With --poll: stop after N polls (default: until stopped).", kRead, 0},
        {{"output"}, "FORMAT",
         "How values are printed: text (default), csv (a header, then one row per read) or json (one object per "
         "read and line).",
         kRead, 0},
        {{"folder"}, "DIR", "The database folder to use instead of the configured one.", kScan | kInitDb, 0},
        {{"sample"}, nullptr, "Add a small scan route and a few tags to new databases.", kInitDb, 0},
        {{"interval"}, "MS", "Scan timer interval, 1 to 65535 ms (default 500).", kScan, 0},
        {{"seconds"}, "S", "Stop after S seconds, 0 to 2147483 (default 0: until stopped).", kScan | kServe, 0},
        {{"updates"}, "N", "Stop after N updates (default 0: until stopped).", kScan, 0},
        {{"image"}, "FILE", "Load the register image from FILE (\"REFERENCE VALUE\" lines).", kServe, 0},
        {{"gateway"}, nullptr, "Serve any unit from the I/O database service (PLC type 2).", kServe, 0},
        {{"requests"}, "N", "Stop after N requests handled (default 0: until stopped).", kServe, 0},
        {{"h", "help"}, nullptr, "Show this help.", kAll | kLine, 0},
        {{"version"}, nullptr, "Show the version.", kAll | kLine, 0},
    };
    return table;
}

// Options that take a value, by name: what follows them is their value, whatever it looks like.
QSet<QString> ValueOptionNames()
{
    QSet<QString> names;
    for (const OptionDef& def : Options())
        if (def.valueName)
            for (const QString& name : def.names) names.insert(name);
    return names;
}

// Marks positional negative numbers ("-5", "-0.25", "-inf") so that the parser does not take
// them for options; Unprotected() takes the mark off again.
const QChar kNumberMark(0xE000);

QStringList Protected(const QStringList& line)
{
    static const QRegularExpression negative(QStringLiteral("^-(\\d|\\.\\d|inf$|nan$)"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QSet<QString> valueOptions = ValueOptionNames();
    QStringList result;
    bool valueNext = false;
    bool optionsEnded = false;
    for (int i = 0; i < line.size(); ++i) {
        const QString& a = line[i];
        if (i == 0 || valueNext || optionsEnded) {
            result << a;
            valueNext = false;
            continue;
        }
        if (a == QLatin1String("--")) optionsEnded = true;
        else if (a.startsWith(QLatin1String("--")) && !a.contains(QLatin1Char('=')) && valueOptions.contains(a.mid(2)))
            valueNext = true;
        result << (negative.match(a).hasMatch() ? kNumberMark + a : a);
    }
    return result;
}

QStringList Unprotected(QStringList arguments)
{
    for (QString& a : arguments)
        if (a.startsWith(kNumberMark)) a.remove(0, 1);
    return arguments;
}

void AddOptions(QCommandLineParser& parser, unsigned commandBit)
{
    for (const OptionDef& def : Options()) {
        if (commandBit != 0 && !(def.commands & commandBit)) continue;
        QCommandLineOption option(def.names, QString::fromUtf8(def.description));
        if (def.valueName) option.setValueName(QString::fromUtf8(def.valueName));
        if (commandBit != 0 && (def.hiddenIn & commandBit)) option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

void SetUpParser(QCommandLineParser& parser, const CliCommand* command)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    AddOptions(parser, command ? command->bit : 0);
}

QString Dashed(const QString& name) { return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name; }

// Parses with the parser; a failure names the first option it did not take.
void ParseOrThrow(QCommandLineParser& parser, const QStringList& line, const CliCommand* command)
{
    if (parser.parse(line)) return;
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        QCommandLineParser all;
        SetUpParser(all, nullptr);
        all.parse(QStringList{line.value(0), Dashed(unknown.first())});
        if (command && all.unknownOptionNames().isEmpty())
            throw UsageError(QStringLiteral("%1 is not an option of %2").arg(Dashed(unknown.first()), QLatin1String(command->name)), command);
        throw UsageError(QStringLiteral("unknown option %1").arg(Dashed(unknown.first())), command);
    }
    QString text = parser.errorText();  // "Missing value after '--unit'."
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    if (!text.isEmpty()) text[0] = text[0].toLower();
    throw UsageError(text, command);
}

class OptionReader {
public:
    OptionReader(const QCommandLineParser& parser, const CliCommand* command) : parser(parser), command(command) {}

    // Options the command does not take are never set (and never asked of the parser).
    bool isSet(const char* name) const
    {
        for (const OptionDef& def : Options())
            if (def.names.contains(QLatin1String(name))) return (def.commands & command->bit) && parser.isSet(QLatin1String(name));
        return false;
    }
    QString text(const char* name, const QString& fallback = QString()) const
    {
        return isSet(name) ? parser.value(QLatin1String(name)) : fallback;
    }
    qint64 integer(const char* name, qint64 low, qint64 high, qint64 fallback) const
    {
        if (!isSet(name)) return fallback;
        const QString value = Unprotected({parser.value(QLatin1String(name))}).first();
        bool ok = false;
        const qlonglong v = value.toLongLong(&ok);
        if (!ok) throw error(QStringLiteral("--%1 takes a whole number: %2").arg(QLatin1String(name), value));
        if (v < low || v > high)
            throw error(QStringLiteral("--%1 out of range: %2 (%3 to %4)").arg(QLatin1String(name), value).arg(low).arg(high));
        return v;
    }
    double number(const char* name, double low, double high, double fallback) const
    {
        if (!isSet(name)) return fallback;
        const QString value = parser.value(QLatin1String(name));
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok) throw error(QStringLiteral("--%1 takes a number: %2").arg(QLatin1String(name), value));
        if (!(v >= low && v <= high))
            throw error(QStringLiteral("--%1 out of range: %2 (%3 to %4)").arg(QLatin1String(name), value).arg(low).arg(high));
        return v;
    }
    template <typename Parse>
    void choice(const char* name, const char* choices, Parse parse) const
    {
        if (!isSet(name)) return;
        const QString value = parser.value(QLatin1String(name));
        if (!parse(value)) throw error(QStringLiteral("--%1 takes %2: %3").arg(QLatin1String(name), QLatin1String(choices), value));
    }
    CliError error(const QString& text) const { return UsageError(text, command); }

private:
    const QCommandLineParser& parser;
    const CliCommand* command;
};

CliOptions ReadOptions(const QCommandLineParser& parser, const CliCommand& command)
{
    const OptionReader r(parser, &command);
    CliOptions o;
    o.port = r.text("port");
    if (r.isSet("port")) {
        bool isNumber = false;
        const qlonglong number = o.port.toLongLong(&isNumber);
        if (o.port.isEmpty()) throw r.error(QStringLiteral("--port takes a device path or a port number"));
        if (isNumber && (number < 1 || number > 32767))
            throw r.error(QStringLiteral("--port out of range: %1 (port numbers 1 to 32767, or a device path)").arg(o.port));
    }
    o.settings = r.text("settings", o.settings);
    const bool serving = command.bit == kServe;
    o.unit = int(r.integer("unit", serving ? 1 : 0, serving ? 247 : 255, 1));
    r.choice("mode", "rtu or ascii", [&](const QString& v) {
        o.ascii = v == QLatin1String("ascii");
        return v == QLatin1String("rtu") || o.ascii;
    });
    o.trace = r.isSet("trace");
    r.choice("type", "word, signed, float, dfloat or ieee32", [&](const QString& v) { return ValueTypeFromName(v, o.type); });
    r.choice("word-order", "big or little", [&](const QString& v) {
        o.wordOrder = v == QLatin1String("little") ? buslink::WordOrder::LowWordFirst : buslink::WordOrder::HighWordFirst;
        return v == QLatin1String("big") || v == QLatin1String("little");
    });
    if (r.isSet("word-order") && o.type != ValueType::Ieee32)
        throw r.error(QStringLiteral("--word-order applies to --type ieee32 only"));
    o.timeoutMs = int(r.integer("timeout", 1, 60000, 0));
    o.retries = int(r.integer("retries", 0, 100, 0));
    o.pollMs = int(r.integer("poll", 1, 3600000, 0));
    o.pollCount = r.integer("count", 1, std::numeric_limits<qint32>::max(), 0);
    if (r.isSet("count") && !r.isSet("poll")) throw r.error(QStringLiteral("--count needs --poll"));
    r.choice("output", "text, csv or json", [&](const QString& v) { return OutputFormatFromName(v, o.output); });
    o.folder = r.text("folder");
    if (r.isSet("folder") && o.folder.isEmpty()) throw r.error(QStringLiteral("--folder takes a folder"));
    o.sample = r.isSet("sample");
    o.intervalMs = int(r.integer("interval", 1, 65535, 500));
    o.seconds = r.number("seconds", 0, 2147483, 0);
    o.updates = r.integer("updates", 0, std::numeric_limits<qint32>::max(), 0);
    o.image = r.text("image");
    o.gateway = r.isSet("gateway");
    o.requests = r.integer("requests", 0, std::numeric_limits<qint32>::max(), 0);
    return o;
}

// A paragraph broken into lines of at most 79 characters (QCommandLineParser does not
// break the description).
QString Wrapped(const QString& paragraph)
{
    QString text;
    int column = 0;
    for (const QString& word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > 0 && column + 1 + word.size() > 79) {
            text += QLatin1Char('\n');
            column = 0;
        } else if (column > 0) {
            text += QLatin1Char(' ');
            ++column;
        }
        text += word;
        column += int(word.size());
    }
    return text;
}

// QCommandLineParser's help with the program's own name in its usage line and the exit codes after it.
QString FinishHelp(QString text, const QString& extra)
{
    static const QRegularExpression usage(QStringLiteral("^Usage: \\S+"));
    text.replace(usage, QStringLiteral("Usage: buslink-cli"));
    while (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    text += QLatin1String("\n\n");
    if (!extra.isEmpty()) text += extra + QLatin1Char('\n');
    return text + QLatin1String(ExitCodesHelp());
}

} // namespace

QString VersionText() { return QStringLiteral("buslink-cli %1\n").arg(QStringLiteral(BUSLINK_CLI_VERSION)); }

QString ProgramHelp()
{
    QCommandLineParser parser;
    QString description = Wrapped(QStringLiteral(
        "A command-line Modbus RTU/ASCII master and slave on one serial line, through the buslink component."));
    description += QStringLiteral("\n\nCommands:\n");
    for (const CliCommand& c : Commands())
        description += QStringLiteral("  %1 %2\n").arg(QString::fromLatin1(c.name).leftJustified(8), QLatin1String(c.summary));
    description += QLatin1Char('\n') + Wrapped(QStringLiteral(
        "'buslink-cli COMMAND --help' lists the options of a command. Options may stand anywhere on the "
        "line, before or after the command and its arguments; -- ends them."));
    parser.setApplicationDescription(description);
    for (const OptionDef& def : Options()) {
        if (!(def.commands & kLine)) continue;
        QCommandLineOption option(def.names, QString::fromUtf8(def.description));
        if (def.valueName) option.setValueName(QString::fromUtf8(def.valueName));
        parser.addOption(option);
    }
    parser.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("read, write, scan, serve or init-db"),
                                 QStringLiteral("COMMAND [ARGS...]"));
    return FinishHelp(parser.helpText(), QString());
}

QString CommandHelp(const CliCommand& command)
{
    QCommandLineParser parser;
    SetUpParser(parser, &command);
    parser.setApplicationDescription(Wrapped(QString::fromUtf8(command.description)));
    parser.addPositionalArgument(QString::fromLatin1(command.name), QString(),
                                 QStringLiteral("%1 %2").arg(QLatin1String(command.name), QLatin1String(command.arguments)).trimmed());
    const bool values = command.bit == kRead || command.bit == kWrite;
    QString text = parser.helpText();
    // The command itself is no argument to describe.
    const int arguments = text.indexOf(QLatin1String("\nArguments:\n"));
    if (arguments >= 0) text.truncate(arguments + 1);
    return FinishHelp(text, values ? ValueTypesHelp() : QString());
}

ParsedLine ParseCommandLine(const QStringList& line)
{
    const QStringList marked = Protected(line);
    ParsedLine parsed;

    // First with every option, to find the command whatever the options around it.
    QCommandLineParser all;
    SetUpParser(all, nullptr);
    ParseOrThrow(all, marked, nullptr);
    const QStringList positional = Unprotected(all.positionalArguments());
    parsed.version = all.isSet(QStringLiteral("version"));
    parsed.help = all.isSet(QStringLiteral("help"));
    if (positional.isEmpty()) {
        if (parsed.help || parsed.version) return parsed;
        throw UsageError(QStringLiteral("no command given"));
    }
    parsed.command = FindCommand(positional.first());
    if (!parsed.command) throw UsageError(QStringLiteral("unknown command: %1").arg(positional.first()));
    if (parsed.help || parsed.version) return parsed;

    // Then with the command's own options.
    QCommandLineParser own;
    SetUpParser(own, parsed.command);
    ParseOrThrow(own, marked, parsed.command);
    parsed.options = ReadOptions(own, *parsed.command);
    parsed.arguments = positional.mid(1);
    return parsed;
}

} // namespace cli
