#include "SimOptions.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cmath>

namespace actuatorsim {

namespace {

// The options: names, value name (none for a switch) and help text, in the order the help lists them.
struct OptionDef {
    QStringList names;
    const char* valueName;
    const char* description;
};

const QList<OptionDef>& Options()
{
    static const QList<OptionDef> table{
        {{"port"}, "DEVICE", "Serve an existing serial device instead of a new pseudo-terminal."},
        {{"link"}, "PATH", "Also make PATH a symbolic link to the pseudo-terminal (removed on exit)."},
        {{"settings"}, "B,P,8,S",
         "Line settings: baud 300 to 115200, parity n, e or o, 8 data bits, 1 or 2 stop bits (default 9600,e,8,1)."},
        {{"unit"}, "N", "Slave address, 1 to 247 (default 1)."},
        {{"format"}, "mk1|mk2", "Register arrangement of the module (default mk2)."},
        {{"stroke-seconds"}, "S", "Time of a full stroke, 0.05 to 3600 (default 20)."},
        {{"position"}, "PERCENT", "Valve position at start, 0 to 100 (default 0, fully closed)."},
        {{"tag"}, "TEXT", "Tag name of printable ASCII characters; the first 12 are kept (default 'SIM ACTUATOR')."},
        {{"selector"}, "remote|local|stop", "Selector switch at start (default remote)."},
        {{"alarm"}, "NAME", "Start with this alarm active (repeatable; 'help' on standard input lists the names)."},
        {{"analog"}, "PERCENT", "Analog input, 0 to 100 (default 0)."},
        {{"drop"}, "FRACTION", "Lose this fraction of replies, 0 to 1."},
        {{"corrupt"}, "FRACTION", "Send this fraction of replies with a wrong CRC, 0 to 1."},
        {{"delay"}, "MS", "Send every reply MS milliseconds late, 0 to 60000."},
        {{"exception"}, "RULE",
         "Answer requests touching REF[-REF] with exception CODE: RULE = REF[-REF][:CODE], code 1 to 11, "
         "default 4 (repeatable)."},
        {{"silent-after"}, "N", "Stop answering after N answered requests."},
        {{"silent-for"}, "MS", "Length of that silence, 0 to 3600000 (default 0: until 'resume')."},
        {{"seed"}, "N", "Seed of the fault choices, 0 to 4294967295 (default 1)."},
        {{"dump"}, "FILE", "Write the state dump to FILE on exit and on SIGUSR1."},
        {{"verbose"}, nullptr, "Log every frame on standard error."},
        {{"h", "help"}, nullptr, "Show this help."},
        {{"version"}, nullptr, "Show the version."},
    };
    return table;
}

void setUp(QCommandLineParser& parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const OptionDef& def : Options()) {
        QCommandLineOption option(def.names, QString::fromUtf8(def.description));
        if (def.valueName) option.setValueName(QString::fromUtf8(def.valueName));
        parser.addOption(option);
    }
}

std::string text(const QString& s) { return s.toStdString(); }

}  // namespace

std::string usageText()
{
    QCommandLineParser parser;
    setUp(parser);
    parser.setApplicationDescription(QStringLiteral(
        "Simulates a valve actuator's Modbus RTU module on a new pseudo-terminal\n"
        "(or on --port DEVICE). Prints 'PORT <device>' and 'READY', then reads\n"
        "commands from standard input (type 'help')."));
    QString help = parser.helpText();
    // The usage line names the program, however it was started.
    const int end = help.indexOf(QLatin1String(" [options]"));
    if (help.startsWith(QLatin1String("Usage: ")) && end > 0) help.replace(7, end - 7, QStringLiteral("actuator-sim"));
    return text(help) +
           "\nExit status: 0 after quit, SIGTERM or SIGINT; 1 when the line cannot be opened or\n"
           "is lost; 2 for bad options.\n";
}

std::string versionText() { return std::string("actuator-sim ") + ACTUATOR_SIM_VERSION + "\n"; }

OptionsResult parseOptions(const std::vector<std::string>& args)
{
    OptionsResult result;
    SimOptions& o = result.options;
    auto fail = [&result](const std::string& message) {
        result.error = message;
        return result;
    };
    QCommandLineParser parser;
    setUp(parser);
    QStringList line{QStringLiteral("actuator-sim")};
    for (const std::string& a : args) line << QString::fromStdString(a);
    const bool parsed = parser.parse(line);
    o.help = parser.isSet(QStringLiteral("help"));
    o.version = parser.isSet(QStringLiteral("version"));
    if (!parsed) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return fail("unknown option '" + std::string(unknown.first().size() == 1 ? "-" : "--") + text(unknown.first()) + "'");
        QString why = parser.errorText();  // "Missing value after '--unit'."
        if (why.endsWith(QLatin1Char('.'))) why.chop(1);
        if (!why.isEmpty()) why[0] = why[0].toLower();
        return fail(text(why));
    }
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument '" + text(parser.positionalArguments().first()) + "'");
    o.verbose = parser.isSet(QStringLiteral("verbose"));

    // Each option once, the last given counts; --alarm and --exception may repeat.
    const auto has = [&](const char* name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&](const char* name) { return text(parser.value(QLatin1String(name))); };
    if (has("port")) {
        if (value("port").empty()) return fail("--port needs a device");
        o.port = value("port");
    }
    if (has("link")) o.link = value("link");
    if (has("dump")) o.dumpFile = value("dump");
    if (has("settings")) {
        const auto settings = parseLineSettings(value("settings"));
        if (!settings)
            return fail("bad --settings '" + value("settings") +
                        "': want baud,parity,8,stop with a baud of 300 to 115200, parity n/e/o, stop 1 or 2");
        o.settings = *settings;
    }
    if (has("unit")) {
        const auto unit = parseInteger(value("unit"));
        if (!unit || *unit < 1 || *unit > 247) return fail("bad --unit '" + value("unit") + "': want 1 to 247");
        o.unit = int(*unit);
    }
    if (has("format")) {
        const auto arrangement = parseArrangement(value("format"));
        if (!arrangement) return fail("bad --format '" + value("format") + "': want mk1 or mk2");
        o.arrangement = *arrangement;
    }
    if (has("stroke-seconds")) {
        const auto seconds = parseNumber(value("stroke-seconds"));
        if (!seconds || *seconds < 0.05 || *seconds > 3600)
            return fail("bad --stroke-seconds '" + value("stroke-seconds") + "': want 0.05 to 3600");
        o.strokeSeconds = *seconds;
    }
    if (has("position")) {
        const auto percent = parseNumber(value("position"));
        if (!percent || *percent < 0 || *percent > 100) return fail("bad --position '" + value("position") + "': want 0 to 100");
        o.positionPercent = *percent;
    }
    if (has("tag")) {
        const std::string tag = value("tag");
        for (unsigned char c : tag)
            if (c < 0x20 || c > 0x7E) return fail("bad --tag: printable ASCII characters only");
        o.tag = tag.substr(0, 12);  // the module holds twelve characters, as the tool writes them
    }
    if (has("selector")) {
        const auto selector = parseSelector(value("selector"));
        if (!selector) return fail("bad --selector '" + value("selector") + "': want remote, local or stop");
        o.selector = *selector;
    }
    for (const QString& name : parser.values(QStringLiteral("alarm"))) {
        const auto alarm = parseAlarm(text(name));
        if (!alarm) return fail("unknown --alarm '" + text(name) + "'");
        o.alarms.push_back(*alarm);
    }
    if (has("analog")) {
        const auto percent = parseNumber(value("analog"));
        if (!percent || *percent < 0 || *percent > 100) return fail("bad --analog '" + value("analog") + "': want 0 to 100");
        o.analogPercent = *percent;
    }
    for (const char* name : {"drop", "corrupt"}) {
        if (!has(name)) continue;
        const auto fraction = parseNumber(value(name));
        if (!fraction || *fraction < 0 || *fraction > 1)
            return fail("bad --" + std::string(name) + " '" + value(name) + "': want 0 to 1");
        (std::string(name) == "drop" ? o.dropFraction : o.corruptFraction) = *fraction;
    }
    if (has("delay")) {
        const auto ms = parseInteger(value("delay"));
        if (!ms || *ms < 0 || *ms > 60000) return fail("bad --delay '" + value("delay") + "': want 0 to 60000 ms");
        o.delayMs = int(*ms);
    }
    for (const QString& ruleText : parser.values(QStringLiteral("exception"))) {
        const auto rule = parseExceptionRule(text(ruleText));
        if (!rule) return fail("bad --exception '" + text(ruleText) + "': want REF[-REF][:CODE]");
        o.exceptions.push_back(*rule);
    }
    if (has("silent-after")) {
        const auto count = parseInteger(value("silent-after"));
        if (!count || *count < 0) return fail("bad --silent-after '" + value("silent-after") + "'");
        o.silentAfter = *count;
    }
    if (has("silent-for")) {
        const auto ms = parseInteger(value("silent-for"));
        if (!ms || *ms < 0 || *ms > 3600000) return fail("bad --silent-for '" + value("silent-for") + "'");
        o.silentForMs = int(*ms);
    }
    if (has("seed")) {
        const auto seed = parseInteger(value("seed"));
        if (!seed || *seed < 0 || *seed > 4294967295L) return fail("bad --seed '" + value("seed") + "'");
        o.seed = std::uint32_t(*seed);
    }
    return result;
}

ModelOptions modelOptions(const SimOptions& options)
{
    ModelOptions m;
    m.arrangement = options.arrangement;
    m.unit = options.unit;
    m.settings = options.settings;
    m.strokeSeconds = options.strokeSeconds;
    m.positionTenths = int(std::lround(options.positionPercent * 10));
    m.tag = options.tag;
    m.selector = options.selector;
    m.analogTenths = int(std::lround(options.analogPercent * 10));
    return m;
}

void applyFaults(const SimOptions& options, FaultPlan& faults)
{
    faults.dropFraction = options.dropFraction;
    faults.corruptFraction = options.corruptFraction;
    faults.delayMs = options.delayMs;
    faults.exceptions = options.exceptions;
    if (options.silentAfter >= 0) faults.silenceAfter(options.silentAfter, options.silentForMs);
}

}  // namespace actuatorsim
