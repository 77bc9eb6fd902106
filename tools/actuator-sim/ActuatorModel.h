#pragma once
// The simulated actuator and its Modbus module: the register store of both register
// arrangements, the valve's motion, the selector switch, the alarms, the torque
// profile and the operation counters. Pure: time moves only through advance().
#include "RtuFraming.h"
#include "SimTypes.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace actuatorsim {

enum class Arrangement { Mk1, Mk2 };
enum class Selector { Remote, Stop, Local };
enum class Motion { Stopped, Opening, Closing };
enum class CommandSource { Remote, Local };

std::string arrangementName(Arrangement arrangement);  // mk1, mk2
std::optional<Arrangement> parseArrangement(const std::string& text);
std::string selectorName(Selector selector);  // remote, stop, local
std::optional<Selector> parseSelector(const std::string& text);
std::string motionName(Motion motion);  // stopped, opening, closing

// Holding register offsets (protocol address = reference - 40001).
namespace reg {
constexpr int ModuleType = 0;        // 40001
constexpr int FirmwareRevision = 1;  // 40002
constexpr int SerialHigh = 2;        // 40003
constexpr int SerialLow = 3;         // 40004
constexpr int ModuleStatus = 5;      // 40006, the presence probe
constexpr int SetPoint = 6;          // 40007 in MK 2: position set-point, tenths of a percent
constexpr int FormatRequest = 6;     // 40007 in MK 1: 1 asks for MK 2 at the next power cycle
constexpr int CommsLossAction = 7;   // 40008 ... the configuration block ...
constexpr int MinPosition = 8;
constexpr int MaxPosition = 9;
constexpr int Deadband = 10;
constexpr int MotionInhibitTime = 11;
constexpr int AuxiliaryMask = 12;
constexpr int CommsLossPosition = 13;
constexpr int Hysteresis = 14;
constexpr int SlowModeRange = 15;
constexpr int JammedTime = 16;
constexpr int ManualMoveTravel = 17;
constexpr int WatchdogTime = 18;
constexpr int DigitalInput4Action = 19;
constexpr int AnalogMax = 20;
constexpr int CommsLossTimer = 21;
constexpr int Address = 22;          // 40023
constexpr int BaudRate = 23;         // 40024
constexpr int ParityStop = 24;       // 40025
constexpr int DataBase = 25;         // 40026, 0 MK 1, 1 MK 2
constexpr int Tag = 26;              // 40027 to 40032
constexpr int ClosedTorqueSwitch = 32;  // 400033, % rated
constexpr int OpenTorqueSwitch = 33;    // 400034
constexpr int OpenProfile = 34;         // 400035 to 400045, % rated at 0, 10 ... 100 %
constexpr int ClosedProfile = 45;       // 400046 to 400056
constexpr int ClosedOperations = 56;    // 400057 remote, 400058 local
constexpr int OpenOperations = 58;      // 400059 remote, 400060 local
constexpr int Count = 60;
}  // namespace reg

// Discrete input offsets (reference = 10001 + offset).
namespace input {
constexpr int Moving = 0;
constexpr int FullyClosed = 1;
constexpr int FullyOpen = 2;
constexpr int RunningClosed = 3;
constexpr int RunningOpen = 4;
constexpr int SelectorRemote = 5;
constexpr int SelectorStop = 6;
constexpr int SelectorLocal = 7;
constexpr int FirstAlarm = 8;  // 10009 ... 10024: sixteen alarms, see alarmNames()
constexpr int Count = 24;
}  // namespace input

// Alarm k (0 to 15) is discrete input 10009 + k.
enum Alarm {
    Thermostat, MonitorRelay, Obstructed, Jammed, ManualOperation, MotionInhibit, Positioning,
    WatchdogRecovery, LowBattery, OpenInterlock, ClosedInterlock, DigitalInput1, DigitalInput2,
    DigitalInput3, DigitalInput4, SlowMode, AlarmCount
};
const std::array<const char*, AlarmCount>& alarmNames();
// An alarm by name (thermostat, open-interlock, di4, ...) or by its reference (10009 ...).
std::optional<int> parseAlarm(const std::string& text);

constexpr int kCoilCount = 8;
constexpr int kInputRegisterCount = 5;
constexpr int kFullTravel = 1000;  // tenths of a percent

struct ModelOptions {
    Arrangement arrangement = Arrangement::Mk2;
    int unit = 1;
    LineSettings settings;
    double strokeSeconds = 20.0;
    int positionTenths = 0;
    std::string tag = "SIM ACTUATOR";
    Selector selector = Selector::Remote;
    int analogTenths = 0;
};

// What a power cycle changed, for the line side to follow.
struct PowerCycleResult {
    Arrangement arrangement;
    int unit;
    LineSettings settings;
};

class ActuatorModel {
public:
    explicit ActuatorModel(const ModelOptions& options);

    // --- Modbus side ---
    // Number of points the current arrangement answers in a table.
    int tableSize(Table table) const;
    // Serves a request addressed to this module: returns 0 (done; writes applied) or
    // the exception code to answer with (nothing applied).
    int serve(const Request& request);
    // A point's current value; offsets outside the table give 0.
    std::uint16_t value(Table table, int offset) const;
    // Every request addressed to this module restarts the communication loss timer.
    void noteRequest();

    // --- Time ---
    void advance(double ms);
    bool isMoving() const { return motion != Motion::Stopped; }
    // How soon advance() has something to do: a motion step or the communication
    // loss timer running out; -1 when nothing is pending.
    int msUntilNextEvent() const;

    // --- Operator side ---
    PowerCycleResult powerCycle();
    void setSelector(Selector selector);
    void setAlarm(int alarm, bool on);
    // The local push buttons: obeyed with the selector in local. Returns an error text or "".
    std::string localCommand(Motion direction);
    std::string localStop();
    void setAnalogTenths(int tenths) { analogTenths = tenths; }
    void setPositionTenths(int tenths);
    void setObstruction(std::optional<int> tenths);
    // Stores a coil or holding register value directly, without the module's checks.
    bool setRaw(const Reference& reference, std::uint16_t value);

    // --- Inspection ---
    Arrangement currentArrangement() const { return arrangement; }
    int currentUnit() const { return unit; }
    LineSettings currentSettings() const { return settings; }
    Selector currentSelector() const { return selector; }
    Motion currentMotion() const { return motion; }
    int positionTenths() const;
    int targetTenths() const { return target; }
    int torqueTenths() const;
    std::optional<int> obstructionTenths() const { return obstruction; }
    // What the next power cycle would bring, read from the registers.
    PowerCycleResult nextPowerCycle() const;

    struct WriteRecord {
        Reference reference;
        std::uint16_t value;
    };
    // The last writes a master made, oldest first (at most 1000 kept).
    const std::deque<WriteRecord>& writeLog() const { return writes; }

    // Torque in tenths of a percent along a stroke (pure curve, used by the profile too).
    static int torqueAt(double positionTenths, Motion direction, double strokeStartTenths);

private:
    int checkWrite(const Request& request) const;
    void applyWrite(const Request& request);
    void commandCoil(int coil);
    void setPoint(int tenths);
    bool startMove(Motion direction, int targetTenths, bool positioning, CommandSource source, bool overrideInterlocks);
    void stop();
    void endStroke();
    void sampleMarks(double from, double to);
    void performCommsLossAction();
    std::uint32_t discreteInputs() const;
    bool alarmActive(int alarm) const;

    Arrangement arrangement;
    int unit;
    LineSettings settings;
    double strokeSeconds;
    std::array<std::uint16_t, reg::Count> holding{};
    std::array<std::uint8_t, kCoilCount> coils{};
    std::uint16_t formatRequest = 0;  // MK 1 register 7
    Selector selector;
    std::uint16_t forcedAlarms = 0;
    int analogTenths;

    double position;
    Motion motion = Motion::Stopped;
    int target = 0;
    bool positioning = false;
    CommandSource strokeSource = CommandSource::Remote;
    double strokeStart = 0;
    std::array<int, 11> strokeSamples{};  // -1 = mark not passed in this stroke

    std::optional<int> obstruction;
    bool obstructionBelow = true;  // which side of the obstruction the valve is on
    bool obstructedLatched = false;

    double commsIdleMs = 0;
    bool commsLossActed = false;

    std::deque<WriteRecord> writes;
};

}  // namespace actuatorsim
