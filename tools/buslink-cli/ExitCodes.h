#pragma once
// buslink-cli's exit codes and how a transaction's outcome maps to them.
#include "base/TransactionOutcome.h"

namespace cli {

constexpr int kOk = 0;
constexpr int kNoReply = 1;     // no reply within the time-out; also any other failure (a file that cannot be used)
constexpr int kFailed = 1;
constexpr int kUsage = 2;       // the command line is wrong, or asks for a request that cannot be sent
constexpr int kException = 3;   // the device answered with an exception reply
constexpr int kFraming = 4;     // checksum error, a bad reply, a reply from another unit or for another function
constexpr int kLineError = 5;   // the line was lost, the port cannot be opened, or its settings were refused

inline int ExitCodeFor(buslink::Outcome outcome)
{
    switch (outcome) {
    case buslink::Outcome::Answered: return kOk;
    case buslink::Outcome::Exception: return kException;
    case buslink::Outcome::ChecksumError:
    case buslink::Outcome::BadReply:
    case buslink::Outcome::OtherUnitOrFunction: return kFraming;
    case buslink::Outcome::LineLost:
    case buslink::Outcome::Busy: return kLineError;
    case buslink::Outcome::Refused: return kUsage;
    case buslink::Outcome::NoReply:
    case buslink::Outcome::None: break;
    }
    return kNoReply;
}

// Failures that another try may cure: nothing came, or what came was damaged.
inline bool WorthRetrying(buslink::Outcome outcome)
{
    return outcome == buslink::Outcome::NoReply || outcome == buslink::Outcome::ChecksumError
           || outcome == buslink::Outcome::BadReply || outcome == buslink::Outcome::OtherUnitOrFunction;
}

// The exit codes as the help and the man page list them.
inline const char* ExitCodesHelp()
{
    return "Exit status:\n"
           "  0  success\n"
           "  1  no reply within the time-out; also any other failure, such as a file or\n"
           "     a database that cannot be used\n"
           "  2  usage: the command line is wrong, or asks for what cannot be sent (a count\n"
           "     or a value out of range, an address that does not resolve)\n"
           "  3  the device answered with an exception reply\n"
           "  4  checksum or framing error: a bad CRC or LRC, a reply too short or with a\n"
           "     bad byte count, a reply from another unit or for another function\n"
           "  5  line error: the line was lost, the port cannot be opened, or the line\n"
           "     refused the settings\n";
}

} // namespace cli
