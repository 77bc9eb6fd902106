#include "PreciseWake.h"

#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace buslink {

PreciseWake::PreciseWake(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_LINUX
    fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd >= 0) {
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        notifier->setEnabled(false);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            quint64 expirations = 0;
            [[maybe_unused]] const ssize_t n = ::read(fd, &expirations, sizeof expirations);
            fire();
        });
        return;
    }
#endif
    timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, &PreciseWake::fire);
}

PreciseWake::~PreciseWake()
{
#ifdef Q_OS_LINUX
    if (fd >= 0) ::close(fd);
#endif
}

void PreciseWake::start(qint64 microseconds)
{
    active = true;
    if (microseconds < 1) microseconds = 1;
#ifdef Q_OS_LINUX
    if (fd >= 0) {
        itimerspec when {};
        when.it_value.tv_sec = time_t(microseconds / 1000000);
        when.it_value.tv_nsec = long(microseconds % 1000000) * 1000;
        ::timerfd_settime(fd, 0, &when, nullptr);
        notifier->setEnabled(true);
        return;
    }
#endif
    timer->start(int((microseconds + 999) / 1000));
}

void PreciseWake::stop()
{
    active = false;
#ifdef Q_OS_LINUX
    if (fd >= 0) {
        const itimerspec off {};
        ::timerfd_settime(fd, 0, &off, nullptr);
        notifier->setEnabled(false);
        return;
    }
#endif
    timer->stop();
}

void PreciseWake::fire()
{
    if (!active) return;
    active = false;
    if (notifier) notifier->setEnabled(false);
    emit due();
}

} // namespace buslink
