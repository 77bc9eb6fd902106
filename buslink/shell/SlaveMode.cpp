// Slave mode: collects one request frame from the port, has it served
// (SlaveServing.cpp) and sends the reply.
#include "scan/IoDatabaseService.h"
#include "protocol/SlaveServing.h"
#include "Buslink.h"
#include "base/EventWait.h"
#include "base/FlagScope.h"
#include "base/WholeSecondClock.h"

#include <QTimer>

namespace buslink {

namespace {

// Lets pending events run until `count` bytes wait in the port or more than
// one whole second has passed; false on time-out.
bool WaitForWaitingBytes(SerialPortService& port, int count)
{
    const qint64 start = WholeSecondClock::nowSeconds();
    while (port.portOpen() && port.inBufferCount() < count) {
        if (WholeSecondClock::nowSeconds() - start > 1) return false;
        LetPendingEventsRun(20);
    }
    return port.portOpen();
}

} // namespace

void Buslink::HandleSlaveRequest()
{
    // Bytes that arrive while a frame is being collected notify again; the
    // running handler takes them itself.
    if (slaveRequestRunning || !MSComm2->portOpen()) return;
    FlagScope running(slaveRequestRunning);

    const SlaveFraming framing = modBusModeDispatch == SlaveAscii ? SlaveFraming::Ascii : SlaveFraming::Rtu;
    ReplyError = false;
    const int minimum = MinimumSlaveRequestLength(framing);
    if (!WaitForWaitingBytes(*MSComm2, minimum)) return;  // the bytes stay for the next notification
    const int length = SlaveRequestLength(MSComm2->peek(minimum), framing);
    // The frame is taken at its full length whether or not all of it came.
    WaitForWaitingBytes(*MSComm2, length);

    // Read exactly this frame: a second frame of the same burst stays in the port.
    const int inputLength = MSComm2->inputLen();
    MSComm2->setInputLen(length);
    QByteArray frame;
    try {
        frame = MSComm2->input();
    } catch (...) {
        MSComm2->setInputLen(inputLength);
        throw;
    }
    MSComm2->setInputLen(inputLength);

    const SlaveSetup setup{framing, plcType == EnType2, DefaultUnit};
    const SlaveOutcome outcome = ServeSlaveRequest(frame, setup, IoImage, ioDatabase);
    if (!outcome.checkPassed) {
        trace(false, frame, framing == SlaveFraming::Rtu ? QStringLiteral("CRC error") : QStringLiteral("LRC error"));
        // A damaged frame leaves the line out of step with the frames: drop the rest of the burst too.
        MSComm2->setInBufferCount(0);
        ReadDone = WriteDone = true;
        ReplyError = true;
    } else {
        trace(false, frame, QStringLiteral("ok"));
        ReadDone = true;
        if (!outcome.reply.isEmpty() && !WriteLock) {
            LastSendTime = WholeSecondClock::nowSeconds();
            trace(true, outcome.reply, QString());
            MSComm2->output(outcome.reply);
        }
    }
    emit CommCompleteEx(ReplyData, outcome.MAdd, outcome.quan, ErrorText, ResponseStatus);

    // The port notifies only when new bytes arrive; serve what is left of the burst on a later pass.
    if (outcome.checkPassed && !slaveRerunQueued && MSComm2->portOpen() && MSComm2->inBufferCount() > 0) {
        slaveRerunQueued = true;
        QTimer::singleShot(0, this, [this] {
            slaveRerunQueued = false;
            try {
                const bool slave = modBusModeDispatch == SlaveRtu || modBusModeDispatch == SlaveAscii;
                if (slave && !RawMode && MSComm2->portOpen() && MSComm2->inBufferCount() > 0) HandleSlaveRequest();
            } catch (...) {
            }
        });
    }
}

void Buslink::SlaveEndOfBurst()
{
}

} // namespace buslink
