#pragma once
// The line faults the simulator can play: lost replies, replies with a wrong CRC,
// late replies, exception replies for chosen registers, and silence. Every random
// choice comes from one generator seeded by --seed, and each reply draws the same
// two numbers whatever is enabled, so a seed replays the same faults for the same
// sequence of requests.
#include "RtuFraming.h"
#include "SimTypes.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace actuatorsim {

// Requests that touch any point from first to last of a table are answered with
// the exception code instead of being served.
struct ExceptionRule {
    Table table = Table::HoldingRegister;
    int first = 0;
    int last = 0;
    int code = 4;
};

// REF, REF-REF, each optionally followed by :CODE (1 to 11, default 4), e.g. 400015,
// 40008-40032:2, 000003:6. Both ends must name the same table.
std::optional<ExceptionRule> parseExceptionRule(const std::string& text);
std::string describe(const ExceptionRule& rule);

struct ReplyFate {
    bool drop = false;
    bool corrupt = false;
    int delayMs = 0;
};

class FaultPlan {
public:
    explicit FaultPlan(std::uint32_t seed = 1) : generator(seed) {}

    double dropFraction = 0;
    double corruptFraction = 0;
    int delayMs = 0;
    std::vector<ExceptionRule> exceptions;

    std::optional<int> exceptionFor(const Request& request) const;
    // The fate of the next reply (draws two numbers).
    ReplyFate nextReply();

    // Silence: the module neither hears nor answers.
    // After `count` more answered requests, go silent for `ms` (0: until resume()).
    void silenceAfter(long count, int ms);
    void silenceNow(std::int64_t nowMs, int ms);
    void resume();
    bool isSilent(std::int64_t nowMs);
    // Called for every request the module answered (or would have).
    void noteAnswered(std::int64_t nowMs);
    // When the current silence ends by itself (for the event loop's time-out).
    std::optional<std::int64_t> silenceEnd() const;

private:
    double draw();

    std::mt19937 generator;
    bool silent = false;
    std::optional<std::int64_t> silentUntil;
    long answeredBeforeSilence = -1;  // -1: no silence planned
    int plannedSilenceMs = 0;
};

}  // namespace actuatorsim
