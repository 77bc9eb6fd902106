#include "ThreadCounters.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <ctime>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

qint64 clockNs(clockid_t clock)
{
    timespec t {};
    clock_gettime(clock, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The "voluntary_ctxt_switches" line of a /proc status file.
qint64 voluntarySwitches(const QString& statusPath)
{
    const QByteArray key("voluntary_ctxt_switches:");
    for (const QByteArray& line : readAll(statusPath).split('\n'))
        if (line.startsWith(key)) return line.mid(key.size()).trimmed().toLongLong();
    return 0;
}

} // namespace

Counters CountersOfThisThread()
{
    Counters c;
    c.cpuNs = clockNs(CLOCK_THREAD_CPUTIME_ID);
    rusage u {};
    getrusage(RUSAGE_THREAD, &u);
    c.wakes = u.ru_nvcsw;
    return c;
}

ThreadCounters ThreadCounters::thisThread()
{
    ThreadCounters t;
    t.own = true;
    t.pid = getpid();
    t.tid = pid_t(syscall(SYS_gettid));
    clockid_t clock {};
    pthread_getcpuclockid(pthread_self(), &clock);
    t.cpuClock = int(clock);
    return t;
}

ThreadCounters ThreadCounters::process(pid_t pid)
{
    ThreadCounters t;
    t.pid = pid;
    t.tid = pid;
    return t;
}

Counters ThreadCounters::read() const
{
    const QString task = QStringLiteral("/proc/%1/task/%2/").arg(pid).arg(tid);
    Counters c;
    if (own) {
        c.cpuNs = clockNs(clockid_t(cpuClock));
    } else {
        // First field: nanoseconds on a core.
        c.cpuNs = readAll(task + QStringLiteral("schedstat")).split(' ').value(0).toLongLong();
    }
    c.wakes = voluntarySwitches(task + QStringLiteral("status"));
    return c;
}
