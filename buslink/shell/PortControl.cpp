// Receive dispatch and raw access to the line: every port notification comes
// here and goes to the master reply handler, the slave handler or, in raw mode,
// straight to the host.
#include "Buslink.h"

namespace buslink {

void Buslink::OnComm()
{
    if (RawMode && MSComm2->commEvent() == SerialPortService::EvReceive) {
        if (MSComm2->inBufferCount() > 0) {
            QByteArray received;
            while (MSComm2->inBufferCount() > 0) {
                const QByteArray chunk = MSComm2->input();
                if (chunk.isEmpty()) break;
                received += chunk;
            }
            ModemData[ModemData.lowerBound()] = QString::fromLatin1(received);
            const qint16 code = qint16(MSComm2->commEvent());
            // The last carrier state seen is the best the component knows of the connection.
            emit CommEventModem(code, ModemData, CarrierState);
        }
    }
    if (!RawMode && MSComm2->commEvent() == SerialPortService::EvReceive) {
        if (modBusModeDispatch == SlaveRtu || modBusModeDispatch == SlaveAscii) HandleSlaveRequest();
        else HandleMasterReply();
    }
    if (MSComm2->commEvent() == SerialPortService::EvCD) {
        ModemData[ModemData.lowerBound()] = QString();
        CarrierState = MSComm2->cdHolding();
        emit CommEventModem(SerialPortService::EvCD, ModemData, CarrierState);
    }
}

void Buslink::SendToComm(QString& line1)
{
    RawMode = true;
    MSComm2->setRThreshold(1);
    MSComm2->setAwaitedFrame(0);
    MSComm2->output(line1.toLatin1());
}

QVariant Buslink::ReceiveComm()
{
    return QString::fromLatin1(MSComm2->input());
}

void Buslink::ClearCommPort()
{
    MSComm2->setInBufferCount(0);
    MSComm2->setOutBufferCount(0);
    replyBuffer.clear();  // a reply that was arriving is gone with the buffer
}

} // namespace buslink
