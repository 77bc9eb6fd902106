// The public face of the master: blocking reads and writes, the no-wait read,
// the reply watchdog. One transaction at a time per instance, guarded only by
// the transaction flags; every wait lets pending events run.
#include "scan/AddressResolution.h"
#include "protocol/RequestBuilding.h"
#include "conversions/NumericConversions.h"
#include "scan/IoDatabaseService.h"
#include "Buslink.h"
#include "base/BuslinkError.h"
#include "base/VariantAssign.h"
#include "base/WholeSecondClock.h"

#include <cmath>

namespace buslink {

namespace {

qint64 nowMs() { return WholeSecondClock::nowMilliseconds(); }

// One signed value of a read handed to the caller. A value that cannot be stored
// is skipped; the rest are stored.
void StoreSignedValue(QVariant& target, const QVariant& value)
{
    try {
        target = QVariant(LongToSIgnedInt(value));
    } catch (const BuslinkError&) {
    }
}

double numberOf(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) return 0.0;
    if (v.typeId() == QMetaType::Int) return qvariant_cast<int>(v);  // the usual case, without conversion
    bool ok = false;
    const double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
    if (!ok || !std::isfinite(d)) throw BuslinkError(ErrTypeMismatch, QStringLiteral("Type mismatch"));
    return d;
}

qint32 int32Of(const QVariant& v)
{
    const double r = std::nearbyint(numberOf(v));
    if (r < -2147483648.0 || r > 2147483647.0) throw BuslinkError(ErrOverflow, QStringLiteral("Overflow"));
    return qint32(r);
}

qint16 int16Of(const QVariant& v)
{
    const double r = std::nearbyint(numberOf(v));
    if (r < -32768.0 || r > 32767.0) throw BuslinkError(ErrOverflow, QStringLiteral("Overflow"));
    return qint16(r);
}

} // namespace

bool Buslink::ResolveAddress(const QVariant& address, qint16& unit, QVariant& reference) const
{
    qint16 named = -1;
    if (!ResolveAddressForm(address, reference, named)) return false;
    unit = named == -1 ? DefaultUnit : named;
    return true;
}

// ---- Reads --------------------------------------------------------------------------

qint16 Buslink::ReadPLC(const QVariant& Address, VariantArray& ReadValue, QVariant& ReadSize, qint16& ioType)
{
    return ReadPLCWith(Address, &ReadValue, nullptr, ReadSize, ioType);
}

qint16 Buslink::ReadPLC(const QVariant& Address, QVariant& ReadValue, QVariant& ReadSize, qint16& ioType)
{
    return ReadPLCWith(Address, nullptr, &ReadValue, ReadSize, ioType);
}

qint16 Buslink::ReadPLC(const QVariant& Address, VariantArray& ReadValue, QVariant& ReadSize)
{
    return ReadPLCWith(Address, &ReadValue, nullptr, ReadSize, ioWord);
}

qint16 Buslink::ReadPLCWith(const QVariant& Address, VariantArray* arrayValue, QVariant* singleValue,
                            QVariant& ReadSize, qint16 ioType)
{
    try {
        qint32 size = ReadSize.isValid() && !ReadSize.isNull() ? int32Of(ReadSize) : 1;
        LastValueType = ioType;
        if (ioType == ioFloat || ioType == ioDFloat) {
            size = qint32(qBound(qint64(-2147483647), qint64(size) * 2, qint64(2147483647)));
            ReadSize = size;
        }
        qint16 unit = 0;
        QVariant reference;
        if (!ResolveAddress(Address, unit, reference)) {
            SetResult(Outcome::Refused, QStringLiteral("address not resolved: \"%1\"").arg(Address.toString()));
            return 0;
        }
        // A request that could not be sent is refused before the line is waited for.
        const RequestPlan plan = PlanRequest(plcType, RequestKind::Read, reference, size);
        if (!plan.ok) {
            SetResult(Outcome::Refused, plan.refusal);
            return 0;
        }
        if (CommBusy().toBool()) {
            SetResult(Outcome::Busy, QStringLiteral("the line is busy with another transaction"));
            return 966;
        }
        if (!EnsureLine()) return 0;
        return ReadAndWait(unit, reference, qint16(size), arrayValue, singleValue, ioType) ? -1 : 0;
    } catch (const BuslinkError& e) {
        SetResult(Outcome::Refused, e.text());
        return 0;
    } catch (...) {
        SetResult(Outcome::Refused, QStringLiteral("the request could not be sent"));
        return 0;
    }
}

template <typename Done>
bool Buslink::WaitUpToReplyTimeout(Done done)
{
    if (done()) return true;
    const qint64 start = nowMs();
    while (!done()) {
        if (nowMs() - start >= replyTimeoutMs) return false;
        WaitForLine(start + replyTimeoutMs);
    }
    return true;
}

bool Buslink::AwaitAnswer()
{
    while (!ReadDone || !WriteDone) {
        if (ReplyOverdue()) return false;
        WaitForLine(LastSendTime + replyTimeoutMs);
    }
    return true;
}

void Buslink::RecordWaitEndedEarly()
{
    // The watchdog may have given the reply up just before this wait would have.
    if (ReplyOverdue()) RecordNoAnswer();
    else SetResult(Outcome::NoReply, QStringLiteral("the wait ended before an answer came"));
}

bool Buslink::ReplyOverdue() const
{
    return nowMs() - LastSendTime >= replyTimeoutMs;
}

void Buslink::SetResult(Outcome outcome, const QString& text, int exceptionCode)
{
    lastResult.outcome = outcome;
    lastResult.text = text;
    lastResult.exceptionCode = exceptionCode;
}

void Buslink::RecordNoAnswer()
{
    const int unit = lastRequest.isEmpty() ? int(context.LastUnit) : quint8(lastRequest[0]);
    if (MSComm2->isLineLost()) {
        SetResult(Outcome::LineLost, QStringLiteral("line lost: %1").arg(MSComm2->lineLostReason()));
        return;
    }
    // What is left in the buffer is at most the start of the answer.
    if (!replyBuffer.isEmpty() && !lastRequest.isEmpty()) {
        SetResult(Outcome::BadReply, QStringLiteral("reply too short: %1 of %2 %3 from unit %4")
                                         .arg(replyBuffer.size())
                                         .arg(ExpectedReplyLength)
                                         .arg(modBusModeBuild == Ascii ? QStringLiteral("characters") : QStringLiteral("bytes"))
                                         .arg(unit));
        return;
    }
    if (!strayNote.isEmpty()) {
        const bool other = strayNote.startsWith(QLatin1String("reply from")) || strayNote.startsWith(QLatin1String("reply for"));
        SetResult(other ? Outcome::OtherUnitOrFunction : Outcome::BadReply, strayNote);
        return;
    }
    SetResult(Outcome::NoReply, QStringLiteral("no reply from unit %1 within %2 ms").arg(unit).arg(replyTimeoutMs));
}

bool Buslink::EnsureLine()
{
    if (MSComm2->portOpen()) return true;
    if (MSComm2->isLineLost()) {
        if (MSComm2->reopen()) return true;
        SetResult(Outcome::LineLost, QStringLiteral("line lost: %1").arg(MSComm2->lineLostReason()));
        return false;
    }
    SetResult(Outcome::LineLost, QStringLiteral("the port is not open (%1)").arg(MSComm2->devicePath()));
    return false;
}

void Buslink::OnLineLost(const QString& reason)
{
    // An answer awaited now will never come: the transaction ends at once.
    if (!lastRequest.isEmpty() || !ReadDone || !WriteDone) {
        if (frameTrace && !replyBuffer.isEmpty()) trace(false, replyBuffer, QStringLiteral("incomplete"));
        replyBuffer.clear();
        lastRequest.clear();
        ReadDone = WriteDone = true;
        ReplyError = true;
        ScanReply = false;
        SetResult(Outcome::LineLost, QStringLiteral("line lost: %1").arg(reason));
    }
    if (isSlaveModeNow()) reopenTimer.start();
    emit LineLost(reason);
}

bool Buslink::ReadAndWait(qint16 unit, const QVariant& reference, qint16 q, VariantArray* arrayValue,
                          QVariant* singleValue, qint16 ioType)
{
    if (WriteLock) return false;
    ReadWaiting = true;

    // Wait for the line: first for a write to finish, then (even when that ran out) for both replies.
    bool ranOut = !WaitUpToReplyTimeout([this] { return WriteDone && !WriteLock; });
    if (!WaitUpToReplyTimeout([this] { return ReadDone && WriteDone; })) ranOut = true;
    if (ranOut) {
        ReadWaiting = false;
        ReadDone = true;  // the line is taken as free
    }

    try {
        ScanReply = false;  // the host's read: a scan poll still marked as awaited was lost
        if (!BuildReadRequest(unit, reference, q)) {
            if (lastResult.outcome == Outcome::None || WriteLock)
                SetResult(Outcome::Busy, QStringLiteral("a write holds the line"));
            ReadWaiting = false;
            return false;
        }
    } catch (const BuslinkError& e) {
        SetResult(MSComm2->isLineLost() ? Outcome::LineLost : Outcome::Refused, e.text());
        ReadWaiting = false;
        return false;
    } catch (...) {
        ReadWaiting = false;
        return false;
    }

    // Wait for the reply. Only the answer to this request makes it a success: a wait
    // ended by the host (CommBusy = false) or by the watchdog carries no values.
    const quint32 request = requestSerial;
    const bool overdue = !AwaitAnswer();
    bool ok = false;
    if (overdue) {
        TraceIncompleteReply();
        RecordNoAnswer();
    } else if (answeredSerial != request && !ReplyError) {
        RecordWaitEndedEarly();
    } else if (!ReplyError && answeredSerial == request) {
        ok = true;
        // A plain variable receives the first value whatever the type; an array the
        // values its bounds hold.
        const int count = q > 1 && ioType == ioFloat ? int(std::nearbyint(q / 2.0)) : q > 1 ? q : 1;
        const int last = qMin(count, ReplyData.upperBound());
        if (arrayValue) {
            const int to = qMin(last, arrayValue->upperBound());
            if (ioType == ioSignedWord) {
                for (int i = qMax(1, arrayValue->lowerBound()); i <= to; ++i) StoreSignedValue((*arrayValue)[i], ReplyData[i]);
            } else {
                for (int i = qMax(1, arrayValue->lowerBound()); i <= to; ++i) AssignVariant((*arrayValue)[i], ReplyData[i]);
            }
        } else if (singleValue && last >= 1) {
            if (ioType == ioSignedWord) StoreSignedValue(*singleValue, ReplyData[1]);
            else AssignVariant(*singleValue, ReplyData[1]);
        }
    }
    ReadWaiting = false;
    return ok;
}

qint16 Buslink::ReadPLCNW(const QVariant& Address, QVariant& ReadSize)
{
    try {
        const qint16 size = ReadSize.isValid() && !ReadSize.isNull() ? int16Of(ReadSize) : qint16(1);
        qint16 unit = 0;
        QVariant reference;
        if (!ResolveAddress(Address, unit, reference)) {
            SetResult(Outcome::Refused, QStringLiteral("address not resolved: \"%1\"").arg(Address.toString()));
            return 0;
        }
        if (!EnsureLine()) return 0;
        ScanReply = false;  // as in ReadPLC: this reply is the host's
        return BuildReadRequest(unit, reference, size) ? -1 : 0;
    } catch (const BuslinkError& e) {
        SetResult(Outcome::Refused, e.text());
        return 0;
    } catch (...) {
        return 0;
    }
}

qint16 Buslink::ReadPLCValue(const QVariant& Address, QVariant& ResponseValue, qint16& NumOfRegs, qint16& ioType,
                             qint32& IOIdx)
{
    return ioDatabase->readValue(Address, ResponseValue, NumOfRegs, ioType, IOIdx);
}

// ---- Writes -------------------------------------------------------------------------

qint16 Buslink::WritePLC(const QVariant& pstr, VariantArray& ABValue, qint16& ReadSize, qint16& ioType)
{
    return WritePLCWith(pstr, &ABValue, nullptr, ReadSize, ioType);
}

qint16 Buslink::WritePLC(const QVariant& pstr, QVariant& ABValue, qint16& ReadSize, qint16& ioType)
{
    return WritePLCWith(pstr, nullptr, &ABValue, ReadSize, ioType);
}

qint16 Buslink::WritePLC(const QVariant& pstr, QVariant& ABValue, qint16& ReadSize)
{
    return WritePLCWith(pstr, nullptr, &ABValue, ReadSize, ioWord);
}

qint16 Buslink::WritePLCWith(const QVariant& pstr, VariantArray* arrayValue, QVariant* singleValue, qint16& ReadSize,
                             qint16 ioType)
{
    WriteActive = true;
    WriteLock = true;
    qint16 result = 0;
    try {
        if (ReadSize == 0) ReadSize = 1;
        qint16 unit = 0;
        QVariant reference;
        const bool resolved = ResolveAddress(pstr, unit, reference);
        if (!resolved) SetResult(Outcome::Refused, QStringLiteral("address not resolved: \"%1\"").arg(pstr.toString()));
        if (resolved && EnsureLine()) {
            LastValueType = ioType;
            if (ioType == ioFloat) {
                // Integer part to the reference, the fraction x 10000 to the next one. Only the first
                // value is written, and the second write goes out only when the first succeeded.
                const double value = numberOf(arrayValue ? (*arrayValue)[1] : *singleValue);
                const double hi = std::floor(value);
                const double lo = std::nearbyint((value - hi) * 10000.0);
                const QVariant high = qint64(hi), low = qint64(lo);
                qint32 A = 0;
                bool six = false;
                if (!ReferenceNumber(reference, A, six))
                    SetResult(Outcome::Refused, QStringLiteral("\"%1\" is not a reference number").arg(reference.toString()));
                else if (WriteAndWait(unit, reference, nullptr, &high, 1, ioType)
                    && WriteAndWait(unit, QVariant(qint64(A) + 1), nullptr, &low, 1, ioType))
                    result = -1;
            } else {
                if (ioType == ioSignedWord) {
                    const auto rewrite = [](QVariant& v) {
                        try {
                            v = buslink::SignedIntToLong(v);
                        } catch (const BuslinkError&) {
                        }
                    };
                    if (ReadSize < 2 || !arrayValue) {
                        if (arrayValue) {
                            if (arrayValue->hasIndex(1)) rewrite((*arrayValue)[1]);
                        } else {
                            rewrite(*singleValue);
                        }
                    } else {
                        for (int i = 1; i <= ReadSize && arrayValue->hasIndex(i); ++i) rewrite((*arrayValue)[i]);
                    }
                }
                const qint16 n = ReadSize;
                ReadSize = qint16(WriteCount(plcType, reference, n));
                result = WriteAndWait(unit, reference, arrayValue, singleValue, n, ioType) ? -1 : 0;
            }
        }
    } catch (const BuslinkError& e) {
        SetResult(Outcome::Refused, e.text());
        result = 0;
    } catch (...) {
        SetResult(Outcome::Refused, QStringLiteral("the request could not be sent"));
        result = 0;
    }
    WriteLock = false;
    WriteActive = false;
    return result;
}

bool Buslink::WriteAndWait(qint16 unit, const QVariant& reference, const VariantArray* arrayValue,
                           const QVariant* singleValue, qint16 n, qint16 ioType)
{
    WriteLock = true;
    // Only a transaction still awaited makes the write wait (a read merely waiting for
    // the line does not); while it waits, it waits for that read to give up the line too.
    if ((!ReadDone || !WriteDone) && !WaitUpToReplyTimeout([this] { return ReadDone && WriteDone && !ReadWaiting; })) {
        ReadDone = WriteDone = true;
        ReadWaiting = false;
    }

    // The working copy: the caller's values 1..n, all of which must be there.
    if (n < 1 || n > kMaxWriteValues || (!arrayValue && n > 1)) {
        SetResult(Outcome::Refused, n < 1 || n > kMaxWriteValues
                                        ? QStringLiteral("count out of range: %1 values, 1 to %2 allowed").arg(n).arg(kMaxWriteValues)
                                        : QStringLiteral("%1 values to write but only one given").arg(n));
        WriteLock = false;
        return false;
    }
    VariantArray work(0, n);
    if (arrayValue) {
        for (int i = 1; i <= n; ++i) {
            if (!arrayValue->hasIndex(i)) {
                SetResult(Outcome::Refused, QStringLiteral("%1 values to write but the array has no element %2").arg(n).arg(i));
                WriteLock = false;
                return false;
            }
            work[i] = (*arrayValue)[i];
        }
    } else {
        work[1] = *singleValue;
    }

    const int count = WriteCount(plcType, reference, n);
    try {
        if (UsesMultipleWrite(ioType, count)) BuildMultipleWrite(unit, reference, work, qint16(count));
        else BuildSingleWrite(unit, reference, int32Of(work[1]));
    } catch (const BuslinkError& e) {
        SetResult(MSComm2->isLineLost() ? Outcome::LineLost : Outcome::Refused, e.text());
        WriteLock = false;
        return false;
    } catch (...) {
        SetResult(Outcome::Refused, QStringLiteral("the request could not be sent"));
        WriteLock = false;
        return false;
    }
    if (unit == 0) {  // broadcast: no reply is awaited
        SetResult(Outcome::Answered, QString());
        WriteLock = false;
        return true;
    }
    const quint32 request = requestSerial;

    const bool overdue = !AwaitAnswer();
    if (overdue) {
        TraceIncompleteReply();
        RecordNoAnswer();
        ReadDone = WriteDone = true;
        ReadWaiting = false;
        WriteLock = false;
        return false;
    }
    if (answeredSerial != request && !ReplyError) RecordWaitEndedEarly();
    WriteLock = false;
    return !ReplyError && answeredSerial == request;
}

// ---- Reply watchdog -----------------------------------------------------------------------

void Buslink::WatchdogTick()
{
    if (LostReplies > 4) {
        LostReplies = 0;
        ioDatabase->updateLost(LostUnit, 66, 1, 1, 9666);
        VariantArray MData(0, 10);
        MData[1] = context.LastUnit;
        qint32 MAdd = 0;
        try {
            MAdd = int32Of(context.LastAddress);
        } catch (const BuslinkError&) {
        }
        emit CommCompleteEx(MData, MAdd, 1, QStringLiteral("Read error"), 0);
    }
    if ((!ReadDone || !WriteDone) && ReplyOverdue()) {
        TraceIncompleteReply();
        RecordNoAnswer();
        LostUnit = context.LastUnit;
        LostReplies = LostReplies >= 999 ? 0 : qint16(LostReplies + 1);
        ++repliesLostTotal;
        ScanReply = false;
        ReadDone = WriteDone = true;
        ReadWaiting = false;
        LastSendTime = nowMs();
    }
}

} // namespace buslink
