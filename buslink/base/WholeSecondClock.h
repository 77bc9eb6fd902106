#pragma once
// The component's clock: whole seconds from a monotonic source, so a change of
// the wall clock can never shorten or stretch a time-out. Tests can replace the
// source to drive time-outs without waiting.
#include <QtGlobal>
#include <functional>

namespace buslink {

class WholeSecondClock {
public:
    // Seconds, truncated, of the current clock source.
    static qint64 nowSeconds();
    // Milliseconds of the current clock source (for callers that need finer steps).
    static qint64 nowMilliseconds();

    // Replaces the clock source (milliseconds); an empty function restores the real clock.
    static void setSourceForTests(std::function<qint64()> milliseconds);
};

// A clock source for tests that moves only when told to.
class ManualClock {
public:
    ManualClock();
    ~ManualClock();
    void advanceMs(qint64 ms) { now += ms; }
    void advanceSeconds(qint64 s) { now += s * 1000; }
    qint64 milliseconds() const { return now; }

private:
    qint64 now = 1000000;
};

} // namespace buslink
