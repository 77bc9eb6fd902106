// Slave mode: takes what the port received into the slave receive buffer, lets
// the framer find the requests in it, has each served (SlaveServing.cpp) and
// sends the reply. Driven by the port's receive notifications and its silence
// signal; nothing here waits for bytes.
#include "scan/IoDatabaseService.h"
#include "protocol/AsciiFraming.h"
#include "protocol/MbapFraming.h"
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

Framing Buslink::SlaveFraming() const
{
    if (MSComm2->carriesMbap()) return Framing::Mbap;
    return modBusModeDispatch == SlaveAscii ? Framing::Ascii : Framing::Rtu;
}

ReceiveBuffer& Buslink::SlaveBufferFor(int connection)
{
    if (connection == 0) return slaveReceiveBuffer;
    auto it = connectionBuffers.find(connection);
    if (it == connectionBuffers.end()) {
        it = connectionBuffers.emplace(connection, ReceiveBuffer()).first;
        it->second.redim(slaveReceiveBuffer.lowerBound(), slaveReceiveBuffer.upperBound());
    }
    return it->second;
}

void Buslink::ReceiveSlaveBytes(bool silence)
{
    if (!SlaveServingActive()) return;  // a port closed under us (line lost, host): nothing to do
    // On a listening line the bytes are those of one client, which gets the answers.
    const int connection = MSComm2->currentConnection();
    const Framing framing = SlaveFraming();
    const auto takeWaiting = [this, connection] {
        MSComm2->selectConnection(connection);
        QByteArray arrived;
        while (MSComm2->inBufferCount() > 0) {
            const QByteArray chunk = MSComm2->input();
            if (chunk.isEmpty()) break;
            arrived += chunk;
        }
        return arrived;
    };
    // Keeps what fits and returns how much that was; a silence marks the end of all of it.
    const auto keep = [this, connection](const QByteArray& arrived, int from, bool quiet) {
        ReceiveBuffer& buffer = SlaveBufferFor(connection);
        const int kept = buffer.append(QByteArrayView(arrived).sliced(from));
        if (quiet && from + kept == arrived.size()) buffer.markSilence();
        return kept;
    };
    if (slaveRequestRunning) {
        // A host handler of the event let this notification in: the running pass serves these bytes.
        const QByteArray arrived = takeWaiting();
        const int kept = keep(arrived, 0, silence);
        if (kept < arrived.size()) trace(false, arrived.mid(kept), DroppedBytesVerdict(DroppedBytes::Noise, framing));
        if (connection != 0 && !pendingConnections.contains(connection)) pendingConnections << connection;
        return;
    }
    FlagScope running(slaveRequestRunning);
    for (bool quiet = silence;; quiet = false) {
        const QByteArray arrived = takeWaiting();
        int kept = 0;
        for (;;) {
            kept += keep(arrived, kept, quiet);
            ServeBufferedSlaveFrames(connection);
            // The framer keeps no more than the longest frame, so a full buffer empties; only a
            // buffer that lost its room (the mode changed meanwhile) stops here.
            const ReceiveBuffer& buffer = SlaveBufferFor(connection);
            if (kept == arrived.size() || !SlaveServingActive() || buffer.size() >= buffer.capacity()) break;
        }
        if (kept < arrived.size()) trace(false, arrived.mid(kept), DroppedBytesVerdict(DroppedBytes::Noise, framing));
        // Bytes that came in while a host handler ran raise no notification of their own.
        MSComm2->selectConnection(connection);
        if (!SlaveServingActive() || MSComm2->inBufferCount() == 0) break;
    }
    // Other clients' bytes that came in meanwhile wait in their own buffers.
    while (SlaveServingActive() && !pendingConnections.isEmpty()) {
        const int next = pendingConnections.takeFirst();
        MSComm2->selectConnection(next);
        ServeBufferedSlaveFrames(next);
    }
    pendingConnections.clear();
    // What a port closed meanwhile had delivered belongs to a line that is gone: never join it to later bytes.
    if (!MSComm2->portOpen()) {
        slaveReceiveBuffer.clear();
        connectionBuffers.clear();
    }
}

void Buslink::ServeBufferedSlaveFrames(int connection)
{
    const Framing framing = SlaveFraming();
    if (framing == Framing::Mbap) {
        ServeBufferedMbapFrames(connection);
        return;
    }
    while (SlaveServingActive()) {
        ReceiveBuffer& buffer = SlaveBufferFor(connection);
        // Bytes up to the last silence are settled as they stand; later ones may still grow.
        const int quiet = buffer.silentBytes();
        QByteArrayView view(buffer.bytes());
        if (quiet > 0) view = view.first(quiet);
        const FrameSearch found =
            framing == Framing::Rtu ? FindRtuRequest(view, quiet > 0) : FindAsciiFrame(view, quiet > 0);
        if (found.kind == FrameSearch::Kind::NeedMore) {
            if (quiet == 0) {
                AwaitRestOfSlaveFrame(buffer, framing);
                return;
            }
            buffer.forgetSilence();
            continue;
        }
        const QByteArray dropped = buffer.bytes().left(found.offset);
        const QByteArray frame =
            found.kind == FrameSearch::Kind::Frame ? buffer.bytes().mid(found.offset, found.length) : QByteArray();
        buffer.drop(found.consumed());
        if (!dropped.isEmpty()) DropSlaveBytes(dropped, found.dropped, framing);
        if (!frame.isEmpty() && SlaveServingActive()) ServeSlaveFrame(frame, framing, connection, 0);
    }
}

void Buslink::AwaitRestOfSlaveFrame(const ReceiveBuffer& buffer, Framing framing)
{
    // An RTU request begun: once its header tells the length (most requests are 8
    // bytes, as a lone first byte is taken to start), the line can sleep until the
    // rest is due instead of waking for each character.
    int rest = 0;
    const QByteArray& held = buffer.bytes();
    if (framing == Framing::Rtu && !held.isEmpty()) {
        const int length = held.size() >= 2 ? RtuRequestLength(held) : 8;
        if (length > held.size()) rest = length - int(held.size());
    }
    MSComm2->setAwaitedFrame(rest);
}

void Buslink::ServeBufferedMbapFrames(int connection)
{
    while (SlaveServingActive()) {
        ReceiveBuffer& buffer = SlaveBufferFor(connection);
        const MbapCut cut = CutMbapFrame(buffer.bytes());
        if (cut.status == MbapCut::NeedMore) return;
        if (cut.status == MbapCut::Invalid) {
            // A stream whose header lies cannot be put back in step: the client goes, the others stay.
            trace(false, buffer.bytes(), QStringLiteral("noise (%1): connection from %2 dropped")
                                              .arg(cut.problem, MSComm2->peerOf(connection)));
            buffer.clear();
            connectionBuffers.erase(connection);
            MSComm2->dropConnection(connection);
            return;
        }
        buffer.drop(cut.length);
        ServeSlaveFrame(cut.unitBytes, Framing::Mbap, connection, cut.transactionId);
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

void Buslink::ServeSlaveFrame(const QByteArray& frame, Framing framing, int connection, quint16 transaction)
{
    ReplyError = false;
    SlaveSetup setup{framing, plcType == EnType2, DefaultUnit};
    setup.readOnly = slaveReadOnly;
    const SlaveOutcome outcome = ServeSlaveRequest(frame, setup, IoImage, ioDatabase);
    const QByteArray seen = framing == Framing::Mbap ? MbapFrame(transaction, frame) : frame;
    if (!outcome.checkPassed) {
        // The framers pass only frames whose check holds; this keeps the rule in one place all the same.
        trace(false, seen, DroppedBytesVerdict(DroppedBytes::ChecksumError, framing));
        ReadDone = WriteDone = true;
        ReplyError = true;
    } else {
        trace(false, seen, QStringLiteral("ok"));
        ReadDone = true;
        if (!outcome.reply.isEmpty() && !WriteLock && MSComm2->portOpen()) {
            LastSendTime = WholeSecondClock::nowMilliseconds();
            const QByteArray reply = framing == Framing::Mbap ? MbapFrame(transaction, outcome.reply) : outcome.reply;
            trace(true, reply, QString());
            try {
                // Nested events may have selected another client meanwhile: answer this one.
                MSComm2->selectConnection(connection);
                MSComm2->output(reply);
            } catch (const BuslinkError&) {
                // The line went away while sending: the port service reports it.
            }
        }
    }
    emit CommCompleteEx(ReplyData, outcome.MAdd, outcome.quan, ErrorText, ResponseStatus);
}

void Buslink::setSlaveReadOnly(bool on)
{
    slaveReadOnly = on;
}

void Buslink::setServerLimits(int maxConnections, const QStringList& allowed)
{
    SerialPortService::ServerLimits limits;
    limits.maxConnections = maxConnections;
    limits.allowed = allowed;
    MSComm2->setServerLimits(limits);
}

} // namespace buslink
