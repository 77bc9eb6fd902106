// Placeholder until register access lands.
#include "RegisterAccess.h"

namespace kestrel2 {

bool ReadOk = false;
bool WriteOk = false;
buslink::IntArray RegValues;

void ReadRegs(const QVariant&, int) { ReadOk = false; }
void WriteRegs(const QVariant&, const QVariant&, qint16&) { WriteOk = false; }
void Pause(double) {}

} // namespace kestrel2
