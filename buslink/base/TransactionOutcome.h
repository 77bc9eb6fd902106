#pragma once
// Why a master transaction ended, with a text that names the cause. The
// component's specified return codes stay as they are; this says what lies
// behind a 0, for ErrorStr, the frame trace and command-line hosts.
#include <QString>

namespace buslink {

enum class Outcome {
    None,                 // no transaction yet
    Answered,             // a normal answer with a good check
    Exception,            // an exception answer; exceptionCode holds its code
    ChecksumError,        // the answer's CRC or LRC failed
    BadReply,             // an answer too short, with a bad byte count, or with a value that cannot be represented
    OtherUnitOrFunction,  // only answers from another unit or for another function came
    NoReply,              // nothing answered within the reply time-out
    LineLost,             // the line vanished, or could not be opened again
    Refused,              // not sent: a count, value, unit or address out of range or not resolved
    Busy,                 // not sent: another transaction holds the line
};

struct TransactionResult {
    Outcome outcome = Outcome::None;
    int exceptionCode = 0;
    QString text;         // empty for Answered and None
};

} // namespace buslink
