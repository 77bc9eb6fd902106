#pragma once
// A serial line that runs at its baud rate, for the benchmarks: two pseudo-terminal
// pairs joined by a relay that, in each direction, lets each byte through one
// character time after the previous one left, so a frame of N bytes reaches its
// reader over N character times as on a real line (a pseudo-terminal alone hands
// a whole frame over at once). The relay runs on two threads of its own (one a
// direction), so none of its CPU time counts against the thread under test.
//
// It also timestamps what it carries: the time from the last byte delivered to one
// end until the first byte that end sends back (the slave's turnaround, from the
// last request byte to the first reply byte; the client's, from the last reply byte
// to its next request) and how well it kept pace.
#include "PtyPair.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

class PacedLine {
public:
    enum Direction { ToSlave = 0, ToClient = 1 };

    // How one direction kept pace, and what it carried, since the last take().
    struct Pace {
        qint64 bytes = 0;          // bytes delivered
        qint64 frames = 0;         // runs of bytes that started on an idle line
        qint64 backToBack = 0;     // deliveries that followed the previous byte with no idle time between
        double intervalSumUs = 0;  // their intervals, from the previous delivery
        double lateSumUs = 0;      // every delivery against the time it was due
        double lateMaxUs = 0;
        qint64 silencesInFrames = 0;  // gaps of 3.5 characters or more inside a frame (they end an RTU frame)
        qint64 frameEnds = 0;      // deliveries that emptied the relay's queue: the last byte of a frame
        double endLateSumUs = 0;   // how much later than due they left: what the relay added to a frame
        double endLateMaxUs = 0;
        qint64 dropped = 0;        // bytes the reader's side had no room for
        double meanIntervalUs() const { return backToBack ? intervalSumUs / double(backToBack) : 0; }
        double meanLateUs() const { return bytes ? lateSumUs / double(bytes) : 0; }
        double meanEndLateUs() const { return frameEnds ? endLateSumUs / double(frameEnds) : 0; }
    };
    struct Report {
        std::array<Pace, 2> pace;
        // For each direction, the time from the last byte the other direction delivered
        // until the first byte of this direction's next frame reached the relay, in
        // microseconds: ToClient holds the slave's turnarounds, ToSlave the client's.
        std::array<std::vector<double>, 2> turnaroundUs;
        // Frames that started while the other direction was still delivering.
        std::array<qint64, 2> overlaps {};
    };

    // bitsPerCharacter: start + data + parity + stop bits (11 for 8E1, 10 for 8N1).
    PacedLine(int baudRate, double bitsPerCharacter);
    ~PacedLine();
    PacedLine(const PacedLine&) = delete;
    PacedLine& operator=(const PacedLine&) = delete;

    bool isValid() const;
    QString clientDevice() const { return client.devicePath(); }
    QString slaveDevice() const { return slave.devicePath(); }
    int baudRate() const { return baud; }
    double characterTimeUs() const { return double(characterNs) / 1000.0; }
    // True when the relay's threads run at real-time priority (they then keep pace
    // on a loaded machine, as a line does); false when the system did not allow it.
    bool realTime() const { return realTimeGranted; }

    // Puts both devices back to the settings of a new pseudo-terminal (raw, speed 0).
    // A program that closes without restoring what it found (a peer that was killed)
    // leaves its settings behind, and the next one to ask for even parity on a
    // pseudo-terminal then fails to open it: the line keeps no parity bit, and where
    // nothing else changed, tcsetattr reports the refusal as EINVAL.
    void resetDeviceSettings();

    // The figures since the last take() (or since the start), and a fresh start:
    // only turnarounds that begin after this call are counted in the next report.
    Report take();

private:
    // A mutex that lends its holder the priority of a real-time thread waiting for
    // it: the relay must not wait while a preempted reader of the figures holds it.
    class InheritingMutex {
    public:
        InheritingMutex();
        ~InheritingMutex();
        InheritingMutex(const InheritingMutex&) = delete;
        InheritingMutex& operator=(const InheritingMutex&) = delete;
        void lock() { pthread_mutex_lock(&mutex); }
        void unlock() { pthread_mutex_unlock(&mutex); }

    private:
        pthread_mutex_t mutex;
    };

    struct Lane {
        int from = -1;  // the relay's side of the pseudo-terminal the sender writes to
        int to = -1;    // the relay's side of the one the receiver reads
        std::atomic<qint64> lastDeliveredNs {0};
        std::atomic<bool> carrying {false};  // bytes waiting or on their way
        InheritingMutex lock;                // guards the figures below
        Pace pace;
        std::vector<double> turnaroundUs;
        qint64 overlaps = 0;
        std::thread thread;
    };
    void run(Lane& self, Lane& other);

    PtyPair client;  // the master under test opens clientDevice()
    PtyPair slave;   // the slave opens slaveDevice()
    int baud;
    qint64 characterNs;
    std::array<Lane, 2> lanes;
    std::atomic<bool> stopping {false};
    std::atomic<bool> realTimeGranted {true};
    std::atomic<qint64> takenAtNs {0};
};

// Monotonic clock in nanoseconds (the relay's timestamps are on it).
qint64 MonotonicNs();
