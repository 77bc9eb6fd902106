// Placeholders for the master protocol and port control until they land.
#include "shell/Buslink.h"

namespace buslink {

qint16 Buslink::ReadPLC(const QVariant&, VariantArray&, QVariant&, qint16&) { return 0; }
qint16 Buslink::ReadPLC(const QVariant&, QVariant&, QVariant&, qint16&) { return 0; }
qint16 Buslink::ReadPLC(const QVariant&, VariantArray&, QVariant&) { return 0; }
qint16 Buslink::ReadPLCNW(const QVariant&, QVariant&) { return 0; }
qint16 Buslink::WritePLC(const QVariant&, VariantArray&, qint16&, qint16&) { return 0; }
qint16 Buslink::WritePLC(const QVariant&, QVariant&, qint16&, qint16&) { return 0; }
qint16 Buslink::WritePLC(const QVariant&, QVariant&, qint16&) { return 0; }
qint16 Buslink::ReadPLCValue(const QVariant&, QVariant&, qint16&, qint16&, qint32&) { return 0; }
void Buslink::SendToComm(QString&) {}
QVariant Buslink::ReceiveComm() { return {}; }
void Buslink::ClearCommPort() {}
void Buslink::OnComm() {}
void Buslink::WatchdogTick() {}
QVariant Buslink::TagAddressFromName(const QVariant&) const { return {}; }
QVariant Buslink::TagNameFromAddress(const QVariant&) const { return {}; }

} // namespace buslink
