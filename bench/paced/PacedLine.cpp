#include "PacedLine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <deque>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

qint64 MonotonicNs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

namespace {

void resetSettings(const QString& device)
{
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return;
    termios raw {};
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    ::close(fd);
}

void sleepUntil(qint64 ns)
{
    timespec t {};
    t.tv_sec = time_t(ns / 1000000000);
    t.tv_nsec = long(ns % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

} // namespace

PacedLine::InheritingMutex::InheritingMutex()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

PacedLine::InheritingMutex::~InheritingMutex()
{
    pthread_mutex_destroy(&mutex);
}

PacedLine::PacedLine(int baudRate, double bitsPerCharacter)
    : baud(baudRate), characterNs(qint64(std::llround(bitsPerCharacter * 1e9 / double(baudRate > 0 ? baudRate : 1))))
{
    if (!isValid()) return;
    lanes[ToSlave].from = client.fd();
    lanes[ToSlave].to = slave.fd();
    lanes[ToClient].from = slave.fd();
    lanes[ToClient].to = client.fd();
    takenAtNs = MonotonicNs();
    lanes[ToSlave].thread = std::thread([this] { run(lanes[ToSlave], lanes[ToClient]); });
    lanes[ToClient].thread = std::thread([this] { run(lanes[ToClient], lanes[ToSlave]); });
}

PacedLine::~PacedLine()
{
    stopping = true;
    for (Lane& lane : lanes)
        if (lane.thread.joinable()) lane.thread.join();
}

void PacedLine::resetDeviceSettings()
{
    resetSettings(clientDevice());
    resetSettings(slaveDevice());
}

bool PacedLine::isValid() const
{
    return client.isValid() && slave.isValid();
}

PacedLine::Report PacedLine::take()
{
    Report report;
    for (int d = 0; d < 2; ++d) {
        Lane& lane = lanes[size_t(d)];
        std::lock_guard<InheritingMutex> hold(lane.lock);
        report.pace[size_t(d)] = std::exchange(lane.pace, Pace {});
        report.turnaroundUs[size_t(d)] = std::exchange(lane.turnaroundUs, {});
        report.overlaps[size_t(d)] = std::exchange(lane.overlaps, 0);
    }
    takenAtNs = MonotonicNs();
    return report;
}

void PacedLine::run(Lane& self, Lane& other)
{
    // Sleeps end when they are due, not up to 50 us later (the default slack), and
    // other programs on the machine do not hold the line up: a line keeps its pace
    // whatever its ends are doing. The relay only ever sleeps or blocks.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    sched_param priority {};
    priority.sched_priority = 10;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) != 0) realTimeGranted = false;

    struct Waiting {
        unsigned char byte;
        qint64 arrivedNs;  // when it reached the relay (the sender put it on the line)
    };
    std::deque<Waiting> queue;
    qint64 previousDueNs = 0;      // when the previous byte was due at the reader
    qint64 previousWrittenNs = 0;  // when it was actually handed over
    unsigned char buffer[4096];

    while (!stopping) {
        if (queue.empty()) {
            self.carrying = false;
            pollfd p {self.from, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN)) continue;
            const qint64 now = MonotonicNs();
            const ssize_t n = ::read(self.from, buffer, sizeof buffer);
            if (n <= 0) continue;
            self.carrying = true;
            {
                std::lock_guard<InheritingMutex> hold(self.lock);
                ++self.pace.frames;
                const qint64 otherLast = other.lastDeliveredNs;
                if (other.carrying) ++self.overlaps;
                else if (otherLast >= takenAtNs && otherLast > self.lastDeliveredNs)
                    self.turnaroundUs.push_back(double(now - otherLast) / 1000.0);
            }
            for (ssize_t i = 0; i < n; ++i) queue.push_back({buffer[i], now});
            continue;
        }

        const Waiting next = queue.front();
        queue.pop_front();
        // The line is busy until the previous byte has left: a byte that came while
        // it was starts when that one ends, a byte that came to an idle line at once.
        const bool backToBack = previousDueNs >= next.arrivedNs;
        const qint64 dueNs = std::max(next.arrivedNs, previousDueNs) + characterNs;
        sleepUntil(dueNs);
        const bool written = ::write(self.to, &next.byte, 1) == 1;
        const qint64 writtenNs = MonotonicNs();
        self.lastDeliveredNs = writtenNs;
        {
            std::lock_guard<InheritingMutex> hold(self.lock);
            Pace& pace = self.pace;
            if (!written) ++pace.dropped;
            ++pace.bytes;
            const double lateUs = double(writtenNs - dueNs) / 1000.0;
            pace.lateSumUs += lateUs;
            pace.lateMaxUs = std::max(pace.lateMaxUs, lateUs);
            if (backToBack && previousWrittenNs > 0) {
                ++pace.backToBack;
                pace.intervalSumUs += double(writtenNs - previousWrittenNs) / 1000.0;
                // The byte itself takes a character time; what is left of the interval is silence.
                if (writtenNs - previousWrittenNs - characterNs >= characterNs * 7 / 2) ++pace.silencesInFrames;
            }
        }
        previousDueNs = dueNs;
        previousWrittenNs = writtenNs;

        // Bytes the sender wrote meanwhile reached the relay by now; any that came
        // before this byte was due would have waited for it on a real line too.
        const ssize_t n = ::read(self.from, buffer, sizeof buffer);
        if (n > 0) {
            const qint64 arrivedNs = std::min(MonotonicNs(), dueNs);
            for (ssize_t i = 0; i < n; ++i) queue.push_back({buffer[i], arrivedNs});
        }
        if (queue.empty()) {
            std::lock_guard<InheritingMutex> hold(self.lock);
            const double lateUs = double(writtenNs - dueNs) / 1000.0;
            ++self.pace.frameEnds;
            self.pace.endLateSumUs += lateUs;
            self.pace.endLateMaxUs = std::max(self.pace.endLateMaxUs, lateUs);
        }
    }
}
