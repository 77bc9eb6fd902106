#include "RegisterAccess.h"

#include "link/ConnectionWindow.h"
#include "main/DialogService.h"
#include "main/ToolWindows.h"
#include "shell/Buslink.h"
#include "shell/EventWait.h"

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

struct TransactionScope {
    TransactionScope() { ++transactionDepth; }
    ~TransactionScope() { --transactionDepth; }
};

// A step of the component that fails (a closed port, say) is skipped; the
// attempt's status decides the outcome.
template <typename Step>
void Safely(Step step)
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

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

} // namespace

bool RegisterTransactionRunning() { return transactionDepth > 0; }

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

void ReadRegs(const QVariant& address, int count)
{
    TransactionScope scope;
    if (count < 1) {
        ReadOk = false;
        return;
    }
    buslink::Buslink& link = Buslink1();
    buslink::VariantArray values(1, count);
    const int retries = RetryCount();
    qint16 status = 0;
    for (int attempt = 0; attempt <= retries; ++attempt) {
        BusyWait([&] { return Busy(link); }, [&] { ResetAfterRead(link); });
        status = ReadAttempt(link, address, values, count);
        Pause(DelayTime());
        if (status == -1) {
            ReadOk = true;
            break;
        }
    }
    if (status == -1) {
        KeepValues(values, count);
        return;
    }
    ReadOk = false;
    DialogService& dialogs = DialogService::instance();
    if (dialogs.message(DisruptedQuestion, DialogButtons::YesNo) != DialogAnswer::Yes) return;
    BusyWait([&] { return Busy(link); }, [&] { ResetAfterWrite(link); });
    status = ReadAttempt(link, address, values, count);
    Pause(DelayTime());
    if (status == -1) {
        ReadOk = true;
        KeepValues(values, count);
        return;
    }
    dialogs.message(RetryFailedMessage, DialogButtons::Ok);
}

void WriteRegs(const QVariant& address, const QVariant& values, qint16& count)
{
    TransactionScope scope;
    buslink::Buslink& link = Buslink1();
    const int retries = RetryCount();
    qint16 status = 0;
    for (int attempt = 0; attempt <= retries; ++attempt) {
        BusyWait([&] { return Busy(link); }, [&] { ResetAfterWrite(link); });
        status = WriteAttempt(link, address, values, count);
        Pause(DelayTime());
        if (status == -1) {
            WriteOk = true;
            return;
        }
    }
    WriteOk = false;
    DialogService& dialogs = DialogService::instance();
    if (dialogs.message(DisruptedQuestion, DialogButtons::YesNo) != DialogAnswer::Yes) return;
    BusyWait([&] { return Busy(link); }, [&] { ResetAfterWrite(link); });
    status = WriteAttempt(link, address, values, count);
    Pause(DelayTime());
    if (status == -1) {
        WriteOk = true;
        return;
    }
    dialogs.message(RetryFailedMessage, DialogButtons::Ok);
}

} // namespace kestrel2
