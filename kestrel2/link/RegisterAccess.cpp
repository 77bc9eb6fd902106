#include "RegisterAccess.h"

#include "link/ConnectionWindow.h"
#include "link/Safely.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"
#include "shell/Buslink.h"
#include "base/EventWait.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QThread>
#include <cmath>
#include <exception>

namespace kestrel2 {

bool ReadOk = false;
bool WriteOk = false;
buslink::IntArray RegValues;

namespace {

const QString DisruptedQuestion = QStringLiteral("Communication disrupted.  Do you want to retry?");
const QString RetryFailedMessage = QStringLiteral("Retry not successful.  Double check connections and retry.");

int transactionDepth = 0;
// How an attempt ended, as far as the caller of the register access needs to know.
struct AttemptEnd {
    buslink::Outcome outcome = buslink::Outcome::Answered;
    qint16 exceptionCode = 0;
};
AttemptEnd lastAttempt;

struct TransactionScope {
    TransactionScope() { ++transactionDepth; }
    ~TransactionScope() { --transactionDepth; }
};

// The retry count of the connection window: a whole number, rounded half to even.
int RetryCount()
{
    bool ok = false;
    const double value = ConnectionWindow().TxtNumberofretries()->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) return 0;
    return int(qBound(0.0, std::nearbyint(value), 32767.0));
}

double DelayTime()
{
    bool ok = false;
    const double value = ConnectionWindow().txtDelayTime()->text().trimmed().toDouble(&ok);
    return ok ? value : 0.0;
}

bool Busy(buslink::Buslink& link)
{
    bool busy = false;
    Safely([&] { busy = link.CommBusy().toBool(); });
    return busy;
}

void ResetAfterRead(buslink::Buslink& link)
{
    Safely([&] { link.setCommBusy(false); });
    Safely([&] { link.ClearCommPort(); });
    Safely([&] { link.Refresh(); });
    Safely([&] { link.setCommBusy(false); });
}

void ResetAfterWrite(buslink::Buslink& link)
{
    Safely([&] { link.ClearCommPort(); });
    Safely([&] { link.Refresh(); });
    Safely([&] { link.setCommBusy(false); });
}

qint16 ReadAttempt(buslink::Buslink& link, const QVariant& address, buslink::VariantArray& values, int count)
{
    qint16 status = 0;
    Safely([&] { link.ClearCommPort(); });
    Safely([&] {
        QVariant size(count);
        status = link.ReadPLC(address, values, size);
    });
    return status;
}

qint16 WriteAttempt(buslink::Buslink& link, const QVariant& address, const QVariant& values, qint16& count)
{
    qint16 status = 0;
    Safely([&] { link.ClearCommPort(); });
    Safely([&] {
        QVariant value = values;
        status = link.WritePLC(address, value, count);
    });
    return status;
}

void KeepValues(const buslink::VariantArray& values, int count)
{
    buslink::IntArray kept(1, count);
    for (int i = 1; i <= count; ++i) kept[i] = values[i].toInt();
    RegValues = kept;
}

// How the attempt just made ended. A closed port sent nothing, so an exception the
// component still remembers is not this attempt's.
AttemptEnd EndOfAttempt(buslink::Buslink& link, qint16 status)
{
    AttemptEnd end;
    if (status == -1) return end;
    Safely([&] {
        end.outcome = link.LastResult().outcome;
        end.exceptionCode = link.port().portOpen() ? link.LastExceptionCode() : qint16(0);
    });
    return end;
}

// One attempt: wait for the line (resetting it when it stays busy), try, then
// pause for the connection window's delay. True when the attempt succeeded;
// `end` says how it ended.
bool Attempt(buslink::Buslink& link, void (*reset)(buslink::Buslink&), const std::function<qint16()>& attempt,
             AttemptEnd& end)
{
    BusyWait([&] { return Busy(link); }, [&] { reset(link); });
    const qint16 status = attempt();
    end = EndOfAttempt(link, status);
    Pause(DelayTime());
    return status == -1;
}

// The retry rule of both register operations: the first try and the connection
// window's retries; when all fail, `ok` turns false and the engineer may ask for
// one more try. True when a try succeeded (`ok` is then true). The flag and the
// end of the last try are set last, so a call made meanwhile (a poll while the
// question is up) cannot leave its own outcome in their place.
bool WithRetries(buslink::Buslink& link, void (*reset)(buslink::Buslink&), const std::function<qint16()>& attempt,
                 bool& ok)
{
    AttemptEnd end;
    const auto finish = [&](bool succeeded) {
        lastAttempt = end;
        return ok = succeeded;
    };
    const int retries = RetryCount();
    for (int i = 0; i <= retries; ++i) {
        if (Attempt(link, reset, attempt, end)) return finish(true);
    }
    ok = false;
    lastAttempt = end;
    DialogService& dialogs = DialogService::instance();
    if (dialogs.message(DisruptedQuestion, DialogButtons::YesNo) != DialogAnswer::Yes) return finish(false);
    if (Attempt(link, ResetAfterWrite, attempt, end)) return finish(true);
    dialogs.message(RetryFailedMessage, DialogButtons::Ok);
    return finish(false);
}

} // namespace

bool RegisterTransactionRunning() { return transactionDepth > 0; }

qint16 LastAttemptExceptionCode() { return lastAttempt.exceptionCode; }
buslink::Outcome LastAttemptOutcome() { return lastAttempt.outcome; }

void WaitOnePoll()
{
    const QDeadlineTimer deadline(BusyPollMs, Qt::PreciseTimer);
    while (!deadline.hasExpired())
        buslink::LetPendingEventsRun(int(qMax<qint64>(1, deadline.remainingTime())));
}

int BusyWait(const std::function<bool()>& busy, const std::function<void()>& reset,
             const std::function<void()>& pollWait)
{
    int polls = 0;
    int resets = 0;
    while (busy()) {
        if (++polls > BusyPollsBeforeReset) {
            reset();
            ++resets;
            polls = 0;
        }
        pollWait();
    }
    return resets;
}

void Pause(double seconds)
{
    // A plain sleep on the monotonic clock: no events run, no core spins, and a
    // change of the wall clock (or midnight) cannot stretch or cut it.
    if (!(seconds > 0.0)) return;
    const QDeadlineTimer deadline(qint64(std::ceil(seconds * 1000.0)), Qt::PreciseTimer);
    while (!deadline.hasExpired()) {
        const qint64 remainingNs = deadline.remainingTimeNSecs();
        if (remainingNs <= 0) break;
        QThread::usleep(static_cast<unsigned long>((remainingNs + 999) / 1000));
    }
}

std::optional<QList<qint32>> TakeValues(const buslink::IntArray& values, int count, int first)
{
    QList<qint32> taken;
    for (int i = first; i < first + count; ++i) {
        if (!values.hasIndex(i)) return std::nullopt;
        taken.append(values[i]);
    }
    return taken;
}

std::optional<QList<qint32>> ReadBlock(int reference, int count)
{
    ReadRegs(QVariant(reference), count);
    if (!ReadOk) return std::nullopt;
    return TakeValues(RegValues, count);
}

void ReadRegs(const QVariant& address, int count)
{
    TransactionScope scope;
    if (count < 1) {
        ReadOk = false;
        return;
    }
    buslink::Buslink& link = Buslink1();
    buslink::VariantArray values(1, count);
    if (WithRetries(link, ResetAfterRead, [&] { return ReadAttempt(link, address, values, count); }, ReadOk))
        KeepValues(values, count);
}

void WriteRegs(const QVariant& address, const QVariant& values, qint16& count)
{
    TransactionScope scope;
    buslink::Buslink& link = Buslink1();
    WithRetries(link, ResetAfterWrite, [&] { return WriteAttempt(link, address, values, count); }, WriteOk);
}

} // namespace kestrel2
