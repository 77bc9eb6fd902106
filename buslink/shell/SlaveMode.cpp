// Slave mode: takes what the port received into the slave receive buffer, lets
// the framer find the requests in it, has each served (SlaveServing.cpp) and
// sends the reply. Driven by the port's receive notifications and its silence
// signal; nothing here waits for bytes.
#include "scan/IoDatabaseService.h"
#include "protocol/AsciiFraming.h"
#include "protocol/RtuFraming.h"
#include "protocol/SlaveServing.h"
#include "Buslink.h"
#include "base/BuslinkError.h"
#include "base/FlagScope.h"
#include "base/WholeSecondClock.h"

namespace buslink {

namespace {
bool isSlaveMode(qint16 mode) { return mode == SlaveRtu || mode == SlaveAscii; }
} // namespace

void Buslink::HandleSlaveRequest()
{
    ReceiveSlaveBytes(false);
}

void Buslink::SlaveEndOfBurst()
{
    ReceiveSlaveBytes(true);
}

bool Buslink::SlaveServingActive() const
{
    return isSlaveMode(modBusModeDispatch) && !RawMode && MSComm2->portOpen();
}

void Buslink::ReceiveSlaveBytes(bool silence)
{
    if (!SlaveServingActive()) return;  // a port closed under us (line lost, host): nothing to do
    const Framing framing = modBusModeDispatch == SlaveAscii ? Framing::Ascii : Framing::Rtu;
    const auto takeWaiting = [this] {
        QByteArray arrived;
        while (MSComm2->inBufferCount() > 0) {
            const QByteArray chunk = MSComm2->input();
            if (chunk.isEmpty()) break;
            arrived += chunk;
        }
        return arrived;
    };
    // Keeps what fits and returns how much that was; a silence marks the end of all of it.
    const auto keep = [this](const QByteArray& arrived, int from, bool quiet) {
        const int kept = slaveReceiveBuffer.append(QByteArrayView(arrived).sliced(from));
        if (quiet && from + kept == arrived.size()) slaveReceiveBuffer.markSilence();
        return kept;
    };
    if (slaveRequestRunning) {
        // A host handler of the event let this notification in: the running pass serves these bytes.
        const QByteArray arrived = takeWaiting();
        const int kept = keep(arrived, 0, silence);
        if (kept < arrived.size()) trace(false, arrived.mid(kept), DroppedBytesVerdict(DroppedBytes::Noise, framing));
        return;
    }
    FlagScope running(slaveRequestRunning);
    for (bool quiet = silence;; quiet = false) {
        const QByteArray arrived = takeWaiting();
        int kept = 0;
        for (;;) {
            kept += keep(arrived, kept, quiet);
            ServeBufferedSlaveFrames();
            // The framer keeps no more than the longest frame, so a full buffer empties; only a
            // buffer that lost its room (the mode changed meanwhile) stops here.
            if (kept == arrived.size() || !SlaveServingActive() ||
                slaveReceiveBuffer.size() >= slaveReceiveBuffer.capacity())
                break;
        }
        if (kept < arrived.size()) trace(false, arrived.mid(kept), DroppedBytesVerdict(DroppedBytes::Noise, framing));
        // Bytes that came in while a host handler ran raise no notification of their own.
        if (!SlaveServingActive() || MSComm2->inBufferCount() == 0) break;
    }
    // What a port closed meanwhile had delivered belongs to a line that is gone: never join it to later bytes.
    if (!MSComm2->portOpen()) slaveReceiveBuffer.clear();
}

void Buslink::ServeBufferedSlaveFrames()
{
    while (SlaveServingActive()) {
        const Framing framing = modBusModeDispatch == SlaveAscii ? Framing::Ascii : Framing::Rtu;
        // Bytes up to the last silence are settled as they stand; later ones may still grow.
        const int quiet = slaveReceiveBuffer.silentBytes();
        QByteArrayView view(slaveReceiveBuffer.bytes());
        if (quiet > 0) view = view.first(quiet);
        const FrameSearch found =
            framing == Framing::Rtu ? FindRtuRequest(view, quiet > 0) : FindAsciiFrame(view, quiet > 0);
        if (found.kind == FrameSearch::Kind::NeedMore) {
            if (quiet == 0) return;
            slaveReceiveBuffer.forgetSilence();
            continue;
        }
        const QByteArray dropped = slaveReceiveBuffer.bytes().left(found.offset);
        const QByteArray frame = found.kind == FrameSearch::Kind::Frame
                                     ? slaveReceiveBuffer.bytes().mid(found.offset, found.length)
                                     : QByteArray();
        slaveReceiveBuffer.drop(found.consumed());
        if (!dropped.isEmpty()) DropSlaveBytes(dropped, found.dropped, framing);
        if (!frame.isEmpty() && SlaveServingActive()) ServeSlaveFrame(frame, framing);
    }
}

void Buslink::DropSlaveBytes(const QByteArray& bytes, DroppedBytes what, Framing framing)
{
    trace(false, bytes, DroppedBytesVerdict(what, framing));
    if (what != DroppedBytes::ChecksumError) return;
    // A frame whose check failed is still reported to the host.
    const SlaveOutcome failed = FailedCheckOutcome(bytes, framing);
    ReadDone = WriteDone = true;
    ReplyError = true;
    emit CommCompleteEx(ReplyData, failed.MAdd, failed.quan, ErrorText, ResponseStatus);
}

void Buslink::ServeSlaveFrame(const QByteArray& frame, Framing framing)
{
    ReplyError = false;
    const SlaveSetup setup{framing, plcType == EnType2, DefaultUnit};
    const SlaveOutcome outcome = ServeSlaveRequest(frame, setup, IoImage, ioDatabase);
    if (!outcome.checkPassed) {
        // The framers pass only frames whose check holds; this keeps the rule in one place all the same.
        trace(false, frame, DroppedBytesVerdict(DroppedBytes::ChecksumError, framing));
        ReadDone = WriteDone = true;
        ReplyError = true;
    } else {
        trace(false, frame, QStringLiteral("ok"));
        ReadDone = true;
        if (!outcome.reply.isEmpty() && !WriteLock && MSComm2->portOpen()) {
            LastSendTime = WholeSecondClock::nowSeconds();
            trace(true, outcome.reply, QString());
            try {
                MSComm2->output(outcome.reply);
            } catch (const BuslinkError&) {
                // The line went away while sending: the port service reports it.
            }
        }
    }
    emit CommCompleteEx(ReplyData, outcome.MAdd, outcome.quan, ErrorText, ResponseStatus);
}

} // namespace buslink
