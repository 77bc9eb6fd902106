#include "SimOptions.h"

#include <cmath>

namespace actuatorsim {

std::string usageText()
{
    return "usage: actuator-sim [options]\n"
           "Simulates a valve actuator's Modbus RTU module on a new pseudo-terminal\n"
           "(or on --port DEVICE). Prints 'PORT <device>' and 'READY', then reads\n"
           "commands from standard input (type 'help').\n"
           "\n"
           "  --port DEVICE          serve an existing serial device instead of a new pseudo-terminal\n"
           "  --link PATH            also make PATH a symbolic link to the pseudo-terminal\n"
           "  --settings B,P,8,S     line settings, e.g. 9600,e,8,1 (default); parity n, e or o\n"
           "  --unit N               slave address 1 to 247 (default 1)\n"
           "  --format mk1|mk2       register arrangement of the module (default mk2)\n"
           "  --stroke-seconds S     time of a full stroke (default 20)\n"
           "  --position PERCENT     valve position at start (default 0, fully closed)\n"
           "  --tag TEXT             tag name; the first 12 characters are kept (default 'SIM ACTUATOR')\n"
           "  --selector remote|local|stop   selector switch at start (default remote)\n"
           "  --alarm NAME           start with an alarm active (repeatable; see 'help' on stdin)\n"
           "  --analog PERCENT       analog input (default 0)\n"
           "  --drop FRACTION        lose this fraction of replies (0 to 1)\n"
           "  --corrupt FRACTION     send this fraction of replies with a wrong CRC\n"
           "  --delay MS             send every reply MS milliseconds late\n"
           "  --exception RULE       answer requests touching REF[-REF] with exception CODE,\n"
           "                         RULE = REF[-REF][:CODE], code 1 to 11, default 4 (repeatable)\n"
           "  --silent-after N       stop answering after N answered requests\n"
           "  --silent-for MS        length of that silence (default 0: until 'resume')\n"
           "  --seed N               seed of the fault choices (default 1)\n"
           "  --dump FILE            write the state dump to FILE on exit and on SIGUSR1\n"
           "  --verbose              log every frame on standard error\n"
           "  --help                 this text\n";
}

OptionsResult parseOptions(const std::vector<std::string>& args)
{
    OptionsResult result;
    SimOptions& o = result.options;
    auto fail = [&result](const std::string& message) {
        result.error = message;
        return result;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        const auto equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            hasValue = true;
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--verbose") {
            o.verbose = true;
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) return fail("option " + name + " needs a value");
            value = args[++i];
        }
        if (name == "--port") {
            if (value.empty()) return fail("--port needs a device");
            o.port = value;
        } else if (name == "--link") {
            o.link = value;
        } else if (name == "--dump") {
            o.dumpFile = value;
        } else if (name == "--settings") {
            const auto settings = parseLineSettings(value);
            if (!settings)
                return fail("bad --settings '" + value +
                            "': want baud,parity,8,stop with a baud of 300 to 115200, parity n/e/o, stop 1 or 2");
            o.settings = *settings;
        } else if (name == "--unit") {
            const auto unit = parseInteger(value);
            if (!unit || *unit < 1 || *unit > 247) return fail("bad --unit '" + value + "': want 1 to 247");
            o.unit = int(*unit);
        } else if (name == "--format") {
            const auto arrangement = parseArrangement(value);
            if (!arrangement) return fail("bad --format '" + value + "': want mk1 or mk2");
            o.arrangement = *arrangement;
        } else if (name == "--stroke-seconds") {
            const auto seconds = parseNumber(value);
            if (!seconds || *seconds < 0.05 || *seconds > 3600)
                return fail("bad --stroke-seconds '" + value + "': want 0.05 to 3600");
            o.strokeSeconds = *seconds;
        } else if (name == "--position") {
            const auto percent = parseNumber(value);
            if (!percent || *percent < 0 || *percent > 100) return fail("bad --position '" + value + "': want 0 to 100");
            o.positionPercent = *percent;
        } else if (name == "--tag") {
            for (unsigned char c : value)
                if (c < 0x20 || c > 0x7E) return fail("bad --tag: printable ASCII characters only");
            o.tag = value.substr(0, 12);  // the module holds twelve characters, as the tool writes them
        } else if (name == "--selector") {
            const auto selector = parseSelector(value);
            if (!selector) return fail("bad --selector '" + value + "': want remote, local or stop");
            o.selector = *selector;
        } else if (name == "--alarm") {
            const auto alarm = parseAlarm(value);
            if (!alarm) return fail("unknown --alarm '" + value + "'");
            o.alarms.push_back(*alarm);
        } else if (name == "--analog") {
            const auto percent = parseNumber(value);
            if (!percent || *percent < 0 || *percent > 100) return fail("bad --analog '" + value + "': want 0 to 100");
            o.analogPercent = *percent;
        } else if (name == "--drop" || name == "--corrupt") {
            const auto fraction = parseNumber(value);
            if (!fraction || *fraction < 0 || *fraction > 1) return fail("bad " + name + " '" + value + "': want 0 to 1");
            (name == "--drop" ? o.dropFraction : o.corruptFraction) = *fraction;
        } else if (name == "--delay") {
            const auto ms = parseInteger(value);
            if (!ms || *ms < 0 || *ms > 60000) return fail("bad --delay '" + value + "': want 0 to 60000 ms");
            o.delayMs = int(*ms);
        } else if (name == "--exception") {
            const auto rule = parseExceptionRule(value);
            if (!rule) return fail("bad --exception '" + value + "': want REF[-REF][:CODE]");
            o.exceptions.push_back(*rule);
        } else if (name == "--silent-after") {
            const auto count = parseInteger(value);
            if (!count || *count < 0) return fail("bad --silent-after '" + value + "'");
            o.silentAfter = *count;
        } else if (name == "--silent-for") {
            const auto ms = parseInteger(value);
            if (!ms || *ms < 0 || *ms > 3600000) return fail("bad --silent-for '" + value + "'");
            o.silentForMs = int(*ms);
        } else if (name == "--seed") {
            const auto seed = parseInteger(value);
            if (!seed || *seed < 0 || *seed > 4294967295L) return fail("bad --seed '" + value + "'");
            o.seed = std::uint32_t(*seed);
        } else {
            return fail("unknown option '" + args[i] + "'");
        }
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
