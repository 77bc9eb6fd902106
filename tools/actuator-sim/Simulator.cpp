#include "Simulator.h"

#include <cmath>
#include <sstream>

namespace actuatorsim {

namespace {
std::optional<int> percentToTenths(const std::string& text)
{
    const auto percent = parseNumber(text);
    if (!percent || *percent < 0 || *percent > 100) return std::nullopt;
    return int(std::lround(*percent * 10));
}

std::optional<bool> onOff(const std::string& text)
{
    if (text == "on" || text == "1") return true;
    if (text == "off" || text == "0") return false;
    return std::nullopt;
}

std::string ok(const std::string& what) { return "OK " + what + "\n"; }
std::string error(const std::string& why) { return "ERROR " + why + "\n"; }

std::string describeModule(const PowerCycleResult& state)
{
    return "format " + arrangementName(state.arrangement) + " unit " + std::to_string(state.unit) + " settings " +
           state.settings.text();
}
}  // namespace

Simulator::Simulator(const SimOptions& options) : actuator(modelOptions(options)), plan(options.seed)
{
    applyFaults(options, plan);
    for (int alarm : options.alarms) actuator.setAlarm(alarm, true);
}

std::vector<Outgoing> Simulator::handleFrame(const Frame& frame, std::int64_t nowMs)
{
    if (frame.size() < 4) return {};
    const int unit = frame[0];
    if (unit != actuator.currentUnit() && unit != 0) {
        ++count.foreign;
        return {};
    }
    if (plan.isSilent(nowMs)) {
        ++count.ignored;
        return {};
    }
    ++count.requests;
    actuator.noteRequest();
    const ParsedRequest parsed = parseRequest(frame);
    int code = 0;
    if (parsed.check == RequestCheck::IllegalFunction) code = 1;
    else if (parsed.check == RequestCheck::IllegalValue) code = 3;
    else if (const auto injected = plan.exceptionFor(parsed.request)) code = *injected;
    else code = actuator.serve(parsed.request);
    if (unit == 0) return {};  // broadcast: writes are applied, nothing is answered

    Frame reply = code ? builder.exception(frame, code) : builder.reply(frame, actuator);
    if (reply.size() < 4) return {};
    if (code) ++count.exceptions;
    plan.noteAnswered(nowMs);
    const ReplyFate fate = plan.nextReply();
    if (fate.drop) {
        ++count.dropped;
        return {};
    }
    if (fate.corrupt) {
        reply[reply.size() - 2] ^= 0xFF;
        reply[reply.size() - 1] ^= 0xFF;
        ++count.corrupted;
    }
    if (fate.delayMs > 0) ++count.delayed;
    ++count.replies;
    return {Outgoing{reply, nowMs + fate.delayMs}};
}

std::string Simulator::powerCycle() { return describeModule(actuator.powerCycle()); }

ConsoleResult Simulator::execute(const std::string& line, std::int64_t nowMs)
{
    ConsoleResult result;
    const auto words = splitWords(line);
    if (words.empty() || words[0][0] == '#') return result;
    const std::string& command = words[0];
    const std::size_t argc = words.size() - 1;
    auto arg = [&words](std::size_t i) { return i < words.size() ? words[i] : std::string(); };
    std::string& out = result.output;

    if (command == "help") {
        out = helpText() + ok("help");
    } else if (command == "dump") {
        out = dump(nowMs) + ok("dump");
    } else if (command == "quit" || command == "exit") {
        result.quit = true;
        out = ok("quit");
    } else if (command == "power-cycle") {
        out = ok("power-cycle " + powerCycle());
        result.powerCycled = true;
    } else if (command == "selector") {
        const auto selector = parseSelector(arg(1));
        if (argc != 1 || !selector) return {error("usage: selector remote|local|stop"), false, false};
        actuator.setSelector(*selector);
        out = ok("selector " + selectorName(*selector));
    } else if (command == "alarm") {
        const auto alarm = parseAlarm(arg(1));
        const auto on = onOff(arg(2));
        if (argc != 2 || !alarm || !on) return {error("usage: alarm NAME|REF on|off (see help)"), false, false};
        actuator.setAlarm(*alarm, *on);
        out = ok("alarm " + std::string(alarmNames()[std::size_t(*alarm)]) + (*on ? " on" : " off"));
    } else if (command == "open" || command == "close") {
        const std::string refused =
            actuator.localCommand(command == "open" ? Motion::Opening : Motion::Closing);
        out = refused.empty() ? ok(command) : error(command + " refused: " + refused);
    } else if (command == "stop") {
        const std::string refused = actuator.localStop();
        out = refused.empty() ? ok("stop") : error("stop refused: " + refused);
    } else if (command == "analog" || command == "position") {
        const auto tenths = percentToTenths(arg(1));
        if (argc != 1 || !tenths) return {error("usage: " + command + " PERCENT (0 to 100)"), false, false};
        if (command == "analog") actuator.setAnalogTenths(*tenths);
        else actuator.setPositionTenths(*tenths);
        out = ok(command + " " + std::to_string(*tenths));
    } else if (command == "obstruct") {
        if (argc == 1 && arg(1) == "off") {
            actuator.setObstruction(std::nullopt);
            out = ok("obstruct off");
        } else {
            const auto tenths = percentToTenths(arg(1));
            if (argc != 1 || !tenths) return {error("usage: obstruct PERCENT|off"), false, false};
            actuator.setObstruction(*tenths);
            out = ok("obstruct " + std::to_string(*tenths));
        }
    } else if (command == "set") {
        const auto reference = parseReference(arg(1));
        const auto value = parseInteger(arg(2));
        if (argc != 2 || !reference || !value || *value < 0 || *value > 0xFFFF ||
            !actuator.setRaw(*reference, std::uint16_t(*value)))
            return {error("usage: set REF VALUE (a coil 1 to 8 or a holding register 40001 to 40060)"), false,
                    false};
        out = ok("set " + sixDigit(*reference) + " " + std::to_string(*value));
    } else if (command == "drop" || command == "corrupt") {
        const auto fraction = parseNumber(arg(1));
        if (argc != 1 || !fraction || *fraction < 0 || *fraction > 1)
            return {error("usage: " + command + " FRACTION (0 to 1)"), false, false};
        (command == "drop" ? plan.dropFraction : plan.corruptFraction) = *fraction;
        out = ok(command + " " + arg(1));
    } else if (command == "delay") {
        const auto ms = parseInteger(arg(1));
        if (argc != 1 || !ms || *ms < 0 || *ms > 60000) return {error("usage: delay MS (0 to 60000)"), false, false};
        plan.delayMs = int(*ms);
        out = ok("delay " + std::to_string(*ms));
    } else if (command == "exception") {
        if (argc == 1 && arg(1) == "clear") {
            plan.exceptions.clear();
            out = ok("exception clear");
        } else {
            const auto rule = parseExceptionRule(arg(1));
            if (argc != 1 || !rule) return {error("usage: exception REF[-REF][:CODE] | exception clear"), false, false};
            plan.exceptions.push_back(*rule);
            out = ok("exception " + describe(*rule));
        }
    } else if (command == "silent") {
        const auto ms = argc == 0 ? std::optional<long>(0) : parseInteger(arg(1));
        if (argc > 1 || !ms || *ms < 0 || *ms > 3600000) return {error("usage: silent [MS]"), false, false};
        plan.silenceNow(nowMs, int(*ms));
        out = ok("silent" + (*ms ? " " + std::to_string(*ms) : std::string()));
    } else if (command == "resume") {
        plan.resume();
        out = ok("resume");
    } else {
        out = error("unknown command '" + command + "' (try help)");
    }
    return result;
}

std::string Simulator::helpText()
{
    std::string alarms;
    for (const char* name : alarmNames()) alarms += std::string(" ") + name;
    return "commands:\n"
           "  dump                      print the state dump\n"
           "  power-cycle               cycle the actuator's power (as SIGHUP)\n"
           "  selector remote|local|stop\n"
           "  alarm NAME|REF on|off     NAME one of:" + alarms + "\n"
           "  open | close | stop       the local push buttons (selector in local)\n"
           "  position PERCENT          put the valve there at once\n"
           "  analog PERCENT            analog input\n"
           "  obstruct PERCENT|off      an obstruction the valve cannot pass\n"
           "  set REF VALUE             store a coil or holding register value directly\n"
           "  drop FRACTION | corrupt FRACTION | delay MS\n"
           "  exception REF[-REF][:CODE] | exception clear\n"
           "  silent [MS] | resume      stop answering (for MS milliseconds) / answer again\n"
           "  quit\n";
}

std::string Simulator::dump(std::int64_t nowMs)
{
    const ActuatorModel& m = actuator;
    std::ostringstream out;
    out << "# actuator-sim state dump\n";
    out << "format " << arrangementName(m.currentArrangement()) << "\n";
    out << "unit " << m.currentUnit() << "\n";
    out << "settings " << m.currentSettings().text() << "\n";
    out << "selector " << selectorName(m.currentSelector()) << "\n";
    out << "motion " << motionName(m.currentMotion()) << "\n";
    out << "position " << m.positionTenths() << "\n";
    out << "target " << m.targetTenths() << "\n";
    out << "torque " << m.torqueTenths() << "\n";
    out << "obstruction " << (m.obstructionTenths() ? std::to_string(*m.obstructionTenths()) : "none") << "\n";
    out << "silent " << (plan.isSilent(nowMs) ? "yes" : "no") << "\n";
    const PowerCycleResult next = m.nextPowerCycle();
    out << "next-format " << arrangementName(next.arrangement) << "\n";
    out << "next-unit " << next.unit << "\n";
    out << "next-settings " << next.settings.text() << "\n";
    out << "counter requests " << count.requests << "\n";
    out << "counter foreign " << count.foreign << "\n";
    out << "counter ignored " << count.ignored << "\n";
    out << "counter exceptions " << count.exceptions << "\n";
    out << "counter replies " << count.replies << "\n";
    out << "counter dropped " << count.dropped << "\n";
    out << "counter corrupted " << count.corrupted << "\n";
    out << "counter delayed " << count.delayed << "\n";
    out << "counter unsent " << count.unsent << "\n";
    out << "counter bad-bytes " << count.badBytes << "\n";
    for (Table table : {Table::Coil, Table::DiscreteInput, Table::InputRegister, Table::HoldingRegister})
        for (int offset = 0; offset < m.tableSize(table); ++offset)
            out << sixDigit(table, offset) << " " << m.value(table, offset) << "\n";
    for (const auto& write : m.writeLog()) out << "write " << sixDigit(write.reference) << " " << write.value << "\n";
    out << "end\n";
    return out.str();
}

}  // namespace actuatorsim
