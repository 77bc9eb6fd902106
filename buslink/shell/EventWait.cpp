#include "EventWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace buslink {

void LetPendingEventsRun(int maxMs)
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    if (!dispatcher) {
        // No event loop on this thread (no application object): nothing can arrive, just yield the time.
        QThread::msleep(static_cast<unsigned long>(maxMs > 0 ? maxMs : 0));
        return;
    }
    // A single-shot timer bounds the blocking wait; its own event wakes the dispatcher.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(maxMs > 0 ? maxMs : 0);
    QCoreApplication::sendPostedEvents();
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace buslink
