#include "ScriptedDevice.h"

#include "protocol/FrameCodec.h"
#include "base/EventWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <unistd.h>

ScriptedDevice::ScriptedDevice(PtyPair& pty, Framing f)
    : registers(1000), coils(2000), line(pty), framing(f), notifier(pty.fd(), QSocketNotifier::Read)
{
    for (int i = 0; i < registers.size(); ++i) registers[i] = quint16(i);
    serveCorrectly();
    connect(&notifier, &QSocketNotifier::activated, this, &ScriptedDevice::readable);
}

void ScriptedDevice::readable()
{
    char buf[4096];
    const ssize_t n = ::read(line.fd(), buf, sizeof buf);
    if (n <= 0) return;
    pending.append(buf, int(n));
    for (;;) {
        const int length = requestLength(pending);
        if (length <= 0 || pending.size() < length) return;
        const QByteArray request = pending.left(length);
        pending.remove(0, length);
        requests.append(request);
        if (requestHook) requestHook(request);
        sendLater(answer(request));
    }
}

int ScriptedDevice::requestLength(const QByteArray& p) const
{
    if (framing == Ascii) {
        const int start = int(p.indexOf(':'));
        if (start < 0) return 0;
        const int end = int(p.indexOf("\r\n", start));
        return end < 0 ? 0 : end + 2;
    }
    if (p.size() < 7) return 0;
    const int fc = quint8(p[1]);
    return fc == 15 || fc == 16 ? 9 + quint8(p[6]) : 8;
}

void ScriptedDevice::sendLater(QList<Chunk> chunks)
{
    if (chunks.isEmpty()) return;
    const Chunk first = chunks.takeFirst();
    const auto send = [this, first, chunks] {
        line.write(first.bytes);
        sendLater(chunks);
    };
    if (first.delayMs <= 0) send();
    else QTimer::singleShot(first.delayMs, this, send);
}

QByteArray ScriptedDevice::bytesOf(const QByteArray& request) const
{
    if (framing == Rtu) return request.left(request.size() - 2);
    QByteArray decoded = QByteArray::fromHex(request.mid(1, request.size() - 5));
    return decoded;
}

QByteArray ScriptedDevice::frame(const QByteArray& bytes) const
{
    return framing == Rtu ? buslink::AppendCRC(bytes) : buslink::AsciiFrame(bytes);
}

QByteArray ScriptedDevice::correctAnswer(const QByteArray& request)
{
    const QByteArray r = bytesOf(request);
    const int fc = quint8(r[1]);
    const int start = quint8(r[2]) * 256 + quint8(r[3]);
    const int count = quint8(r[4]) * 256 + quint8(r[5]);
    QByteArray a = r.left(2);
    switch (fc) {
    case 1:
    case 2: {
        a.append(char((count + 7) / 8));
        for (int b = 0; b < (count + 7) / 8; ++b) {
            int packed = 0;
            for (int bit = 0; bit < 8 && 8 * b + bit < count; ++bit)
                if (coils.value(start + 8 * b + bit)) packed |= 1 << bit;
            a.append(char(packed));
        }
        break;
    }
    case 3:
    case 4:
        a.append(char(2 * count));
        for (int i = 0; i < count; ++i) {
            const quint16 v = registers.value(start + i);
            a.append(char(v >> 8));
            a.append(char(v & 0xFF));
        }
        break;
    case 5:
        if (start < coils.size()) coils[start] = count == 0xFF00;
        a = r.left(6);
        break;
    case 6:
        if (start < registers.size()) registers[start] = quint16(count);
        a = r.left(6);
        break;
    case 15:
        for (int i = 0; i < count && start + i < coils.size(); ++i) coils[start + i] = (quint8(r[7 + i / 8]) >> (i % 8)) & 1;
        a = r.left(6);
        break;
    case 16:
        for (int i = 0; i < count && start + i < registers.size(); ++i)
            registers[start + i] = quint16(quint8(r[7 + 2 * i]) * 256 + quint8(r[8 + 2 * i]));
        a = r.left(6);
        break;
    default:
        a = r.left(1) + char(fc | 0x80) + char(1);
        break;
    }
    return frame(a);
}

bool ScriptedDevice::waitForRequests(int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (requests.size() < count && !deadline.hasExpired())
        buslink::LetPendingEventsRun(20);
    return requests.size() >= count;
}

void ScriptedDevice::runFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) buslink::LetPendingEventsRun(int(qMax<qint64>(1, deadline.remainingTime())));
}
