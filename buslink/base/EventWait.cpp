#include "EventWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <optional>

namespace buslink {

namespace {

using Clock = std::chrono::steady_clock;

// The deadline timer of the main thread, made once: waits come thousands of times a
// second during a scan, and a timer object per wait would cost more than the wait.
// It is left running after a wait that ended early; the next wait reuses it when it
// expires soon enough, so a burst of short waits registers one timer, not one each.
struct MainThreadDeadline {
    QPointer<QTimer> timer;
    Clock::time_point expires;
};

MainThreadDeadline* mainThreadDeadline()
{
    static MainThreadDeadline deadline;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return nullptr;
    if (!deadline.timer) {
        deadline.timer = new QTimer(app);  // goes with the application
        deadline.timer->setSingleShot(true);
        deadline.timer->setTimerType(Qt::PreciseTimer);
    }
    return &deadline;
}

} // namespace

void LetPendingEventsRun(int maxMs)
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    if (!dispatcher) {
        // No event loop on this thread (no application object): nothing can arrive, just yield the time.
        QThread::msleep(static_cast<unsigned long>(maxMs > 0 ? maxMs : 0));
        return;
    }
    // A single-shot timer bounds the blocking wait; its own event wakes the dispatcher.
    const int ms = maxMs > 0 ? maxMs : 0;
    std::optional<QTimer> local;
    if (MainThreadDeadline* shared = mainThreadDeadline()) {
        // A wait nested in an event handler may restart the shared timer for itself;
        // the outer wait then returns with the inner one, at worst earlier than asked.
        const Clock::time_point now = Clock::now();
        const Clock::time_point wanted = now + std::chrono::milliseconds(ms);
        if (!shared->timer->isActive() || shared->expires > wanted) {
            shared->timer->start(ms);
            shared->expires = wanted;
        }
    } else {
        local.emplace();
        local->setSingleShot(true);
        local->setTimerType(Qt::PreciseTimer);
        local->start(ms);
    }
    QCoreApplication::sendPostedEvents();
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace buslink
