#include "PtyPair.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    struct termios raw {};
    cfmakeraw(&raw);
    if (::openpty(&masterFd, &slaveFd, name, &raw, nullptr) != 0) {
        masterFd = slaveFd = -1;
        return;
    }
    slavePath = QString::fromLocal8Bit(name);
    ::fcntl(masterFd, F_SETFL, ::fcntl(masterFd, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    if (masterFd >= 0) ::close(masterFd);
    if (slaveFd >= 0) ::close(slaveFd);
}

void PtyPair::closeMaster()
{
    if (masterFd >= 0) ::close(masterFd);
    masterFd = -1;
}

bool PtyPair::write(const QByteArray& bytes)
{
    qsizetype done = 0;
    QDeadlineTimer deadline(2000);
    while (done < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(masterFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            struct pollfd p { masterFd, POLLOUT, 0 };
            ::poll(&p, 1, 10);
        }
    }
    return done == bytes.size();
}

QByteArray PtyPair::read(int want, int timeoutMs)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        struct pollfd p { masterFd, POLLIN, 0 };
        const int left = int(qMax<qint64>(1, deadline.remainingTime()));
        if (::poll(&p, 1, qMin(left, 50)) > 0 && (p.revents & POLLIN)) {
            char buf[4096];
            const ssize_t n = ::read(masterFd, buf, sizeof buf);
            if (n > 0) got.append(buf, n);
        }
        if (want > 0 && got.size() >= want) break;
    }
    return got;
}

SocatPair::SocatPair()
{
    if (dir.isValid()) start();
}

bool SocatPair::start()
{
    stop();
    ready = false;
    socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    socat.start("socat", {QString("pty,raw,echo=0,link=%1").arg(endA()),
                          QString("pty,raw,echo=0,link=%1").arg(endB())});
    if (!socat.waitForStarted(3000)) return false;
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (QFileInfo::exists(endA()) && QFileInfo::exists(endB())) {
            ready = true;
            return true;
        }
        QThread::msleep(10);
    }
    return false;
}

void SocatPair::stop()
{
    if (socat.state() != QProcess::NotRunning) {
        socat.terminate();
        if (!socat.waitForFinished(2000)) socat.kill();
        socat.waitForFinished(1000);
    }
    ready = false;
}

SocatPair::~SocatPair()
{
    stop();
}
