// The read scan (Timer2) polls the scan route; the write queue (Timer3) performs
// the writes the I/O database service has queued.
#include "scan/IoDatabaseService.h"
#include "scan/ScanRoute.h"
#include "Buslink.h"
#include "base/EventWait.h"
#include "base/FlagScope.h"
#include "base/WholeSecondClock.h"

#include <limits>

namespace buslink {

namespace {

// ElapsedMs is 16 bits wide: it stops at its largest value instead of wrapping
// round to a negative count that would hold the entry back for a long time.
qint16 AddSaturating(qint16 elapsed, qint64 ms)
{
    const qint64 sum = qint64(elapsed) + ms;
    if (sum > std::numeric_limits<qint16>::max()) return std::numeric_limits<qint16>::max();
    if (sum < std::numeric_limits<qint16>::min()) return std::numeric_limits<qint16>::min();
    return qint16(sum);
}

} // namespace

void Buslink::ReadScanTick()
{
    if (WriteActive) return;
    if (hostInterface->designMode() || !scanReadEnable || NoScanDatabase()) return;
    if (!MSComm2->portOpen() && !(MSComm2->isLineLost() && MSComm2->reopen())) return;
    // A poll whose answer is overdue is given up here, whether or not a watchdog runs,
    // so one silent unit never stops the route.
    if ((!ReadDone || !WriteDone) && !WriteLock && ScanReply && ReplyOverdue()) AbandonLostPoll();
    if (CommBusy().toBool()) return;
    // One pass at a time: a tick that comes while a pass waits for the line is skipped.
    if (readScanPassRunning) return;
    FlagScope pass(readScanPassRunning);

    const int count = ScanEntryCount();
    for (int i = 1; i <= count; ++i) {
        if (WriteLock) return;
        ScanEntry& entry = ScanRoute()[i];
        if (!entry.Active) continue;
        ElapsedMs[i] = AddSaturating(ElapsedMs[i], Timer2.interval());
        if (ElapsedMs[i] < entry.ScanRate) continue;

        // Wait for the line; a transaction that blocks it for the reply time-out is given up.
        const qint64 start = WholeSecondClock::nowMilliseconds();
        while (CommBusy().toBool()) {
            if (WholeSecondClock::nowMilliseconds() - start >= ReplyTimeout()) {
                AbandonLostPoll();
                setCommBusy(false);
                break;
            }
            WaitForLine(start + ReplyTimeout());
        }
        if (WriteLock) return;

        // The route may have been reloaded while the pass waited: take the entry afresh.
        const ScanEntry& poll = ScanRoute()[i];
        const qint16 unit = poll.Unit == -1 ? DefaultUnit : poll.Unit;
        ScanReply = true;
        bool sent = false;
        try {
            sent = BuildReadRequest(unit, poll.StartReg, poll.Quantity);
        } catch (...) {
            sent = false;
        }
        // The mark belongs to a poll that went out; a host read after this is no scan poll.
        if (!sent) ScanReply = false;
        ElapsedMs[i] = 0;
    }
}

void Buslink::AbandonLostPoll()
{
    TraceIncompleteReply();
    RecordNoAnswer();
    LostUnit = context.LastUnit;
    LostReplies = LostReplies >= 999 ? 0 : qint16(LostReplies + 1);
    ++repliesLostTotal;
    ReadDone = WriteDone = true;
    ReadWaiting = false;
    ScanReply = false;  // a poll given up is no longer awaited
}

void Buslink::WriteQueueTick()
{
    FlagScope active(WriteActive);
    WriteQueData();
}

void Buslink::WriteQueData()
{
    if (!MSComm2->portOpen() && !(MSComm2->isLineLost() && MSComm2->reopen())) return;  // queued writes wait for the line
    QVariant address, value;
    qint16 size = 0;
    qint16 ioType = 0;
    if (ioDatabase->nextQueuedWrite(address, value, size, ioType) != -1) return;

    FlagScope active(WriteActive);
    FlagScope lock(WriteLock);
    // A queued value list goes as an array indexed from 1, anything else as one value.
    if (value.typeId() == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        VariantArray values(1, int(list.size()));
        for (int i = 0; i < list.size(); ++i) values[i + 1] = list[i];
        WritePLC(address, values, size, ioType);
    } else {
        WritePLC(address, value, size, ioType);
    }
}

void Buslink::ReadScanDatabase()
{
    FlagScope active(WriteActive);
    LoadScanRoute();
}

void Buslink::SetScanRegGroup(qint16 ScanRegGroup, bool state)
{
    BoundedArray<ScanEntry>& route = ScanRoute();
    for (int i = 1; i <= ScanEntryCount(); ++i)
        if (route[i].ScanRegGroup == ScanRegGroup) route[i].Active = state;
}

} // namespace buslink
