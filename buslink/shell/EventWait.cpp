#include "EventWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace buslink {

namespace {
// The deadline timer of the main thread, made once: waits come thousands of times a
// second during a scan, and a timer object per wait would cost more than the wait.
QTimer* mainThreadDeadline()
{
    static QPointer<QTimer> timer;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return nullptr;
    if (!timer) {
        timer = new QTimer(app);  // goes with the application
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    return timer;
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
    QTimer* shared = mainThreadDeadline();
    QTimer local;
    QTimer* deadline = shared ? shared : &local;
    if (!shared) {
        local.setSingleShot(true);
        local.setTimerType(Qt::PreciseTimer);
    }
    deadline->start(ms);
    QCoreApplication::sendPostedEvents();
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // A wait nested in an event handler restarts the shared timer for itself; the outer
    // wait then returns with the inner one, at worst earlier than asked, never later.
    deadline->stop();
}

} // namespace buslink
