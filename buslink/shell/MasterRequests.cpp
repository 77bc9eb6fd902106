// The component's request builders and reply handler: they glue the pure
// request and reply functions to the port, the waits and the transaction flags.
#include "scan/AddressResolution.h"
#include "protocol/MbapFraming.h"
#include "protocol/ReplyHandling.h"
#include "protocol/RequestBuilding.h"
#include "scan/IoDatabaseService.h"
#include "Buslink.h"
#include "base/BuslinkError.h"
#include "base/EventWait.h"
#include "base/WholeSecondClock.h"

namespace buslink {

namespace {

qint64 now() { return WholeSecondClock::nowSeconds(); }
qint64 nowMs() { return WholeSecondClock::nowMilliseconds(); }

Framing readFraming(qint16 mode) { return mode == Ascii || mode == SlaveAscii ? Framing::Ascii : Framing::Rtu; }
Framing writeFraming(qint16 mode) { return mode == Ascii ? Framing::Ascii : Framing::Rtu; }

[[noreturn]] void refuse(const RequestPlan& plan)
{
    throw BuslinkError(ErrInvalidPropertyValue, plan.refusal);
}

void noteLoss(qint16& lostReplies)
{
    lostReplies = lostReplies >= 999 ? 0 : qint16(lostReplies + 1);
}

} // namespace

void Buslink::WaitForLine(qint64 deadlineMs)
{
    // Block until the next event, but wake in time to notice the deadline.
    const qint64 left = deadlineMs - WholeSecondClock::nowMilliseconds();
    LetPendingEventsRun(int(qBound(qint64(1), left, qint64(100))));
}

void Buslink::ArmPort()
{
    MSComm2->setInBufferCount(0);  // a late answer to an earlier request must not be taken for this one
    replyBuffer.clear();
    strayNote.clear();
    lastExceptionCode = 0;
    SetResult(Outcome::None, QString());
    // Notified as soon as an exception answer could be complete, which is shorter than any
    // normal answer; the line sleeps until the whole normal answer can be there.
    MSComm2->setRThreshold(qMin(ExpectedReplyLength, ExceptionFrameLength(ReadFraming())));
    MSComm2->setAwaitedFrame(ExpectedReplyLength);
    MSComm2->setInputLen(ExpectedReplyLength);
}

Framing Buslink::ReadFraming() const
{
    return MSComm2->carriesMbap() ? Framing::Mbap : readFraming(modBusModeBuild);
}

Framing Buslink::WriteFraming() const
{
    return MSComm2->carriesMbap() ? Framing::Mbap : writeFraming(modBusModeBuild);
}

void Buslink::SendRequest(const QByteArray& line, const QByteArray& bytes)
{
    lastRequest = bytes;
    ++requestSerial;
    // Modbus TCP: each request gets the next transaction id, which its answer repeats.
    if (MSComm2->carriesMbap()) {
        ++transactionId;
        SendFrame(MbapFrame(transactionId, line));
        return;
    }
    SendFrame(line);
}

void Buslink::SendFrame(const QByteArray& frame)
{
    MSComm2->output(frame);
    if (frameTrace) trace(true, frame, QString());
}

void Buslink::RememberRequest(const RequestPlan& plan)
{
    context.FunctionCode = plan.FunctionCode;
    context.StartOffset = plan.StartOffset;
    context.AddressRange = plan.AddressRange;
    context.SixDigitForm = plan.SixDigitForm;
    if (plcType == EnType2) context.PointKind = plan.PointKind;
}

bool Buslink::BuildReadRequest(qint16 unit, const QVariant& address, qint16 quantity)
{
    RawMode = false;
    if (WriteLock) return false;
    if (!WriteDone) {
        const qint64 start = now();
        LetPendingEventsRun();
        if (now() - start > 2) WriteDone = true;
    }
    if (!ReadDone) {
        const qint64 start = now();
        LetPendingEventsRun();
        if (now() - start > 2) {
            ReadDone = true;
            noteLoss(LostReplies);
        }
    }

    const RequestPlan plan = PlanRequest(plcType, RequestKind::Read, address, quantity);
    if (!plan.ok) refuse(plan);
    RememberRequest(plan);
    // Bit replies report the quantity asked for, in either PLC type.
    if (plan.FunctionCode <= 2) context.RequestedQuantity = quantity;

    const Framing framing = ReadFraming();
    const RequestFrame frame = ReadRequestFrame(framing, unit, plan);
    ExpectedReplyLength = LineLength(framing, plan.expectedReplyLength);
    ArmPort();
    ReadDone = false;
    LastSendTime = nowMs();
    try {
        SendRequest(frame.line, frame.bytes);
    } catch (...) {
        ReadDone = true;  // nothing went out, so nothing is awaited
        throw;
    }
    context.LastUnit = unit;
    context.LastAddress = address;
    return true;
}

bool Buslink::BuildSingleWrite(qint16 unit, const QVariant& address, qint32 value)
{
    RawMode = false;
    const RequestPlan plan = PlanRequest(plcType, RequestKind::SingleWrite, address, 1);
    if (!plan.ok) refuse(plan);
    SendWrite(unit, plan, [&](Framing framing) { return SingleWriteFrame(framing, unit, plan, value); });
    return true;
}

bool Buslink::BuildMultipleWrite(qint16 unit, const QVariant& address, VariantArray& values, qint16 n)
{
    RawMode = false;
    std::vector<qint32> words;
    const RequestPlan plan = PlanMultipleWrite(plcType, address, LastValueType, values, n, words);
    if (!plan.ok) refuse(plan);
    SendWrite(unit, plan, [&](Framing framing) { return MultipleWriteFrame(framing, unit, plan, words); });
    return true;
}

void Buslink::SendWrite(qint16 unit, const RequestPlan& plan, const std::function<RequestFrame(Framing)>& frameFor)
{
    // A read still awaited gets a second at most, then the line is taken as free.
    const qint64 start = now();
    while (!ReadDone) {
        LetPendingEventsRun();
        if (now() - start > 1) ReadDone = true;
    }
    RememberRequest(plan);

    const Framing framing = WriteFraming();
    const RequestFrame frame = frameFor(framing);
    ExpectedReplyLength = LineLength(framing, plan.expectedReplyLength);
    // So does the write before this one.
    const qint64 waitStart = now();
    while (!WriteDone) {
        LetPendingEventsRun();
        if (now() - waitStart > 1) WriteDone = true;
    }
    ArmPort();
    // A broadcast (unit 0) is answered by nobody: nothing is awaited.
    if (unit != 0) {
        WriteDone = false;
        LastSendTime = nowMs();
    }
    try {
        SendRequest(frame.line, unit != 0 ? frame.bytes : QByteArray());
    } catch (...) {
        WriteDone = true;
        throw;
    }
}

void Buslink::HandleMasterReply()
{
    CollectReply();
}

void Buslink::CollectReply()
{
    while (MSComm2->portOpen() && MSComm2->inBufferCount() > 0) {
        const QByteArray chunk = MSComm2->input();
        if (chunk.isEmpty()) break;
        replyBuffer += chunk;
    }
    if (replyBuffer.isEmpty()) return;
    if (lastRequest.isEmpty()) {
        // Nothing awaits an answer (answered already, or a broadcast): these bytes answer nothing.
        if (frameTrace) trace(false, replyBuffer, QStringLiteral("unexpected unit/function"));
        replyBuffer.clear();
        return;
    }

    const Framing framing = ReadFraming();
    const FoundReply found =
        FindReply(replyBuffer, ReplyExpectation{framing, lastRequest, ExpectedReplyLength, transactionId});
    if (found.skipped > 0) {
        const int rtuLength = RtuLengthOf(framing, ExpectedReplyLength);
        const QString why = DescribeStrayFrame(found.stray, lastRequest, rtuLength);
        if (!why.isEmpty()) strayNote = why;
        if (frameTrace) trace(false, replyBuffer.left(found.skipped), why.isEmpty() ? QStringLiteral("noise") : why);
        replyBuffer.remove(0, found.skipped);
    }
    if (found.verdict == ReplyVerdict::Incomplete) {
        MSComm2->setRThreshold(found.bytesNeeded);  // notified again once the rest could be here
        MSComm2->setAwaitedFrame(found.bytesNeeded);
        return;
    }
    MSComm2->setAwaitedFrame(0);

    // An answer: it ends the transaction; bytes after it are no part of it.
    const QByteArray frame = frameTrace ? replyBuffer.left(found.length) : QByteArray();
    replyBuffer.clear();
    const int unit = quint8(lastRequest[0]);
    const int requestFunction = quint8(lastRequest[1]);
    lastRequest.clear();
    answeredSerial = requestSerial;
    ReplyError = false;
    ResponseStatus = -1;
    ErrorText.clear();

    switch (found.verdict) {
    case ReplyVerdict::ChecksumError:
        if (framing == Framing::Rtu) {
            ErrorText = QStringLiteral("CRC error");
            ResponseStatus = 245;
        }
        ReadDone = WriteDone = true;
        ReplyError = true;
        SetResult(Outcome::ChecksumError, QStringLiteral("checksum error (%1) in the reply from unit %2")
                                              .arg(framing == Framing::Rtu ? QStringLiteral("CRC") : QStringLiteral("LRC"))
                                              .arg(unit));
        if (frameTrace) trace(false, frame, framing == Framing::Rtu ? QStringLiteral("CRC error") : QStringLiteral("LRC error"));
        return;
    case ReplyVerdict::Exception:
        lastExceptionCode = qint16(found.exceptionCode);
        ReadDone = WriteDone = true;
        ReplyError = true;
        SetResult(Outcome::Exception,
                  QStringLiteral("exception %1: %2").arg(found.exceptionCode).arg(ExceptionText(found.exceptionCode)),
                  found.exceptionCode);
        if (frameTrace)
            trace(false, frame, QStringLiteral("exception %1 (%2)").arg(found.exceptionCode).arg(ExceptionText(found.exceptionCode)));
        return;
    default:
        break;
    }
    if (frameTrace) trace(false, frame, QStringLiteral("ok"));
    if (requestFunction == 5 || requestFunction == 6 || requestFunction == 15 || requestFunction == 16) {
        SetResult(Outcome::Answered, QString());
        WriteDone = true;
        return;
    }

    DecodeContext decode;
    decode.plcType = plcType;
    decode.StartOffset = context.StartOffset;
    decode.SixDigitForm = context.SixDigitForm;
    decode.PointKind = context.PointKind;
    decode.RequestedQuantity = context.RequestedQuantity;
    decode.LastValueType = LastValueType;
    DecodedReply decoded;
    try {
        decoded = DecodeReadReply(found.bytes, decode, ReplyData);
    } catch (const BuslinkError&) {
        // A value with no representation (a float pattern of exponent 255): the read fails now.
        ReadDone = WriteDone = true;
        ReplyError = true;
        SetResult(Outcome::BadReply, QStringLiteral("the reply from unit %1 holds a value that cannot be represented").arg(unit));
        return;
    }
    SetResult(Outcome::Answered, QString());
    ReadDone = true;
    ReplyKey = decoded.key;
    ioDatabase->update(ReplyKey, ReplyData, decoded.count);
    if (!ScanReply) emit CommCompleteEx(ReplyData, decoded.MAdd, qint16(decoded.count), ErrorText, ResponseStatus);
    ScanReply = false;
}

void Buslink::MasterEndOfBurst()
{
    // The line went quiet: bytes still waiting for the rest of an answer are a fragment
    // that nothing will complete. Dropping them keeps them from being joined to the
    // next frame; the transaction still waits for its time-out.
    CollectReply();
    if (replyBuffer.isEmpty()) return;
    if (!lastRequest.isEmpty())
        strayNote = QStringLiteral("reply too short: %1 of %2 %3 from unit %4")
                        .arg(replyBuffer.size())
                        .arg(ExpectedReplyLength)
                        .arg(modBusModeBuild == Ascii ? QStringLiteral("characters") : QStringLiteral("bytes"))
                        .arg(quint8(lastRequest[0]));
    if (frameTrace) trace(false, replyBuffer, QStringLiteral("incomplete"));
    replyBuffer.clear();
}

void Buslink::TraceIncompleteReply()
{
    if (!frameTrace) return;
    if (MSComm2->portOpen() && !RawMode && modBusModeDispatch != SlaveRtu && modBusModeDispatch != SlaveAscii)
        CollectReply();
    if (!replyBuffer.isEmpty()) trace(false, replyBuffer, QStringLiteral("incomplete"));
}

} // namespace buslink
