// What a two-second wait costs in CPU time: the component's wait (blocking in
// the event loop until the next event or a short deadline) against a reference
// wait that polls the clock in a loop, measured in the same run.
#include "base/EventWait.h"
#include "base/WholeSecondClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {
double cpuSeconds()
{
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Cost {
    double wall;
    double cpu;
};

template <typename Wait>
Cost measure(Wait waitOnce)
{
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const qint64 start = buslink::WholeSecondClock::nowSeconds();
    // The component's own rule: two seconds have passed when the whole-second difference reaches 2.
    while (buslink::WholeSecondClock::nowSeconds() - start < 2) waitOnce();
    return Cost{wall.elapsed() / 1000.0, cpuSeconds() - cpu0};
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // A timer ticking in the background, as the component's watchdog does.
    QTimer watchdog;
    watchdog.start(2000);

    const Cost component = measure([] { buslink::LetPendingEventsRun(10); });
    const Cost reference = measure([] { QCoreApplication::processEvents(); });

    const double componentShare = component.cpu / component.wall;
    const double referenceShare = reference.cpu / reference.wall;
    std::printf("two-second wait, CPU time / wall time\n");
    std::printf("  component wait (blocks in the event loop): %6.3f s wall, %7.4f s CPU, %6.2f %% of a core\n",
                component.wall, component.cpu, 100.0 * componentShare);
    std::printf("  reference wait (polls without blocking):   %6.3f s wall, %7.4f s CPU, %6.2f %% of a core\n",
                reference.wall, reference.cpu, 100.0 * referenceShare);
    std::printf("  ratio component/reference CPU share: %.4f\n", referenceShare > 0 ? componentShare / referenceShare : 0.0);
    std::printf("  goal: under 2 %% of one core: %s\n", componentShare < 0.02 ? "met" : "NOT met");
    return componentShare < 0.02 ? 0 : 1;
}
