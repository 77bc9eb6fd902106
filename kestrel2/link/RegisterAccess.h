#pragma once
// Every register transaction the tool makes goes through ReadRegs and
// WriteRegs: wait until the component is idle, try, pause, retry, and at the
// end ask the user whether to try once more. Outcomes are left in the flags.
#include "base/BoundedArray.h"
#include "base/TransactionOutcome.h"

#include <QList>
#include <QVariant>
#include <functional>
#include <optional>

namespace kestrel2 {

// True when the last ReadRegs / WriteRegs call succeeded.
extern bool ReadOk;
extern bool WriteOk;
// Values of the last successful ReadRegs, from index 1 (the register named first).
extern buslink::IntArray RegValues;

void ReadRegs(const QVariant& address, int count);
// Elements first..first+count-1 of a read buffer (e.g. RegValues), or nothing
// when the buffer does not hold them all.
std::optional<QList<qint32>> TakeValues(const buslink::IntArray& values, int count, int first = 1);
// ReadRegs of count registers from reference, and their values; nothing when the read failed.
std::optional<QList<qint32>> ReadBlock(int reference, int count);
void WriteRegs(const QVariant& address, const QVariant& values, qint16& count);
// Returns after the given time; processes no events meanwhile.
void Pause(double seconds);

// The exception code the actuator answered the last attempt of the last ReadRegs or
// WriteRegs call with: 0 when that attempt succeeded, got no reply, or got a damaged one.
// Tells "the module has no such register" (2) from a line that failed.
qint16 LastAttemptExceptionCode();
// How the component says that last attempt ended (answered, no reply, a damaged reply, ...).
buslink::Outcome LastAttemptOutcome();

// True while a ReadRegs or WriteRegs call is running (possibly several, nested
// through the events they let run); the component must not be released then.
bool RegisterTransactionRunning();

// ---- The wait before every attempt -------------------------------------------
// A component that reads busy this many polls in a row is reset.
constexpr int BusyPollsBeforeReset = 500;
// Each poll waits this long in the event loop, so the polls before a reset
// outlast the component's own reply time-out (two seconds at most).
constexpr int BusyPollMs = 5;

// Lets events run for BusyPollMs milliseconds, blocking in the event loop.
void WaitOnePoll();

// Polls busy() until it reads false. After every BusyPollsBeforeReset busy polls
// in a row it calls reset() and counts again from 0; between polls it calls
// pollWait(). Returns the number of resets made.
int BusyWait(const std::function<bool()>& busy, const std::function<void()>& reset,
             const std::function<void()>& pollWait = WaitOnePoll);

} // namespace kestrel2
