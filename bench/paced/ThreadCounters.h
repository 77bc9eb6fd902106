#pragma once
// CPU time and wake-ups of one thread, from the scheduler's own account, for
// the thread that reads (or serves) in a benchmark.
//
// CPU time is the scheduler's exact sum of time on a core (the thread's CPU-time
// clock, or /proc/PID/schedstat for another process: the same account). Wake-ups
// are voluntary context switches: each time the thread blocked and was woken again.
#include <QtGlobal>

#include <sys/types.h>

struct Counters {
    qint64 cpuNs = 0;
    qint64 wakes = 0;
};

// The calling thread: CLOCK_THREAD_CPUTIME_ID and getrusage(RUSAGE_THREAD).ru_nvcsw.
Counters CountersOfThisThread();

// A thread other than the caller's, possibly of another process.
class ThreadCounters {
public:
    // The calling thread, to be read later from any thread of this process.
    static ThreadCounters thisThread();
    // The only (or main) thread of another process, e.g. a child.
    static ThreadCounters process(pid_t pid);
    Counters read() const;

private:
    bool own = false;
    pid_t pid = 0;
    pid_t tid = 0;
    int cpuClock = 0;  // the thread's CPU-time clock (clockid_t), for a thread of this process
};
