#include "ActuatorModel.h"

#include <algorithm>
#include <cmath>

namespace actuatorsim {

namespace {
constexpr std::size_t kWriteLogLimit = 1000;
constexpr int kMarkSpacing = 100;  // profile points every 10 % of travel

struct Range {
    int low;
    int high;
};

// Accepted values of the configuration block, 40008 to 40026.
std::optional<Range> configRange(int offset)
{
    switch (offset) {
    case reg::MinPosition: return Range{0, 100};
    case reg::MaxPosition: return Range{1, 100};
    case reg::Deadband: return Range{0, 255};
    case reg::MotionInhibitTime: return Range{0, 255};
    case reg::AuxiliaryMask: return Range{0, 255};
    case reg::CommsLossPosition: return Range{0, 100};
    case reg::Hysteresis: return Range{0, 255};
    case reg::SlowModeRange: return Range{0, 100};
    case reg::JammedTime: return Range{0, 255};
    case reg::ManualMoveTravel: return Range{1, 100};
    case reg::WatchdogTime: return Range{0, 255};
    case reg::DigitalInput4Action: return Range{0, 1};
    case reg::AnalogMax: return Range{0, 1023};
    case reg::CommsLossTimer: return Range{0, 255};
    case reg::Address: return Range{1, 247};
    case reg::BaudRate: return Range{1, 10};
    case reg::ParityStop: return Range{0, 5};
    case reg::DataBase: return Range{0, 1};
    case reg::ClosedTorqueSwitch:
    case reg::OpenTorqueSwitch: return Range{0, 120};
    default: return std::nullopt;
    }
}

bool isActionCode(int value) { return value == 0 || value == 1 || value == 3 || value == 5 || value == 7; }
}  // namespace

std::string arrangementName(Arrangement arrangement) { return arrangement == Arrangement::Mk1 ? "mk1" : "mk2"; }

std::optional<Arrangement> parseArrangement(const std::string& text)
{
    if (text == "mk1" || text == "MK1") return Arrangement::Mk1;
    if (text == "mk2" || text == "MK2") return Arrangement::Mk2;
    return std::nullopt;
}

std::string selectorName(Selector selector)
{
    switch (selector) {
    case Selector::Remote: return "remote";
    case Selector::Stop: return "stop";
    case Selector::Local: return "local";
    }
    return "remote";
}

std::optional<Selector> parseSelector(const std::string& text)
{
    if (text == "remote") return Selector::Remote;
    if (text == "stop") return Selector::Stop;
    if (text == "local") return Selector::Local;
    return std::nullopt;
}

std::string motionName(Motion motion)
{
    switch (motion) {
    case Motion::Stopped: return "stopped";
    case Motion::Opening: return "opening";
    case Motion::Closing: return "closing";
    }
    return "stopped";
}

const std::array<const char*, AlarmCount>& alarmNames()
{
    static const std::array<const char*, AlarmCount> names = {
        "thermostat", "monitor-relay", "obstructed", "jammed", "manual", "motion-inhibit",
        "positioning", "watchdog", "low-battery", "open-interlock", "closed-interlock",
        "di1", "di2", "di3", "di4", "slow-mode"};
    return names;
}

std::optional<int> parseAlarm(const std::string& text)
{
    const auto& names = alarmNames();
    for (int k = 0; k < AlarmCount; ++k)
        if (text == names[std::size_t(k)]) return k;
    const auto reference = parseReference(text);
    if (reference && reference->table == Table::DiscreteInput && reference->offset >= input::FirstAlarm &&
        reference->offset < input::Count)
        return reference->offset - input::FirstAlarm;
    return std::nullopt;
}

ActuatorModel::ActuatorModel(const ModelOptions& options)
    : arrangement(options.arrangement),
      unit(options.unit),
      settings(options.settings),
      strokeSeconds(options.strokeSeconds > 0 ? options.strokeSeconds : 20.0),
      selector(options.selector),
      analogTenths(options.analogTenths),
      position(std::clamp(options.positionTenths, 0, kFullTravel))
{
    holding[reg::ModuleType] = 1;
    holding[reg::FirmwareRevision] = 216;
    holding[reg::SerialHigh] = 0;
    holding[reg::SerialLow] = 4711;
    holding[reg::ModuleStatus] = 1;
    holding[reg::SetPoint] = std::uint16_t(positionTenths());
    holding[reg::CommsLossAction] = 0;
    holding[reg::MinPosition] = 0;
    holding[reg::MaxPosition] = 100;
    holding[reg::Deadband] = 10;
    holding[reg::MotionInhibitTime] = 5;
    holding[reg::AuxiliaryMask] = 0;
    holding[reg::CommsLossPosition] = 50;
    holding[reg::Hysteresis] = 10;
    holding[reg::SlowModeRange] = 10;
    holding[reg::JammedTime] = 10;
    holding[reg::ManualMoveTravel] = 5;
    holding[reg::WatchdogTime] = 10;
    holding[reg::DigitalInput4Action] = 0;
    holding[reg::AnalogMax] = 1023;
    holding[reg::CommsLossTimer] = 0;
    holding[reg::Address] = std::uint16_t(unit);
    holding[reg::BaudRate] = std::uint16_t(baudCode(settings.baud));
    holding[reg::ParityStop] = std::uint16_t(parityStopCode(settings.parity, settings.stopBits));
    holding[reg::DataBase] = arrangement == Arrangement::Mk2 ? 1 : 0;
    std::string tag = options.tag;
    tag.resize(12, ' ');
    for (int k = 0; k < 6; ++k)
        holding[std::size_t(reg::Tag + k)] =
            std::uint16_t(static_cast<unsigned char>(tag[std::size_t(2 * k)]) |
                          (static_cast<unsigned char>(tag[std::size_t(2 * k + 1)]) << 8));
    // Unequal, as on most valves (seating needs more than back-seating), so a master that
    // swaps the two shows it.
    holding[reg::ClosedTorqueSwitch] = 85;
    holding[reg::OpenTorqueSwitch] = 75;
    strokeSamples.fill(-1);
}

int ActuatorModel::tableSize(Table table) const
{
    switch (table) {
    case Table::Coil: return kCoilCount;
    case Table::DiscreteInput: return input::Count;
    case Table::InputRegister: return kInputRegisterCount;
    case Table::HoldingRegister: return arrangement == Arrangement::Mk2 ? reg::Count : 25;
    }
    return 0;
}

std::uint16_t ActuatorModel::value(Table table, int offset) const
{
    if (offset < 0) return 0;
    switch (table) {
    case Table::Coil: return offset < kCoilCount ? coils[std::size_t(offset)] : 0;
    case Table::DiscreteInput: return offset < input::Count ? (discreteInputs() >> offset) & 1 : 0;
    case Table::InputRegister:
        switch (offset) {
        case 0: return std::uint16_t(discreteInputs() & 0xFFFF);
        case 1: return std::uint16_t((discreteInputs() >> 16) & 0xFF);
        case 2: return std::uint16_t(torqueTenths());
        case 3: return std::uint16_t(positionTenths());
        case 4: return std::uint16_t(analogTenths);
        default: return 0;
        }
    case Table::HoldingRegister:
        if (offset >= reg::Count) return 0;
        if (arrangement == Arrangement::Mk1 && offset == reg::FormatRequest) return formatRequest;
        return holding[std::size_t(offset)];
    }
    return 0;
}

int ActuatorModel::serve(const Request& request)
{
    if (request.offset < 0 || request.quantity < 1 ||
        request.offset + request.quantity > tableSize(request.table))
        return 2;  // illegal data address
    if (!request.isWrite) return 0;
    if (const int code = checkWrite(request)) return code;
    applyWrite(request);
    return 0;
}

int ActuatorModel::checkWrite(const Request& request) const
{
    if (request.table == Table::DiscreteInput || request.table == Table::InputRegister) return 1;
    if (request.table == Table::Coil) return 0;
    for (std::size_t i = 0; i < request.values.size(); ++i) {
        const int offset = request.offset + int(i);
        const int v = request.values[i];
        if (offset <= reg::ModuleStatus) return 2;  // identity registers are read-only
        if (offset >= reg::OpenProfile && offset < reg::ClosedOperations) return 2;  // profiles too
        if (offset == reg::SetPoint) {
            const int limit = arrangement == Arrangement::Mk2 ? kFullTravel : 1;
            if (v > limit) return 3;
        } else if (offset == reg::CommsLossAction) {
            if (!isActionCode(v)) return 3;
        } else if (const auto range = configRange(offset)) {
            if (v < range->low || v > range->high) return 3;
        }
    }
    return 0;
}

void ActuatorModel::applyWrite(const Request& request)
{
    for (std::size_t i = 0; i < request.values.size(); ++i) {
        const int offset = request.offset + int(i);
        const std::uint16_t v = request.values[i];
        writes.push_back({Reference{request.table, offset}, v});
        if (writes.size() > kWriteLogLimit) writes.pop_front();
        if (request.table == Table::Coil) {
            coils[std::size_t(offset)] = v ? 1 : 0;
            if (v && offset < 4) commandCoil(offset);
        } else if (arrangement == Arrangement::Mk1 && offset == reg::FormatRequest) {
            formatRequest = v;
        } else {
            holding[std::size_t(offset)] = v;
            if (arrangement == Arrangement::Mk2 && offset == reg::SetPoint) setPoint(v);
        }
    }
}

// Coils 1 to 4 read back the last command given: setting one clears the others.
void ActuatorModel::commandCoil(int coil)
{
    for (int c = 0; c < 4; ++c)
        if (c != coil) coils[std::size_t(c)] = 0;
    switch (coil) {
    case 0:
        if (selector == Selector::Remote) stop();
        break;
    case 1:
        if (selector == Selector::Remote) startMove(Motion::Closing, 0, false, CommandSource::Remote, false);
        break;
    case 2:
        if (selector == Selector::Remote) startMove(Motion::Opening, kFullTravel, false, CommandSource::Remote, false);
        break;
    case 3:
        // ESD overrides local control and the interlocks, not the stop position of the selector.
        if (selector != Selector::Stop) startMove(Motion::Closing, 0, false, CommandSource::Remote, true);
        break;
    default: break;
    }
}

void ActuatorModel::setPoint(int tenths)
{
    if (selector != Selector::Remote) return;
    const double difference = tenths - position;
    if (std::fabs(difference) <= holding[reg::Deadband]) return;
    startMove(difference > 0 ? Motion::Opening : Motion::Closing, tenths, true, CommandSource::Remote, false);
}

bool ActuatorModel::startMove(Motion direction, int targetTenths, bool positioningMove, CommandSource source,
                              bool overrideInterlocks)
{
    if (selector == Selector::Stop || alarmActive(Thermostat)) return false;
    if (!overrideInterlocks) {
        if (direction == Motion::Opening && alarmActive(OpenInterlock)) return false;
        if (direction == Motion::Closing && alarmActive(ClosedInterlock)) return false;
    }
    if (direction == Motion::Opening ? position >= targetTenths : position <= targetTenths) return false;
    if (obstruction) {
        const bool blocked = direction == Motion::Opening ? (obstructionBelow && position >= *obstruction)
                                                          : (!obstructionBelow && position <= *obstruction);
        if (blocked) {
            stop();
            obstructedLatched = true;
            return false;
        }
    }
    obstructedLatched = false;
    if (motion != Motion::Stopped && motion != direction) endStroke();
    target = targetTenths;
    positioning = positioningMove;
    if (motion == direction) return true;  // a new target for the stroke under way
    motion = direction;
    strokeSource = source;
    strokeStart = position;
    strokeSamples.fill(-1);
    if (std::fmod(position, kMarkSpacing) == 0.0) {
        const int mark = int(position) / kMarkSpacing;
        strokeSamples[std::size_t(mark)] = torqueAt(position, direction, strokeStart);
    }
    return true;
}

void ActuatorModel::stop()
{
    if (motion != Motion::Stopped) endStroke();
}

void ActuatorModel::endStroke()
{
    const Motion direction = motion;
    const bool closing = direction == Motion::Closing;
    const int counter = (closing ? reg::ClosedOperations : reg::OpenOperations) +
                        (strokeSource == CommandSource::Local ? 1 : 0);
    if (holding[std::size_t(counter)] < 0xFFFF) ++holding[std::size_t(counter)];
    const bool reachedEnd = closing ? position <= 0.0 : position >= kFullTravel;
    if (reachedEnd) {
        // The profile of the last full-travel stroke in this direction; marks the
        // stroke did not pass (it started part-way) read 0.
        const int first = closing ? reg::ClosedProfile : reg::OpenProfile;
        for (int k = 0; k <= 10; ++k) {
            const int sample = strokeSamples[std::size_t(k)];
            holding[std::size_t(first + k)] = std::uint16_t(sample < 0 ? 0 : (sample + 5) / 10);
        }
    }
    motion = Motion::Stopped;
    positioning = false;
}

void ActuatorModel::sampleMarks(double from, double to)
{
    for (int k = 0; k <= 10; ++k) {
        const double mark = k * kMarkSpacing;
        const bool passed = motion == Motion::Opening ? (mark > from && mark <= to) : (mark < from && mark >= to);
        if (passed) strokeSamples[std::size_t(k)] = torqueAt(mark, motion, strokeStart);
    }
}

int ActuatorModel::torqueAt(double p, Motion direction, double start)
{
    double torque = 0;
    if (direction == Motion::Opening) {
        torque = 200 + p / 20;  // packing friction grows towards open
        const double toEnd = kFullTravel - p;
        if (toEnd < 100) torque += 250 * (100 - toEnd) / 100;  // back-seat
    } else {
        torque = 250 + (kFullTravel - p) / 20;
        if (p < 100) torque += 400 * (100 - p) / 100;  // seating
    }
    const double fromStart = std::fabs(p - start);
    if (fromStart < 50) torque += 350 * (50 - fromStart) / 50;  // break-out
    return int(std::lround(torque));
}

void ActuatorModel::advance(double ms)
{
    if (ms <= 0) return;
    if (holding[reg::CommsLossTimer] > 0 && !commsLossActed) {
        commsIdleMs += ms;
        if (commsIdleMs >= holding[reg::CommsLossTimer] * 1000.0) {
            commsLossActed = true;
            performCommsLossAction();
        }
    }
    if (motion == Motion::Stopped) return;
    const double step = ms * kFullTravel / (strokeSeconds * 1000.0);
    const double from = position;
    double to = motion == Motion::Opening ? std::min(from + step, double(target)) : std::max(from - step, double(target));
    bool obstructed = false;
    if (obstruction) {
        if (motion == Motion::Opening && obstructionBelow && to >= *obstruction) {
            to = *obstruction;
            obstructed = true;
        } else if (motion == Motion::Closing && !obstructionBelow && to <= *obstruction) {
            to = *obstruction;
            obstructed = true;
        }
    }
    sampleMarks(from, to);
    position = to;
    if (obstruction && position != *obstruction) obstructionBelow = position < *obstruction;
    if (obstructed) {
        obstructedLatched = true;
        endStroke();
    } else if (position == target) {
        endStroke();
    }
}

int ActuatorModel::msUntilNextEvent() const
{
    int next = -1;
    if (motion != Motion::Stopped) next = 20;  // motion step; marks are exact whatever the step
    if (holding[reg::CommsLossTimer] > 0 && !commsLossActed) {
        const int left = std::max(0, int(std::ceil(holding[reg::CommsLossTimer] * 1000.0 - commsIdleMs)));
        next = next < 0 ? left : std::min(next, left);
    }
    return next;
}

void ActuatorModel::performCommsLossAction()
{
    if (selector != Selector::Remote) return;
    switch (holding[reg::CommsLossAction]) {
    case 1: startMove(Motion::Opening, kFullTravel, false, CommandSource::Remote, false); break;
    case 3: startMove(Motion::Closing, 0, false, CommandSource::Remote, false); break;
    case 5: stop(); break;
    case 7: {
        const int goal = std::min(holding[reg::CommsLossPosition] * 10, kFullTravel);
        if (goal > position) startMove(Motion::Opening, goal, true, CommandSource::Remote, false);
        else if (goal < position) startMove(Motion::Closing, goal, true, CommandSource::Remote, false);
        break;
    }
    default: break;
    }
}

void ActuatorModel::noteRequest()
{
    commsIdleMs = 0;
    commsLossActed = false;
}

int ActuatorModel::positionTenths() const { return int(std::lround(position)); }

int ActuatorModel::torqueTenths() const
{
    return motion == Motion::Stopped ? 0 : torqueAt(position, motion, strokeStart);
}

bool ActuatorModel::alarmActive(int alarm) const
{
    if (forcedAlarms & (1u << alarm)) return true;
    switch (alarm) {
    case MonitorRelay: return selector != Selector::Remote;  // not available for remote control
    case Obstructed: return obstructedLatched;
    case Positioning: return motion != Motion::Stopped && positioning;
    default: return false;
    }
}

std::uint32_t ActuatorModel::discreteInputs() const
{
    std::uint32_t bits = 0;
    auto set = [&bits](int offset, bool on) {
        if (on) bits |= 1u << offset;
    };
    set(input::Moving, motion != Motion::Stopped);
    set(input::FullyClosed, positionTenths() <= 0);
    set(input::FullyOpen, positionTenths() >= kFullTravel);
    set(input::RunningClosed, motion == Motion::Closing);
    set(input::RunningOpen, motion == Motion::Opening);
    set(input::SelectorRemote, selector == Selector::Remote);
    set(input::SelectorStop, selector == Selector::Stop);
    set(input::SelectorLocal, selector == Selector::Local);
    for (int k = 0; k < AlarmCount; ++k) set(input::FirstAlarm + k, alarmActive(k));
    return bits;
}

PowerCycleResult ActuatorModel::nextPowerCycle() const
{
    PowerCycleResult next{arrangement, unit, settings};
    if (arrangement == Arrangement::Mk1 && formatRequest == 1) next.arrangement = Arrangement::Mk2;
    if (arrangement == Arrangement::Mk2 && holding[reg::DataBase] == 0) next.arrangement = Arrangement::Mk1;
    if (holding[reg::Address] >= 1 && holding[reg::Address] <= 247) next.unit = holding[reg::Address];
    if (const auto baud = baudFromCode(holding[reg::BaudRate])) next.settings.baud = *baud;
    applyParityStopCode(holding[reg::ParityStop], next.settings);
    return next;
}

PowerCycleResult ActuatorModel::powerCycle()
{
    stop();
    const PowerCycleResult next = nextPowerCycle();
    coils.fill(0);
    obstructedLatched = false;
    noteRequest();
    arrangement = next.arrangement;
    unit = next.unit;
    settings = next.settings;
    formatRequest = 0;
    holding[reg::DataBase] = arrangement == Arrangement::Mk2 ? 1 : 0;
    holding[reg::SetPoint] = std::uint16_t(positionTenths());
    return next;
}

void ActuatorModel::setSelector(Selector newSelector)
{
    // Turning the selector stops whatever was moving the valve.
    if (newSelector != selector) stop();
    selector = newSelector;
}

void ActuatorModel::setAlarm(int alarm, bool on)
{
    if (alarm < 0 || alarm >= AlarmCount) return;
    const bool wasActive = alarmActive(alarm);
    if (on) forcedAlarms = std::uint16_t(forcedAlarms | (1u << alarm));
    else forcedAlarms = std::uint16_t(forcedAlarms & ~(1u << alarm));
    if (!on) {
        if (alarm == Obstructed) obstructedLatched = false;
        return;
    }
    if (alarm == Thermostat) stop();
    if (alarm == OpenInterlock && motion == Motion::Opening) stop();
    if (alarm == ClosedInterlock && motion == Motion::Closing) stop();
    // Digital input 4 set to its ESD action closes the valve when it becomes active.
    if (alarm == DigitalInput4 && !wasActive && holding[reg::DigitalInput4Action] == 0 && selector != Selector::Stop)
        startMove(Motion::Closing, 0, false, CommandSource::Remote, true);
}

std::string ActuatorModel::localCommand(Motion direction)
{
    if (selector != Selector::Local) return "selector not in local";
    if (alarmActive(Thermostat)) return "thermostat tripped";
    if (direction == Motion::Opening && alarmActive(OpenInterlock)) return "open interlock active";
    if (direction == Motion::Closing && alarmActive(ClosedInterlock)) return "closed interlock active";
    const int goal = direction == Motion::Opening ? kFullTravel : 0;
    if (motion == Motion::Stopped && positionTenths() == goal) return "already at end of travel";
    if (!startMove(direction, goal, false, CommandSource::Local, false)) return "obstructed";
    return {};
}

std::string ActuatorModel::localStop()
{
    if (selector != Selector::Local) return "selector not in local";
    stop();
    return {};
}

void ActuatorModel::setPositionTenths(int tenths)
{
    stop();
    position = std::clamp(tenths, 0, kFullTravel);
    if (obstruction && position != *obstruction) obstructionBelow = position < *obstruction;
}

void ActuatorModel::setObstruction(std::optional<int> tenths)
{
    obstruction = tenths;
    if (obstruction) obstructionBelow = position <= *obstruction;
    else obstructedLatched = false;
}

bool ActuatorModel::setRaw(const Reference& reference, std::uint16_t v)
{
    if (reference.offset < 0) return false;
    if (reference.table == Table::Coil && reference.offset < kCoilCount) {
        coils[std::size_t(reference.offset)] = v ? 1 : 0;
        return true;
    }
    if (reference.table == Table::HoldingRegister && reference.offset < reg::Count) {
        if (arrangement == Arrangement::Mk1 && reference.offset == reg::FormatRequest) formatRequest = v;
        else holding[std::size_t(reference.offset)] = v;
        return true;
    }
    return false;
}

}  // namespace actuatorsim
