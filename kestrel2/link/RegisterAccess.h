#pragma once
// Every register transaction the tool makes goes through ReadRegs and
// WriteRegs: wait until the component is idle, try, pause, retry, and at the
// end ask the user whether to try once more. Outcomes are left in the flags.
#include "shell/BoundedArray.h"

#include <QVariant>

namespace kestrel2 {

// True when the last ReadRegs / WriteRegs call succeeded.
extern bool ReadOk;
extern bool WriteOk;
// Values of the last successful ReadRegs, from index 1 (the register named first).
extern buslink::IntArray RegValues;

void ReadRegs(const QVariant& address, int count);
void WriteRegs(const QVariant& address, const QVariant& values, qint16& count);
// Returns after the given time; processes no events meanwhile.
void Pause(double seconds);

} // namespace kestrel2
