// The wait that lets pending events run, and the whole-second clock.
#include "base/EventWait.h"
#include "base/WholeSecondClock.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <sys/resource.h>

using namespace buslink;

namespace {
double cpuSeconds()
{
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

class TestEventWaitAndClock : public QObject {
    Q_OBJECT
private slots:
    void wakesForAnEventBeforeTheDeadline();
    void returnsByTheDeadlineWhenNothingHappens();
    void shortWaitAfterALongOneEndedEarlyKeepsItsOwnDeadline();
    void loopingOverTheWaitDoesNotSpin();
    void timerRunsInsideTheWait();
    void clockSeamDrivesWholeSeconds();
};

void TestEventWaitAndClock::wakesForAnEventBeforeTheDeadline()
{
    bool ran = false;
    QTimer::singleShot(20, [&] { ran = true; });
    QElapsedTimer t;
    t.start();
    while (!ran && t.elapsed() < 2000) LetPendingEventsRun(1000);
    QVERIFY(ran);
    QVERIFY2(t.elapsed() < 500, "the wait should end when the event arrives, not at its deadline");
}

void TestEventWaitAndClock::returnsByTheDeadlineWhenNothingHappens()
{
    QElapsedTimer t;
    t.start();
    LetPendingEventsRun(50);
    QVERIFY(t.elapsed() >= 40);
    QVERIFY(t.elapsed() < 1000);
}

void TestEventWaitAndClock::shortWaitAfterALongOneEndedEarlyKeepsItsOwnDeadline()
{
    // The long wait ends at once on the event and leaves its deadline far off;
    // the short wait after it must still return after its own 50 ms.
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    while (!ran) LetPendingEventsRun(5000);
    QElapsedTimer t;
    t.start();
    LetPendingEventsRun(50);
    QVERIFY2(t.elapsed() < 1000, qPrintable(QString("the 50 ms wait took %1 ms").arg(t.elapsed())));
    // And repeated short waits each end on time.
    t.restart();
    for (int i = 0; i < 3; ++i) LetPendingEventsRun(50);
    QVERIFY(t.elapsed() < 1000);
}

void TestEventWaitAndClock::loopingOverTheWaitDoesNotSpin()
{
    const double cpuBefore = cpuSeconds();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1000) LetPendingEventsRun(10);
    const double cpu = cpuSeconds() - cpuBefore;
    QVERIFY2(cpu < 0.1, qPrintable(QString("a one-second wait used %1 s of CPU").arg(cpu)));
}

void TestEventWaitAndClock::timerRunsInsideTheWait()
{
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 200) LetPendingEventsRun(5);
    QVERIFY(ticks >= 5);
}

void TestEventWaitAndClock::clockSeamDrivesWholeSeconds()
{
    {
        ManualClock clock;
        const qint64 start = WholeSecondClock::nowSeconds();
        clock.advanceMs(999);
        QCOMPARE(WholeSecondClock::nowSeconds() - start, qint64(0));
        clock.advanceMs(1);
        QCOMPARE(WholeSecondClock::nowSeconds() - start, qint64(1));
        clock.advanceSeconds(1);
        QCOMPARE(WholeSecondClock::nowSeconds() - start, qint64(2));
    }
    // Back on the real, monotonic clock.
    const qint64 a = WholeSecondClock::nowMilliseconds();
    QTest::qWait(20);
    QVERIFY(WholeSecondClock::nowMilliseconds() >= a + 15);
}

QTEST_GUILESS_MAIN(TestEventWaitAndClock)
#include "test_event_wait_and_clock.moc"
