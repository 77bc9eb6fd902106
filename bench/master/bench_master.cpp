// Throughput and CPU cost of a 25-register read: the component's ReadPLC
// against libmodbus's modbus_read_registers, in one process, on the same linked
// pseudo-terminal pair and against the same libmodbus slave (a child process).
//
//   bench_master [N]      (default 2000 reads each)
//
// Prints reads per second and CPU microseconds per read for each, and the ratios
// (component / libmodbus). The component runs twice: with its own in-memory I/O
// database service, which stores every value of every reply as the component
// must hand them on, and with a service that keeps nothing, which times the
// protocol alone as libmodbus's client does.
#include "PeerProcess.h"
#include "PtyPair.h"
#include "scan/IoDatabaseService.h"
#include "shell/Buslink.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <modbus.h>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
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
    const double cpu0 = cpuSeconds();
    wall.start();
    for (int i = 0; i < n; ++i)
        if (link.ReadPLC(40001, values, size, type) != -1 || values[25].toInt() != 24) ++f.failures;
    f.seconds = wall.nsecsElapsed() / 1e9;
    f.cpu = cpuSeconds() - cpu0;
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
        f.seconds = f.cpu = 1;
        return f;
    }
    uint16_t regs[25];
    for (int i = 0; i < 20; ++i) modbus_read_registers(ctx, 0, 25, regs);
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    for (int i = 0; i < n; ++i)
        if (modbus_read_registers(ctx, 0, 25, regs) != 25 || regs[24] != 24) ++f.failures;
    f.seconds = wall.nsecsElapsed() / 1e9;
    f.cpu = cpuSeconds() - cpu0;
    modbus_close(ctx);
    modbus_free(ctx);
    return f;
}

void print(const char* name, const Figures& f)
{
    std::printf("%-22s %6d reads  %8.1f reads/s  %7.1f us CPU/read  %d failed\n", name, f.n, f.perSecond(),
                f.cpuMicros(), f.failures);
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
    // Alternate the clients so drift on the machine affects them alike.
    // BENCH_ONLY=component or =libmodbus runs one side alone (for profiling).
    const QByteArray only = qgetenv("BENCH_ONLY");
    Figures stored, bare, reference;
    const auto add = [](Figures& sum, const Figures& f) {
        sum.n += f.n, sum.seconds += f.seconds, sum.cpu += f.cpu, sum.failures += f.failures;
    };
    const int rounds = 4;
    for (int round = 0; round < rounds; ++round) {
        if (only != "libmodbus") {
            add(stored, benchComponent(line.endA(), n / rounds, true));
            add(bare, benchComponent(line.endA(), n / rounds, false));
        }
        if (only != "component") add(reference, benchLibmodbus(line.endA(), n / rounds));
    }
    std::printf("25-register reads on a socat pseudo-terminal pair against a libmodbus RTU slave\n");
    if (stored.n) print("ReadPLC, values stored", stored);
    if (bare.n) print("ReadPLC, no I/O store", bare);
    if (reference.n) print("modbus_read_registers", reference);
    if (stored.n && reference.n) {
        std::printf("ratio ReadPLC (values stored in the I/O database) / libmodbus: throughput %.2f, CPU per read %.2f\n",
                    stored.perSecond() / reference.perSecond(), stored.cpuMicros() / reference.cpuMicros());
        std::printf("ratio ReadPLC (no I/O database service)      / libmodbus: throughput %.2f, CPU per read %.2f\n",
                    bare.perSecond() / reference.perSecond(), bare.cpuMicros() / reference.cpuMicros());
    }
    slave.stop();
    return stored.failures + bare.failures + reference.failures > 0 ? 2 : 0;
}
