#pragma once
// The simulator without its line: takes request frames and console lines with the
// time they arrived, and gives back the reply bytes with the time they are due.
// main.cpp moves bytes between this and the line, standard input and signals.
#include "ActuatorModel.h"
#include "FaultPlan.h"
#include "ReplyBuilder.h"
#include "RtuFraming.h"
#include "SimOptions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace actuatorsim {

struct Outgoing {
    Frame bytes;
    std::int64_t dueMs = 0;
};

struct Counters {
    long requests = 0;    // frames addressed to this unit (or broadcast) while not silent
    long foreign = 0;     // frames for other units
    long ignored = 0;     // frames for this unit while silent
    long exceptions = 0;  // exception replies built
    long replies = 0;     // replies handed to the line (corrupted and late ones included)
    long dropped = 0;
    long corrupted = 0;
    long delayed = 0;
    long unsent = 0;      // replies the line would not take
    long badBytes = 0;    // bytes that were not part of a frame with a good CRC
};

struct ConsoleResult {
    std::string output;  // lines to print, each ending in a newline
    bool quit = false;
    bool powerCycled = false;
};

class Simulator {
public:
    explicit Simulator(const SimOptions& options);

    ActuatorModel& model() { return actuator; }
    const ActuatorModel& model() const { return actuator; }
    FaultPlan& faults() { return plan; }
    Counters& counters() { return count; }
    bool isValid() const { return builder.isValid(); }

    // A frame with a good CRC arrived; returns the reply to send, if any.
    std::vector<Outgoing> handleFrame(const Frame& frame, std::int64_t nowMs);
    // One line typed on standard input.
    ConsoleResult execute(const std::string& line, std::int64_t nowMs);
    // Power cycle (SIGHUP or the console); the text describes the module afterwards.
    std::string powerCycle();
    // The state dump (documented in docs/actuator-sim.md).
    std::string dump(std::int64_t nowMs);

    static std::string helpText();

private:
    ActuatorModel actuator;
    FaultPlan plan;
    ReplyBuilder builder;
    Counters count;
};

}  // namespace actuatorsim
