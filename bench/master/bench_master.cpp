// Throughput and CPU cost of a 25-register read: the component's ReadPLC
// against libmodbus's modbus_read_registers, in one process, on the same linked
// pseudo-terminal pair and against the same libmodbus slave (a child process).
//
//   bench_master [N [ROUNDS]]   (default 2000 reads each, in 8 rounds)
//
// Prints reads per second and CPU microseconds per read for each (the median
// round), and the ratios (component / libmodbus). The component runs twice: with its own in-memory I/O
// database service, which stores every value of every reply as the component
// must hand them on, and with a service that keeps nothing, which times the
// protocol alone as libmodbus's client does. A last row times the serial port and
// the event-loop wait alone, with no protocol work: the floor under the component.
//
// BENCH_ONLY=stored|bare|component|libmodbus|floor runs one client alone (for profiling).
#include "PeerProcess.h"
#include "PtyPair.h"
#include "protocol/FrameCodec.h"
#include "scan/IoDatabaseService.h"
#include "shell/Buslink.h"
#include "base/EventWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <modbus.h>

#include <cstdio>
#include <algorithm>
#include <ctime>
#include <vector>

#include <unistd.h>

namespace {

// CPU time of this thread so far, in seconds, from the scheduler's exact account
// (rusage's split into user and kernel time is sampled per tick and too coarse here).
double cpuNow()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Figures {
    double seconds = 0;
    double cpu = 0;
    int failures = 0;
    int n = 0;
    double perSecond() const { return n / seconds; }
    double cpuMicros() const { return cpu / n * 1e6; }
};

// An I/O database service that keeps nothing, to time the protocol alone.
class NoIoDatabase : public buslink::IoDatabaseService {
public:
    void update(const QVariant&, const buslink::VariantArray&, int) override {}
    void updateLost(const QVariant&, int, int, int, int) override {}
    qint16 read(const QVariant&, buslink::VariantArray&, const QVariant&) override { return 0; }
    qint16 readValue(const QVariant&, QVariant&, qint16&, qint16&, qint32&) override { return 0; }
    qint16 nextQueuedWrite(QVariant&, QVariant&, qint16&, qint16&) override { return 0; }
};

Figures benchComponent(const QString& device, int n, bool withDatabase)
{
    buslink::Buslink link;
    NoIoDatabase none;
    if (!withDatabase) link.setIoDatabaseService(&none);
    link.InitProperties();
    link.setDevicePath(device);
    link.setSettings("9600,e,8,1");
    link.setPortOpen(true);
    buslink::VariantArray values(1, 25);
    QVariant size = 25;
    qint16 type = buslink::ioWord;
    for (int i = 0; i < 20; ++i) link.ReadPLC(40001, values, size, type);  // warm up
    Figures f;
    f.n = n;
    QElapsedTimer wall;
    const double cpu0 = cpuNow();
    wall.start();
    for (int i = 0; i < n; ++i)
        if (link.ReadPLC(40001, values, size, type) != -1 || values[25].toInt() != 24) ++f.failures;
    f.seconds = wall.nsecsElapsed() / 1e9;
    f.cpu = cpuNow() - cpu0;
    link.setPortOpen(false);
    return f;
}

Figures benchLibmodbus(const QString& device, int n)
{
    Figures f;
    f.n = n;
    modbus_t* ctx = modbus_new_rtu(device.toLocal8Bit().constData(), 9600, 'E', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "libmodbus cannot open %s\n", qPrintable(device));
        f.failures = n;
        f.seconds = 1;
        return f;
    }
    uint16_t regs[25];
    for (int i = 0; i < 20; ++i) modbus_read_registers(ctx, 0, 25, regs);
    QElapsedTimer wall;
    const double cpu0 = cpuNow();
    wall.start();
    for (int i = 0; i < n; ++i)
        if (modbus_read_registers(ctx, 0, 25, regs) != 25 || regs[24] != 24) ++f.failures;
    f.seconds = wall.nsecsElapsed() / 1e9;
    f.cpu = cpuNow() - cpu0;
    modbus_close(ctx);
    modbus_free(ctx);
    return f;
}

// The floor under any event-driven client on this platform: the same request
// written to a QSerialPort's line and its 55-byte answer awaited with the component's wait,
// with no protocol work at all (no request building, no checks, no values).
Figures benchEventLoopFloor(const QString& device, int n)
{
    Figures f;
    f.n = n;
    QSerialPort port(device);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(device));
        f.failures = n;
        f.seconds = 1;
        return f;
    }
    const QByteArray request = buslink::AppendCRC(QByteArray::fromHex("010300000019"));
    const auto once = [&] {
        // Straight to the descriptor, as the component writes (QSerialPort's queued write
        // wakes the event loop twice more per frame).
        if (::write(int(port.handle()), request.constData(), size_t(request.size())) != request.size()) return false;
        for (int spins = 0; port.bytesAvailable() < 55 && spins < 1000; ++spins) buslink::LetPendingEventsRun(100);
        return port.read(55).size() == 55;
    };
    for (int i = 0; i < 20; ++i) once();
    QElapsedTimer wall;
    const double cpu0 = cpuNow();
    wall.start();
    for (int i = 0; i < n; ++i)
        if (!once()) ++f.failures;
    f.seconds = wall.nsecsElapsed() / 1e9;
    f.cpu = cpuNow() - cpu0;
    return f;
}

// The median round of each figure: one disturbed round (another process taking the
// core) moves a median little, where it would move a total a lot.
struct Summary {
    int n = 0;
    int failures = 0;
    double perSecond = 0;
    double cpuMicros = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.empty() ? 0 : v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

Summary summarise(const std::vector<Figures>& rounds)
{
    Summary s;
    std::vector<double> rates, cpu;
    for (const Figures& f : rounds) {
        s.n += f.n;
        s.failures += f.failures;
        rates.push_back(f.perSecond());
        cpu.push_back(f.cpuMicros());
    }
    s.perSecond = median(rates);
    s.cpuMicros = median(cpu);
    return s;
}

void print(const char* name, const Summary& s)
{
    std::printf("%-22s %6d reads  %8.1f reads/s  %6.2f us CPU/read  %d failed\n", name, s.n, s.perSecond, s.cpuMicros,
                s.failures);
}

void printRatio(const char* what, const Summary& s, const Summary& reference)
{
    std::printf("ratio %s / libmodbus: throughput %.2f, CPU per read %.2f\n", what, s.perSecond / reference.perSecond,
                s.cpuMicros / reference.cpuMicros);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 2000;
    SocatPair line;
    if (!line.isValid()) {
        std::fprintf(stderr, "socat pair not available\n");
        return 1;
    }
    PeerProcess slave;
    if (!slave.start(BUSLINK_LIBMODBUS_SLAVE, {line.endB(), "1", "9600,e,8,1"})) {
        std::fprintf(stderr, "%s\n", qPrintable(slave.errorText()));
        return 1;
    }
    // Alternate the clients round by round so drift on the machine affects them alike.
    const QByteArray only = qgetenv("BENCH_ONLY");
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 8;
    std::vector<Figures> stored, bare, reference, floor;
    for (int round = 0; round < rounds; ++round) {
        const bool component = only.isEmpty() || only == "component";
        if (component || only == "stored") stored.push_back(benchComponent(line.endA(), n / rounds, true));
        if (component || only == "bare") bare.push_back(benchComponent(line.endA(), n / rounds, false));
        if (only.isEmpty() || only == "libmodbus") reference.push_back(benchLibmodbus(line.endA(), n / rounds));
        if (only.isEmpty() || only == "floor") floor.push_back(benchEventLoopFloor(line.endA(), n / rounds));
    }
    const Summary s = summarise(stored), b = summarise(bare), r = summarise(reference), e = summarise(floor);
    std::printf("25-register reads on a socat pseudo-terminal pair against a libmodbus RTU slave, median of %d rounds\n",
                rounds);
    if (s.n) print("ReadPLC, values stored", s);
    if (b.n) print("ReadPLC, no I/O store", b);
    if (r.n) print("modbus_read_registers", r);
    if (e.n) print("serial + wait only", e);
    if (s.n && r.n) printRatio("ReadPLC (values stored in the I/O database)", s, r);
    if (b.n && r.n) printRatio("ReadPLC (no I/O database service)          ", b, r);
    if (e.n && r.n) printRatio("serial port and wait alone, no protocol    ", e, r);
    slave.stop();
    return s.failures + b.failures + r.failures + e.failures > 0 ? 2 : 0;
}
