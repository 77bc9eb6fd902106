#pragma once
// Command-line options of actuator-sim, parsed with QCommandLineParser (--name VALUE
// or --name=VALUE, in any order).
#include "ActuatorModel.h"
#include "FaultPlan.h"

#include <cstdint>
#include <string>
#include <vector>

namespace actuatorsim {

struct SimOptions {
    std::string port;      // empty: make a pseudo-terminal
    std::string link;      // optional symbolic link to the pseudo-terminal
    std::string dumpFile;  // written on exit and on SIGUSR1
    LineSettings settings;
    int unit = 1;
    Arrangement arrangement = Arrangement::Mk2;
    double strokeSeconds = 20.0;
    double positionPercent = 0.0;
    std::string tag = "SIM ACTUATOR";
    Selector selector = Selector::Remote;
    std::vector<int> alarms;
    double analogPercent = 0.0;
    double dropFraction = 0.0;
    double corruptFraction = 0.0;
    int delayMs = 0;
    std::vector<ExceptionRule> exceptions;
    long silentAfter = -1;
    int silentForMs = 0;
    std::uint32_t seed = 1;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

struct OptionsResult {
    SimOptions options;
    std::string error;  // empty when the options are sound
};

// The arguments after the program name.
OptionsResult parseOptions(const std::vector<std::string>& args);
std::string usageText();
std::string versionText();

ModelOptions modelOptions(const SimOptions& options);
void applyFaults(const SimOptions& options, FaultPlan& faults);

}  // namespace actuatorsim
