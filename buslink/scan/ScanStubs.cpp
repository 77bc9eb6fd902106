// Placeholders for the register image, scan engine, slave mode and pages until they land.
#include "scan/StartupConfiguration.h"
#include "shell/Buslink.h"

namespace buslink {

void RunStartupRoutine() {}
void EnsureStartupRoutineRan() {}
QVariant Buslink::ReadModData(const QVariant&, VariantArray&, qint16&) { return {}; }
QVariant Buslink::SetModData(const QVariant&, VariantArray&) { return {}; }
void Buslink::IOData(VariantArray&, qint16) {}
void Buslink::WriteQueData() {}
void Buslink::ReadScanDatabase() {}
void Buslink::SetScanRegGroup(qint16, bool) {}
void Buslink::EditScanDatabase() {}
void Buslink::ReadScanTick() {}
void Buslink::WriteQueueTick() {}
void Buslink::HandleSlaveRequest() {}
void Buslink::ShowAboutBox() {}

} // namespace buslink
